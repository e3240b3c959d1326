// Drawing, pacing and erasing the status line.
#include "driver/status_line.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "driver/progress_log.hpp"

namespace erdos {

namespace {

using clock = status_line::clock;

constexpr auto quiet_start = std::chrono::milliseconds(500);   // a short run shows nothing
constexpr auto redraw_interval = std::chrono::milliseconds(100);

bool is_active(const status_line& state) { return state.err != nullptr; }

// Rewrites the line with text if the text is new. Called by the drawing
// thread alone, and by status_end after it has stopped.
void draw(status_line& state, std::string text) {
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
}

}  // namespace

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

namespace {

// The drawing thread: after the quiet start, the current text every tenth
// of a second, until status_end.
void draw_until_stopped(status_line& state) {
    std::unique_lock lock(state.mutex);
    if (state.wake.wait_until(lock, state.start + quiet_start, [&] { return state.stopping; })) return;
    while (true) {
        const clock::time_point now = clock::now();
        const double seconds = std::chrono::duration<double>(now - state.phase_start).count();
        std::string text = state.scanning
                               ? status_scan_text(state.examined_done, state.examined_total, state.current_p, seconds,
                                                    state.p_min, state.p_max, state.examined_resumed,
                                                    state.resumed_p)
                               : status_phase_text(state.phase, seconds);
        lock.unlock();  // the terminal may be slow; the run must not wait for it
        draw(state, std::move(text));
        lock.lock();
        if (state.wake.wait_for(lock, redraw_interval, [&] { return state.stopping; })) return;
    }
}

}  // namespace

void status_begin(status_line& state, std::FILE* err, int log_seconds, const char* program) {
    state.start = clock::now();
    state.phase_start = state.start;
    const int fd = err != nullptr ? fileno(err) : -1;
    if (fd < 0) return;
    if (isatty(fd) == 0) {
        if (log_seconds <= 0) return;
        state.err = err;
        state.log_seconds = log_seconds;
        state.program = program;
        state.drawer = std::thread(log_progress_until_stopped, std::ref(state));
        return;
    }
    state.err = err;
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) state.width = size.ws_col;
    state.drawer = std::thread(draw_until_stopped, std::ref(state));
}

void status_phase(status_line& state, const char* phase) {
    if (!is_active(state)) return;
    std::lock_guard lock(state.mutex);
    state.phase = phase;
    state.phase_start = clock::now();
    state.scanning = false;
}

void status_interval(status_line& state, std::int64_t p_min, std::int64_t p_max) {
    if (!is_active(state)) return;
    std::lock_guard lock(state.mutex);
    state.p_min = p_min;
    state.p_max = p_max;
}

void status_resumed(status_line& state, std::int64_t examined_resumed, std::int64_t resumed_p) {
    if (!is_active(state)) return;
    std::lock_guard lock(state.mutex);
    state.examined_resumed = examined_resumed;
    state.resumed_p = resumed_p;
}

void status_scan(status_line& state, std::int64_t examined_done, std::int64_t examined_total,
                   std::int64_t current_p) {
    if (!is_active(state)) return;
    std::lock_guard lock(state.mutex);
    if (!state.scanning) {
        state.scanning = true;
        if (std::string_view(state.phase) != "scanning primes") {
            // The plain walk builds its tables first and reports only when
            // it scans: its rate counts from here, one short chunk late.
            state.phase = "scanning primes";
            state.phase_start = clock::now();
        }
    }
    state.examined_done = examined_done;
    state.examined_total = examined_total;
    state.current_p = current_p;
}

status_line::~status_line() { status_end(*this); }

void status_end(status_line& state) {
    if (state.drawer.joinable()) {
        {
            std::lock_guard lock(state.mutex);
            state.stopping = true;
        }
        state.wake.notify_all();
        state.drawer.join();
    }
    if (is_active(state) && !state.shown.empty()) {
        std::fputs("\r\x1b[K", state.err);
        std::fflush(state.err);
    }
    state.shown.clear();
    state.err = nullptr;
}

std::string status_scan_text(std::int64_t examined_done, std::int64_t examined_total, std::int64_t current_p,
                               double seconds_scanning, std::int64_t p_min, std::int64_t p_max,
                               std::int64_t examined_resumed, std::int64_t resumed_p) {
    std::string text = "scanning primes";
    char part[96];
    // The share done: of the primes counted in advance, or else of the interval.
    double share = -1.0;
    if (examined_total > 0) {
        share = static_cast<double>(examined_done) / static_cast<double>(examined_total);
        // Rounded down, so that 100.0% appears only when the scan is complete.
        const std::int64_t permille = examined_done * 1000 / examined_total;
        std::snprintf(part, sizeof part, " %lld.%lld%%", static_cast<long long>(permille / 10),
                      static_cast<long long>(permille % 10));
        text += part;
    } else if (p_max > p_min && current_p >= p_min) {
        share = std::min(1.0, static_cast<double>(current_p - p_min) / static_cast<double>(p_max - p_min));
        const auto permille = static_cast<std::int64_t>(share * 1000.0);
        std::snprintf(part, sizeof part, " %lld.%lld%%", static_cast<long long>(permille / 10),
                      static_cast<long long>(permille % 10));
        text += part;
    }
    std::snprintf(part, sizeof part, "  p=%lld", static_cast<long long>(current_p));
    text += part;
    // The rate and the time left, of this run's own scan.
    const std::int64_t scanned = examined_done - examined_resumed;
    if (seconds_scanning >= 1.0 && scanned > 0) {
        const double rate = static_cast<double>(scanned) / seconds_scanning;
        std::snprintf(part, sizeof part, "  %.0f primes/s", rate);
        text += part;
        // The share of the interval already done when the scan began.
        const double share_before =
            examined_resumed > 0 && p_max > p_min && resumed_p > p_min
                ? std::min(1.0, static_cast<double>(resumed_p - p_min) / static_cast<double>(p_max - p_min))
                : 0.0;
        if (examined_total > 0 && examined_total >= examined_done) {
            text += "  " + format_duration(static_cast<double>(examined_total - examined_done) / rate) + " left";
        } else if (examined_total <= 0 && share > share_before) {
            text += "  " + format_duration(seconds_scanning * (1.0 - share) / (share - share_before)) + " left";
        }
    }
    return text;
}

std::string status_phase_text(const char* phase, double seconds) {
    return std::string(phase) + "  " + format_duration(std::floor(seconds));
}

}  // namespace erdos
