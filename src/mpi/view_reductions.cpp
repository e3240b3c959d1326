// Records and profiles sent to rank 0 one process at a time and merged there.
#include "mpi/view_reductions.hpp"

#include <vector>

#include "mpi/mpi_agreement.hpp"

namespace erdos {

namespace {

constexpr int views_tag = 20;

// Rank 0: the packed words of process `from`.
std::vector<std::int64_t> receive_words(int from, MPI_Comm comm) {
    MPI_Status status;
    MPI_Probe(from, views_tag, comm, &status);
    int count = 0;
    MPI_Get_count(&status, MPI_INT64_T, &count);
    std::vector<std::int64_t> words(static_cast<std::size_t>(count));
    MPI_Recv(words.data(), count, MPI_INT64_T, from, views_tag, comm, MPI_STATUS_IGNORE);
    return words;
}

}  // namespace

void gather_views(const run_stats& mine, run_stats& whole, MPI_Comm comm) {
    const bool records = mine.records.wanted;
    const bool profile = !mine.profile.starts.empty();
    if (!records && !profile) return;
    const int size = size_of(comm);
    if (rank_of(comm) != 0) {
        std::vector<std::int64_t> words;
        if (records) pack_record_primes(mine.records, words);
        if (profile) {
            const std::vector<std::int64_t> bins = pack_run_profile(mine.profile);
            words.insert(words.end(), bins.begin(), bins.end());
        }
        MPI_Send(words.data(), static_cast<int>(words.size()), MPI_INT64_T, 0, views_tag, comm);
        return;
    }
    std::vector<record_prime> candidates = mine.records.rows;
    whole.profile = mine.profile;
    run_profile part = mine.profile;
    for (int from = 1; from < size; ++from) {
        std::vector<std::int64_t> words = receive_words(from, comm);
        std::size_t at = 0;
        if (records) unpack_record_primes(words, at, candidates);
        if (profile) {
            words.erase(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(at));
            unpack_run_profile(words, part);
            merge_run_profile(whole.profile, part);
        }
    }
    if (records) whole.records = merge_record_primes(candidates);
}

}  // namespace erdos
