// The forecast of --estimate as text for a person, and printed.
#include "driver/estimate_text.hpp"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "driver/status_line.hpp"

namespace erdos {

namespace {

double free_bytes_in(const std::string& directory) {
    struct statvfs info {};
    if (statvfs(directory.c_str(), &info) != 0) return -1.0;
    return static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize);
}

std::string directory_of(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? std::string(".") : parent;
}

// "1.05 GB", "77.4 MB", "912 kB", "301 bytes": three significant digits.
std::string disk_text(double bytes) {
    const char* units[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    int unit = 0;
    while (bytes >= 999.5 && unit < 5) {
        bytes /= 1000.0;
        ++unit;
    }
    char text[64];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%.0f bytes", bytes);
    } else {
        std::snprintf(text, sizeof text, bytes < 9.995 ? "%.2f %s" : bytes < 99.95 ? "%.1f %s" : "%.0f %s", bytes,
                      units[unit]);
    }
    return text;
}

std::string memory_text(double bytes) {
    char text[64];
    const double mib = bytes / (1024.0 * 1024.0);
    if (mib < 1024.0) {
        std::snprintf(text, sizeof text, "%.0f MiB", std::max(1.0, mib));
    } else {
        std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024.0);
    }
    return text;
}

// 9049570 as "9,050,000" (three significant digits) or, exactly, "9,049,570".
std::string count_text(double count, bool exact) {
    auto value = static_cast<std::int64_t>(std::llround(count));
    if (!exact && value >= 1000) {
        std::int64_t scale = 1;
        while (value / scale >= 1000) scale *= 10;
        value = (value + scale / 2) / scale * scale;
    }
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string time_text(double seconds) {
    if (seconds < 60.0) {
        char text[32];
        std::snprintf(text, sizeof text, seconds < 10.0 ? "%.1f s" : "%.0f s", seconds);
        return text;
    }
    return format_duration(seconds);
}

}  // namespace

std::string forecast_text(const run_config& config, const run_forecast& forecast, double free_results,
                          double free_masses) {
    auto free_text = [](double bytes) { return bytes >= 0 ? "; " + disk_text(bytes) + " free there" : std::string(); };
    std::string text = "A run ";
    if (config.has_p_min) text += "from " + std::to_string(config.p_min) + " ";
    text += "to " + std::to_string(config.p_max) + " with C_MAX " + std::to_string(config.c_max) + " on " +
            std::to_string(forecast.threads) + (forecast.threads == 1 ? " thread" : " threads") + " would need:\n";
    text += "  examined primes  " + std::string(forecast.counted ? "" : "about ") +
            count_text(forecast.examined, forecast.counted) +
            (forecast.counted ? " (counted)\n" : " (estimated from the density of primes)\n");
    text += "  results file     about " + disk_text(forecast.results_bytes);
    if (forecast.results_staged) {
        text += ", written as '" + config.results_path + ".erdos-partial' until the run ends (the previous file stays until then" +
                free_text(free_results) + ")\n";
    } else {
        text += ", written directly to '" + config.results_path + "'\n";
    }
    text += "  temporary disk   ";
    if (forecast.mass_file_bytes > 0 || forecast.waiting_file_bytes > 0) {
        if (forecast.mass_file_bytes > 0) text += "about " + disk_text(forecast.mass_file_bytes) + " of masses";
        if (forecast.mass_file_bytes > 0 && forecast.waiting_file_bytes > 0) text += " and ";
        if (forecast.waiting_file_bytes > 0) {
            text += "up to " + disk_text(forecast.waiting_file_bytes) + " of chunks waiting their turn";
        }
        text += " in '" + forecast.mass_directory + "' (gone when the run ends" + free_text(free_masses) + ")\n";
    } else {
        text += "none besides the results (the masses stay in memory)\n";
    }
    text += "  peak memory      about " + memory_text(forecast.peak_bytes) + "\n";
    text += "  wall time        about " + time_text(forecast.wall_seconds) + "\n";
    char sample[160];
    std::snprintf(sample, sizeof sample, "from a sample of %lld examined primes in %d %s, timed in %.1f s\n",
                  static_cast<long long>(forecast.sample_primes), forecast.sample_places,
                  forecast.sample_places == 1 ? "place" : "places", forecast.sample_seconds);
    text += sample;
    return text;
}

int print_run_estimate(const run_config& config, std::FILE* out, std::FILE* err, const char* program) {
    const run_forecast forecast = forecast_run(config);
    const double free_results = forecast.results_staged ? free_bytes_in(directory_of(config.results_path)) : -1.0;
    const double free_masses = forecast.mass_file_bytes > 0 || forecast.waiting_file_bytes > 0
                                   ? free_bytes_in(forecast.mass_directory)
                                   : -1.0;
    const std::string text = forecast_text(config, forecast, free_results, free_masses);
    errno = 0;
    if (std::fputs(text.c_str(), out) == EOF || std::fflush(out) != 0) {
        std::fprintf(err, "%s: cannot write standard output: %s\n", program, std::strerror(errno != 0 ? errno : EIO));
        return 1;
    }
    return 0;
}

}  // namespace erdos
