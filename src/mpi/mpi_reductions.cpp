// Gathering the aggregates of every process, and selecting the percentiles where the masses are.
#include "mpi/mpi_reductions.hpp"

#include <vector>

#include "driver/run_outputs.hpp"
#include "mpi/mpi_agreement.hpp"
#include "mpi/stats_merge.hpp"
#include "stats/distributed_percentile.hpp"
#include "stats/radix_select.hpp"

namespace erdos {

run_stats gather_run_stats(const run_stats& mine, MPI_Comm comm) {
    const int size = size_of(comm);
    const bool root = rank_of(comm) == 0;
    const std::vector<std::int64_t> packed = pack_run_stats(mine);
    const int packed_words = static_cast<int>(packed.size());
    std::vector<int> words(root ? static_cast<std::size_t>(size) : 0);
    MPI_Gather(&packed_words, 1, MPI_INT, words.data(), 1, MPI_INT, 0, comm);
    std::vector<int> displacements(words.size());
    int all_words = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        displacements[i] = all_words;
        all_words += words[i];
    }
    std::vector<std::int64_t> gathered(static_cast<std::size_t>(all_words));
    MPI_Gatherv(packed.data(), packed_words, MPI_INT64_T, gathered.data(), words.data(), displacements.data(),
                MPI_INT64_T, 0, comm);
    run_stats whole;
    if (root) {
        std::size_t at = 0;
        for (int i = 0; i < size; ++i) merge_run_stats(whole, unpack_run_stats(gathered, at));
    }
    return whole;
}

void reduce_percentiles(const run_stats& mine, MPI_Comm comm, summary_percentiles& percentiles, fault& local) {
    const std::uint64_t count = mass_count(mine.masses);
    std::uint64_t total = 0;
    MPI_Allreduce(&count, &total, 1, MPI_UINT64_T, MPI_SUM, comm);
    percentile_search search = start_percentile_search(total);
    std::vector<std::uint64_t> counts;
    std::vector<std::uint64_t> sums;
    guard(local, [&] {
        counts.assign(search.targets.size() * select_digit_values, 0);
        sums.assign(counts.size(), 0);
    });
    // Every process must take part in every pass with counts of the same size.
    if (agree_on_fault(local, comm).kind != fault_kind::none) return;
    for (int pass = 0; pass < select_passes && !search.targets.empty(); ++pass) {
        guard(local, [&] {
            if (const int error = count_percentile_pass(search, mine.masses, counts); error != 0) {
                local = mass_file_fault(mine.masses, error);
            }
        });
        MPI_Allreduce(counts.data(), sums.data(), static_cast<int>(counts.size()), MPI_UINT64_T, MPI_SUM, comm);
        guard(local, [&] { take_percentile_pass(search, sums); });
        // A failed read on one process stops every process before the next pass.
        if (agree_on_fault(local, comm).kind != fault_kind::none) return;
    }
    guard(local, [&] { percentiles = finish_percentile_search(search); });
}

}  // namespace erdos
