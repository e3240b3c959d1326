// Drawing, pacing and erasing the status line.
#include "driver/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cmath>

namespace erdos {

namespace {

using clock = progress_state::clock;

constexpr auto quiet_start = std::chrono::milliseconds(500);   // a short run shows nothing
constexpr auto redraw_interval = std::chrono::milliseconds(100);
constexpr auto check_interval_low = std::chrono::milliseconds(10);
constexpr auto check_interval_high = std::chrono::milliseconds(40);
constexpr std::int64_t max_calls_per_check = std::int64_t{1} << 20;

bool is_active(const progress_state& state) { return state.err != nullptr; }

// Rewrites the line with text, if the first half second is over and the text
// is new. The caller decides whether the redraw interval applies.
void draw(progress_state& state, clock::time_point now, std::string text) {
    if (now - state.start < quiet_start) return;
    if (state.width > 1 && text.size() > static_cast<std::size_t>(state.width - 1)) {
        // A line as wide as the terminal would wrap, and "\r" would then
        // return to the wrong row; the last column is left free as well.
        text.resize(static_cast<std::size_t>(state.width - 1));
    }
    if (text == state.shown) return;
    const std::string line = "\r" + text + "\x1b[K";
    std::fwrite(line.data(), 1, line.size(), state.err);
    std::fflush(state.err);
    state.shown = std::move(text);
    state.last_draw = now;
}

// "42s", "3m 05s", "2h 07m".
std::string format_duration(double seconds) {
    const auto total = static_cast<std::int64_t>(std::ceil(seconds));
    char text[48];
    if (total < 60) {
        std::snprintf(text, sizeof text, "%llds", static_cast<long long>(total));
    } else if (total < 3600) {
        std::snprintf(text, sizeof text, "%lldm %02llds", static_cast<long long>(total / 60),
                      static_cast<long long>(total % 60));
    } else {
        std::snprintf(text, sizeof text, "%lldh %02lldm", static_cast<long long>(total / 3600),
                      static_cast<long long>(total % 3600 / 60));
    }
    return text;
}

}  // namespace

progress_state progress_begin(std::FILE* err) {
    progress_state state;
    state.start = clock::now();
    state.last_draw = state.start;
    state.phase_start = state.start;
    state.last_check = state.start;
    const int fd = err != nullptr ? fileno(err) : -1;
    if (fd < 0 || isatty(fd) == 0) return state;
    state.err = err;
    state.calls_left = 1;
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) state.width = size.ws_col;
    return state;
}

void progress_phase(progress_state& state, const char* phase) {
    if (!is_active(state)) return;
    const clock::time_point now = clock::now();
    state.phase = phase;
    state.phase_start = now;
    // A phase change is drawn even within the redraw interval: there are only
    // a handful, and a stale phase would stand for the whole of a long one.
    draw(state, now, phase);
}

void progress_scan_check(progress_state& state, std::int64_t examined_done, std::int64_t examined_total,
                         std::int32_t current_p) {
    if (!is_active(state)) {
        state.calls_left = std::numeric_limits<std::int64_t>::max();
        return;
    }
    const clock::time_point now = clock::now();
    const auto since_check = now - state.last_check;
    if (since_check < check_interval_low && state.calls_per_check < max_calls_per_check) {
        state.calls_per_check *= 2;
    } else if (since_check > check_interval_high && state.calls_per_check > 1) {
        state.calls_per_check /= 2;
    }
    state.calls_left = state.calls_per_check;
    state.last_check = now;

    if (now - state.last_draw < redraw_interval) return;
    const double seconds = std::chrono::duration<double>(now - state.phase_start).count();
    draw(state, now, progress_scan_text(examined_done, examined_total, current_p, seconds));
}

void progress_end(progress_state& state) {
    if (is_active(state) && !state.shown.empty()) {
        std::fputs("\r\x1b[K", state.err);
        std::fflush(state.err);
    }
    state.shown.clear();
    state.err = nullptr;
    state.calls_left = std::numeric_limits<std::int64_t>::max();
}

std::string progress_scan_text(std::int64_t examined_done, std::int64_t examined_total, std::int32_t current_p,
                               double seconds_scanning) {
    std::string text = "scanning primes";
    char part[96];
    if (examined_total > 0) {
        // Rounded down, so that 100.0% appears only when the scan is complete.
        const std::int64_t permille = examined_done * 1000 / examined_total;
        std::snprintf(part, sizeof part, " %lld.%lld%%", static_cast<long long>(permille / 10),
                      static_cast<long long>(permille % 10));
        text += part;
    }
    std::snprintf(part, sizeof part, "  p=%d", current_p);
    text += part;
    if (seconds_scanning >= 1.0 && examined_done > 0) {
        const double rate = static_cast<double>(examined_done) / seconds_scanning;
        std::snprintf(part, sizeof part, "  %.0f primes/s", rate);
        text += part;
        if (examined_total >= examined_done) {
            text += "  " + format_duration(static_cast<double>(examined_total - examined_done) / rate) + " left";
        }
    }
    return text;
}

}  // namespace erdos
