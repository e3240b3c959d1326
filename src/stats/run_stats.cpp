// Counts, extremes, histogram and mass store, updated one prime at a time.
#include "stats/run_stats.hpp"

namespace erdos {

void update_run_stats(run_stats& stats, const prime_scan& scan, bool witness_verified) {
    if (scan.has_witness) {
        ++stats.covered;
        if (witness_verified) ++stats.verified;
        ++stats.least_shift_histogram[scan.least_c];
        if (scan.least_c > stats.max_least_shift) {
            stats.max_least_shift = scan.least_c;
            stats.max_least_shift_prime = scan.p;
        }
    }
    if (scan.uniform_mass < stats.min_uniform_mass) {
        stats.min_uniform_mass = scan.uniform_mass;
        stats.min_uniform_mass_prime = scan.p;
    }
    if (scan.weighted_mass < stats.min_weighted_mass) {
        stats.min_weighted_mass = scan.weighted_mass;
        stats.min_weighted_mass_prime = scan.p;
    }
    add_masses(stats.masses, scan.uniform_mass, scan.weighted_mass);
    fold_record_prime(stats.records, scan);
    fold_profile_prime(stats.profile, scan);
}

bool every_prime_covered_and_verified(const run_stats& stats) {
    return stats.processed == stats.covered && stats.covered == stats.verified;
}

void fold_chunk_stats(run_stats& stats, const prime_chunk& chunk) {
    for (std::size_t i = 0; i < chunk.scans.size(); ++i) {
        ++stats.processed;
        update_run_stats(stats, chunk.scans[i], chunk.verified[i] != 0);
    }
}

}  // namespace erdos
