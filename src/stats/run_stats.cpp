// Counts, extremes, histogram and mass store, updated one prime at a time or a chunk's tally at a time.
#include "stats/run_stats.hpp"

namespace erdos {

namespace {

void keep_masses(run_stats& stats, const prime_scan& scan) {  // and the records and profile, when wanted
    add_masses(stats.masses, scan.uniform_mass, scan.weighted_mass);
    fold_record_prime(stats.records, scan);
    fold_profile_prime(stats.profile, scan);
}

void keep_masses(chunk_tally& tally, const prime_scan& scan) {
    tally.uniform_masses.push_back(scan.uniform_mass);
    tally.weighted_masses.push_back(scan.weighted_mass);
}

// One prime folded into the counts and extremes of a run or a chunk.
void fold_counts(prime_counts& into, const prime_scan& scan, bool witness_verified) {
    if (scan.has_witness) {
        ++into.covered;
        if (witness_verified) ++into.verified;
        ++into.least_shift_histogram[scan.least_c];
        if (scan.least_c > into.max_least_shift) {
            into.max_least_shift = scan.least_c;
            into.max_least_shift_prime = scan.p;
        }
    }
    if (scan.uniform_mass < into.min_uniform_mass) {
        into.min_uniform_mass = scan.uniform_mass;
        into.min_uniform_mass_prime = scan.p;
    }
    if (scan.weighted_mass < into.min_weighted_mass) {
        into.min_weighted_mass = scan.weighted_mass;
        into.min_weighted_mass_prime = scan.p;
    }
}

}  // namespace

void update_run_stats(run_stats& stats, const prime_scan& scan, bool witness_verified) {
    fold_counts(stats, scan, witness_verified);
    keep_masses(stats, scan);
}

bool every_prime_covered_and_verified(const run_stats& stats) {
    return stats.processed == stats.covered && stats.covered == stats.verified;
}

void tally_prime(chunk_tally& tally, const prime_scan& scan, bool witness_verified) {
    fold_counts(tally, scan, witness_verified);
    keep_masses(tally, scan);
    ++tally.primes;
}

void clear_chunk_tally(chunk_tally& tally) {
    std::vector<double> uniform = std::move(tally.uniform_masses);
    std::vector<double> weighted = std::move(tally.weighted_masses);
    uniform.clear();
    weighted.clear();
    tally = chunk_tally{};
    tally.uniform_masses = std::move(uniform);
    tally.weighted_masses = std::move(weighted);
}

void add_counts_and_extremes(prime_counts& whole, const prime_counts& part) {
    whole.covered += part.covered;
    whole.verified += part.verified;
    for (const auto& [least_c, count] : part.least_shift_histogram) whole.least_shift_histogram[least_c] += count;
    if (part.max_least_shift > whole.max_least_shift ||
        (part.max_least_shift == whole.max_least_shift && part.max_least_shift_prime < whole.max_least_shift_prime)) {
        whole.max_least_shift = part.max_least_shift;
        whole.max_least_shift_prime = part.max_least_shift_prime;
    }
    auto take_smaller = [](double& value, std::int64_t& prime, double other_value, std::int64_t other_prime) {
        if (other_value < value || (other_value == value && other_prime < prime)) {
            value = other_value;
            prime = other_prime;
        }
    };
    take_smaller(whole.min_uniform_mass, whole.min_uniform_mass_prime, part.min_uniform_mass,
                 part.min_uniform_mass_prime);
    take_smaller(whole.min_weighted_mass, whole.min_weighted_mass_prime, part.min_weighted_mass,
                 part.min_weighted_mass_prime);
}

void fold_chunk_stats(run_stats& stats, const prime_chunk& chunk) {
    const chunk_tally& tally = chunk.tally;
    if (tally.primes != chunk.scans.size()) {
        for (std::size_t i = 0; i < chunk.scans.size(); ++i) {
            ++stats.processed;
            update_run_stats(stats, chunk.scans[i], chunk.verified[i] != 0);
        }
        return;
    }
    // The tally's primes all come after stats': its extremes win only when
    // strictly better, as they would have prime by prime.
    stats.processed += static_cast<std::int64_t>(tally.primes);
    add_counts_and_extremes(stats, tally);
    add_mass_block(stats.masses, tally.uniform_masses.data(), tally.weighted_masses.data(), tally.primes);
    if (stats.records.wanted || !stats.profile.starts.empty()) {
        for (const prime_scan& scan : chunk.scans) {
            fold_record_prime(stats.records, scan);
            fold_profile_prime(stats.profile, scan);
        }
    }
}

}  // namespace erdos
