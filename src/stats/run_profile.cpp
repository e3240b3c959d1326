// Profile bins planned over an interval, primes counted in them, merged, packed and written.
#include "stats/run_profile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

#include "stats/number_format.hpp"

namespace erdos {

namespace {

constexpr std::int64_t target_bins = 1000;
constexpr int first_octave = 6;  // below 64 there is no examined prime worth a bin of its own

int floor_log2(std::int64_t v) { return static_cast<int>(std::bit_width(static_cast<std::uint64_t>(v))) - 1; }

std::vector<std::int64_t> even_starts(std::int64_t p_min, std::int64_t p_max) {
    const auto span = static_cast<uint128>(p_max - p_min) + 1;
    const auto width = static_cast<std::int64_t>((span + target_bins - 1) / target_bins);
    std::vector<std::int64_t> starts;
    for (std::int64_t lo = p_min; lo <= p_max && lo >= p_min; lo += width) {
        starts.push_back(lo);
        if (p_max - lo < width) break;
    }
    return starts;
}

std::vector<std::int64_t> octave_starts(std::int64_t p_min, std::int64_t p_max) {
    std::vector<std::int64_t> starts{p_min};
    if (p_max < (std::int64_t{1} << first_octave)) return starts;
    const int low = std::max(first_octave, p_min > 0 ? floor_log2(p_min) : 0);
    const int high = floor_log2(p_max);
    const std::int64_t parts = (target_bins + (high - low)) / (high - low + 1);  // rounded up
    for (int j = low; j <= high; ++j) {
        const std::int64_t octave = std::int64_t{1} << j;
        for (std::int64_t i = 0; i < parts; ++i) {
            const auto start = octave + static_cast<std::int64_t>(static_cast<uint128>(octave) * i / parts);
            if (start > starts.back() && start <= p_max) starts.push_back(start);
        }
    }
    return starts;
}

void write_columns(std::string& out, const std::int64_t* counts, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out += ',';
        append_integer(out, counts[i]);
    }
}

}  // namespace

run_profile plan_run_profile(std::int64_t p_min, std::int64_t p_max) {
    run_profile profile;
    if (p_max < p_min) return profile;
    const bool narrow = p_min > 0 && p_max / 4 < p_min;
    profile.starts = narrow ? even_starts(p_min, p_max) : octave_starts(p_min, p_max);
    profile.bins.resize(profile.starts.size());
    for (std::size_t i = 0; i < profile.bins.size(); ++i) {
        profile.bins[i].p_lo = profile.starts[i];
        profile.bins[i].p_hi = i + 1 < profile.starts.size() ? profile.starts[i + 1] - 1 : p_max;
    }
    return profile;
}

int mass_column(double mass) {
    if (std::isnan(mass)) return -1;
    if (!(mass >= 0x1p-16)) return 0;
    if (mass >= 1.0) return static_cast<int>(profile_mass_columns) - 1;
    // mass = fraction * 2^exponent with fraction in [0.5, 1), read off its bits (a normal double here).
    const auto bits = std::bit_cast<std::uint64_t>(mass);
    const int exponent = static_cast<int>(bits >> 52 & 0x7FF) - 1022;
    const double fraction = std::bit_cast<double>((bits & 0xFFFFFFFFFFFFFU) | std::uint64_t{1022} << 52);
    int step = 0;
    while (step < mass_steps_per_octave - 1 && fraction >= mass_octave_steps[step]) ++step;
    return 1 + (mass_octaves - 1 + exponent) * mass_steps_per_octave + step;
}

void fold_profile_prime(run_profile& profile, const prime_scan& scan) {
    if (profile.starts.empty()) return;
    // Primes come in increasing order: a few steps from the last one's bin.
    std::size_t& at = profile.at;
    for (int step = 0; step < 4 && at + 1 < profile.starts.size() && profile.starts[at + 1] <= scan.p; ++step) ++at;
    if (scan.p < profile.starts[at] || (at + 1 < profile.starts.size() && profile.starts[at + 1] <= scan.p)) {
        const auto after = std::upper_bound(profile.starts.begin(), profile.starts.end(), scan.p);
        if (after == profile.starts.begin()) return;
        at = static_cast<std::size_t>(after - profile.starts.begin() - 1);
    }
    profile_bin& bin = profile.bins[at];
    ++bin.primes;
    if (scan.has_witness) {
        ++bin.covered;
        bin.sum_least_c += scan.least_c;
        if (scan.least_c > bin.max_least_c) {
            bin.max_least_c = scan.least_c;
            bin.max_least_c_p = scan.p;
        }
        const auto column = static_cast<std::size_t>((scan.least_c - 3) / 4);
        ++bin.least_c[std::min(column, profile_least_columns - 1)];
    }
    const auto successful = static_cast<std::size_t>(scan.successful_shifts);
    ++bin.successful[std::min(successful, profile_success_columns - 1)];
    if (const int column = mass_column(scan.uniform_mass); column >= 0) {
        ++bin.uniform[static_cast<std::size_t>(column)];
        bin.uniform_sum += static_cast<uint128>(scan.uniform_mass * 0x1p64);  // exact: a power of two
    }
    if (const int column = mass_column(scan.weighted_mass); column >= 0) {
        ++bin.weighted[static_cast<std::size_t>(column)];
        bin.weighted_sum += static_cast<uint128>(scan.weighted_mass * 0x1p64);
    }
}

