// The record primes and the profile: their bins, merges and packing; the run-level checks are in
// tests/scripts/records_profile_test.sh.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "stats/record_primes.hpp"
#include "stats/run_profile.hpp"

using namespace erdos;

namespace {

prime_scan scan_of(std::int64_t p, std::int32_t least_c, double uniform = 0.05, double weighted = 0.1) {
    prime_scan s;
    s.p = p;
    s.has_witness = least_c > 0;
    s.least_c = s.has_witness ? least_c : -1;
    s.first_d = s.has_witness ? 1 : -1;
    s.branch = s.has_witness ? 1 : 0;
    s.successful_shifts = 3;
    s.uniform_mass = uniform;
    s.weighted_mass = weighted;
    return s;
}

}  // namespace

TEST(RecordPrimes, RunningMaximumWithUncoveredAboveEveryShift) {
    record_primes records;
    records.wanted = true;
    for (const auto& [p, c] : std::vector<std::pair<std::int64_t, std::int32_t>>{
             {73, 7}, {97, 3}, {1129, 11}, {1153, 11}, {1201, 23}, {2000, -1}, {3000, 99}, {4000, -1}}) {
        fold_record_prime(records, scan_of(p, c));
    }
    std::vector<std::int64_t> ps;
    for (const record_prime& r : records.rows) ps.push_back(r.p);
    EXPECT_EQ(ps, (std::vector<std::int64_t>{73, 1129, 1201, 2000}));

    // Any split into parts, each folded on its own, merges to the same rows.
    record_primes odd, even;
    odd.wanted = even.wanted = true;
    std::int64_t i = 0;
    for (const auto& [p, c] : std::vector<std::pair<std::int64_t, std::int32_t>>{
             {73, 7}, {97, 3}, {1129, 11}, {1153, 11}, {1201, 23}, {2000, -1}, {3000, 99}, {4000, -1}}) {
        fold_record_prime(i++ % 2 == 0 ? even : odd, scan_of(p, c));
    }
    std::vector<std::int64_t> words;
    pack_record_primes(odd, words);
    pack_record_primes(even, words);
    std::size_t at = 0;
    std::vector<record_prime> candidates;
    unpack_record_primes(words, at, candidates);
    unpack_record_primes(words, at, candidates);
    EXPECT_EQ(at, words.size());
    EXPECT_EQ(format_records(merge_record_primes(candidates)), format_records(records));
}

TEST(RecordPrimes, RowsWithExactSolutions) {
    std::string out;
    // Branch 1 and branch 2 (D = p^2 d); far-out rows are checked against the runs' rows by the script test.
    EXPECT_TRUE(append_record_row(out, {73, 7, 1, 1}));
    EXPECT_EQ(out, "73,7,20,1,1,219,4380\n");
    out.clear();
    EXPECT_TRUE(append_record_row(out, {1201, 23, 17, 2}));
    EXPECT_EQ(out, "1201,23,306,17,2,1082101,16218\n");
    out.clear();
    append_record_row(out, {4000000000000000081, -1, -1, 0});
    EXPECT_EQ(out, "4000000000000000081,-1,,-1,0,,\n");
    out.clear();
    // A witness that does not give a solution leaves x and y empty rather than wrong.
    EXPECT_FALSE(append_record_row(out, {73, 7, 2, 1}));
    EXPECT_EQ(out, "73,7,20,2,1,,\n");
}

TEST(RunProfile, BinsCoverTheIntervalInAboutAThousand) {
    const std::int64_t top = std::int64_t{1} << 62;
    for (const auto& [lo, hi] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {0, 2000000}, {0, 10000000000}, {0, top}, {1000000000000, 1000000100000}, {top - 999, top},
             {top - 5000000, top}, {5, 5}, {0, 40}, {100, 1000000}, {3, 12}}) {
        const run_profile profile = plan_run_profile(lo, hi);
        ASSERT_FALSE(profile.bins.empty());
        EXPECT_EQ(profile.bins.front().p_lo, lo);
        EXPECT_EQ(profile.bins.back().p_hi, hi);
        for (std::size_t i = 0; i < profile.bins.size(); ++i) {
            EXPECT_LE(profile.bins[i].p_lo, profile.bins[i].p_hi);
            if (i > 0) {
                EXPECT_EQ(profile.bins[i].p_lo, profile.bins[i - 1].p_hi + 1);
            }
        }
        if (hi - lo > 100000) {
            EXPECT_GE(profile.bins.size(), 900U) << lo << ".." << hi;
            EXPECT_LE(profile.bins.size(), 1100U) << lo << ".." << hi;
        }
    }
    // Narrow far out: bins of one width.
    const run_profile narrow = plan_run_profile(1000000000000, 1000000100000);
    EXPECT_EQ(narrow.bins[0].p_hi - narrow.bins[0].p_lo, narrow.bins[500].p_hi - narrow.bins[500].p_lo);
}

TEST(RunProfile, MassColumnsOnTheirEdges) {
    EXPECT_EQ(mass_column(std::nan("")), -1);
    EXPECT_EQ(mass_column(0.0), 0);
    EXPECT_EQ(mass_column(std::ldexp(1.0, -16) * 0.999), 0);
    EXPECT_EQ(mass_column(std::ldexp(1.0, -16)), 1);
    EXPECT_EQ(mass_column(0.5), 91);
    EXPECT_EQ(mass_column(std::nextafter(0.5, 0.0)), 90);
    EXPECT_EQ(mass_column(mass_octave_steps[0] / 2), 86);
    EXPECT_EQ(mass_column(std::nextafter(mass_octave_steps[0] / 2, 0.0)), 85);
    EXPECT_EQ(mass_column(std::nextafter(1.0, 0.0)), 96);
    EXPECT_EQ(mass_column(1.0), 96);
}

TEST(RunProfile, PartsMergeToTheWhole) {
    run_profile whole = plan_run_profile(0, 100000);
    run_profile a = whole, b = whole;
    const double masses[] = {0.0, 0.013, 0.2, 1.0, std::nan("")};
    for (std::int64_t p = 73, i = 0; p < 100000; p += 24, ++i) {
        const prime_scan s = scan_of(p, i % 7 == 0 ? -1 : static_cast<std::int32_t>(3 + 4 * (i % 40)),
                                     masses[i % 5], masses[(i + 2) % 5]);
        fold_profile_prime(whole, s);
        fold_profile_prime(i % 3 == 0 ? a : b, s);
    }
    run_profile merged = plan_run_profile(0, 100000);
    run_profile part = merged;
    unpack_run_profile(pack_run_profile(b), part);
    merge_run_profile(merged, part);
    unpack_run_profile(pack_run_profile(a), part);
    merge_run_profile(merged, part);
    EXPECT_EQ(format_run_profile(merged), format_run_profile(whole));
}