void merge_run_profile(run_profile& whole, const run_profile& part) {
    if (whole.bins.size() != part.bins.size()) throw std::invalid_argument("profiles of other bins");
    for (std::size_t i = 0; i < whole.bins.size(); ++i) {
        profile_bin& w = whole.bins[i];
        const profile_bin& b = part.bins[i];
        w.primes += b.primes;
        w.covered += b.covered;
        w.sum_least_c += b.sum_least_c;
        if (b.max_least_c > w.max_least_c || (b.max_least_c == w.max_least_c && b.max_least_c_p < w.max_least_c_p)) {
            w.max_least_c = b.max_least_c;
            w.max_least_c_p = b.max_least_c_p;
        }
        for (std::size_t k = 0; k < profile_least_columns; ++k) w.least_c[k] += b.least_c[k];
        for (std::size_t k = 0; k < profile_success_columns; ++k) w.successful[k] += b.successful[k];
        for (std::size_t k = 0; k < profile_mass_columns; ++k) {
            w.uniform[k] += b.uniform[k];
            w.weighted[k] += b.weighted[k];
        }
        w.uniform_sum += b.uniform_sum;
        w.weighted_sum += b.weighted_sum;
    }
}

namespace {

constexpr std::size_t words_per_bin =
    9 + profile_least_columns + profile_success_columns + 2 * profile_mass_columns;

void push_u128(std::vector<std::int64_t>& words, uint128 v) {
    words.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(v >> 64)));
    words.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(v)));
}

uint128 read_u128(const std::int64_t* w) {
    return static_cast<uint128>(static_cast<std::uint64_t>(w[0])) << 64 | static_cast<std::uint64_t>(w[1]);
}

}  // namespace

std::vector<std::int64_t> pack_run_profile(const run_profile& profile) {
    std::vector<std::int64_t> words;
    words.reserve(profile.bins.size() * words_per_bin);
    for (const profile_bin& b : profile.bins) {
        words.insert(words.end(), {b.primes, b.covered, b.max_least_c, b.max_least_c_p, b.sum_least_c});
        push_u128(words, b.uniform_sum);
        push_u128(words, b.weighted_sum);
        words.insert(words.end(), b.least_c.begin(), b.least_c.end());
        words.insert(words.end(), b.successful.begin(), b.successful.end());
        words.insert(words.end(), b.uniform.begin(), b.uniform.end());
        words.insert(words.end(), b.weighted.begin(), b.weighted.end());
    }
    return words;
}

void unpack_run_profile(const std::vector<std::int64_t>& words, run_profile& profile) {
    if (words.size() != profile.bins.size() * words_per_bin) throw std::invalid_argument("profile of other bins");
    const std::int64_t* w = words.data();
    for (profile_bin& b : profile.bins) {
        b.primes = w[0];
        b.covered = w[1];
        b.max_least_c = static_cast<std::int32_t>(w[2]);
        b.max_least_c_p = w[3];
        b.sum_least_c = w[4];
        b.uniform_sum = read_u128(w + 5);
        b.weighted_sum = read_u128(w + 7);
        w += 9;
        std::copy_n(w, profile_least_columns, b.least_c.begin());
        w += profile_least_columns;
        std::copy_n(w, profile_success_columns, b.successful.begin());
        w += profile_success_columns;
        std::copy_n(w, profile_mass_columns, b.uniform.begin());
        w += profile_mass_columns;
        std::copy_n(w, profile_mass_columns, b.weighted.begin());
        w += profile_mass_columns;
    }
}

double profile_mean(uint128 sum, const std::array<std::int64_t, profile_mass_columns>& histogram) {
    std::int64_t count = 0;
    for (const std::int64_t n : histogram) count += n;
    if (count == 0) return std::nan("");
    return std::ldexp(static_cast<double>(sum) / static_cast<double>(count), -64);
}

std::string format_run_profile(const run_profile& profile) {
    std::string out = "p_lo,p_hi,primes,covered,max_least_c,max_least_c_p,sum_least_c,mean_uniform_mass,"
                      "mean_weighted_mass";
    for (std::size_t k = 0; k + 1 < profile_least_columns; ++k) out += ",least_" + std::to_string(3 + 4 * k);
    out += ",least_above_" + std::to_string(3 + 4 * (profile_least_columns - 2));
    for (std::size_t k = 0; k + 1 < profile_success_columns; ++k) out += ",successful_" + std::to_string(k);
    out += ",successful_above_" + std::to_string(profile_success_columns - 2);
    for (const char* mass : {"uniform", "weighted"}) {
        for (std::size_t k = 0; k < profile_mass_columns; ++k) out += std::string(",") + mass + "_h" + std::to_string(k);
    }
    out += '\n';
    for (const profile_bin& b : profile.bins) {
        append_integer(out, b.p_lo);
        const std::int64_t head[] = {b.p_hi, b.primes, b.covered, b.max_least_c, b.max_least_c_p, b.sum_least_c};
        write_columns(out, head, std::size(head));
        out += ',';
        append_double(out, profile_mean(b.uniform_sum, b.uniform));
        out += ',';
        append_double(out, profile_mean(b.weighted_sum, b.weighted));
        write_columns(out, b.least_c.data(), b.least_c.size());
        write_columns(out, b.successful.data(), b.successful.size());
        write_columns(out, b.uniform.data(), b.uniform.size());
        write_columns(out, b.weighted.data(), b.weighted.size());
        out += '\n';
    }
    return out;
}

}  // namespace erdos
