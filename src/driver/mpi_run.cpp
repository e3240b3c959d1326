// The phases of a run over several processes: outputs, rounds of blocks, reductions, summary, status.
#include "driver/mpi_run.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <thread>

#include "driver/block_plan.hpp"
#include "driver/mpi_agreement.hpp"
#include "driver/progress.hpp"
#include "driver/run_config.hpp"
#include "driver/walk_choice.hpp"
#include "numtheory/examined_primes.hpp"
#include "report/collective_rows.hpp"
#include "report/distributed_percentile.hpp"
#include "report/results_file.hpp"
#include "report/run_stats.hpp"
#include "report/staged_output.hpp"
#include "report/stats_merge.hpp"
#include "report/summary_file.hpp"
#include "search/shift_list.hpp"
#include "stop_request.hpp"

namespace erdos {

namespace {

constexpr const char* program_name = "erdos-straus-mpi";

int rank_in(MPI_Comm comm) {
    int rank = 0;
    MPI_Comm_rank(comm, &rank);
    return rank;
}

int size_of(MPI_Comm comm) {
    int size = 1;
    MPI_Comm_size(comm, &size);
    return size;
}

// The examined primes per block: distributed_block_primes, or the value of
// ERDOS_MPI_BLOCK_PRIMES (a positive decimal number), which changes no output
// byte and lets a small run take many rounds, for tests and measurements.
// Rank 0's setting counts.
std::int64_t block_primes_setting(std::int64_t p_max) {
    std::int64_t value = 0;
    if (const char* text = std::getenv("ERDOS_MPI_BLOCK_PRIMES"); text != nullptr && parse_decimal(text, value) &&
                                                                  value > 0) {
        return value;
    }
    return distributed_block_primes(p_max);
}

// What one process keeps through a run; the outputs are rank 0's alone.
struct mpi_state {
    MPI_Comm comm = MPI_COMM_NULL;
    int rank = 0;
    int size = 1;
    std::FILE* err = nullptr;
    progress_state progress;
    staged_output results;
    staged_output summary;
    output_file results_file;  // a direct results target
    output_file summary_file;
    collective_rows rows;
    bool rows_open = false;  // on every process alike
    fault local;
};

void print_file_error(std::FILE* err, const char* what, const std::string& path, const std::string& why) {
    std::fprintf(err, "%s: cannot write %s file %s: %s\n", program_name, what, quote_for_message(path).c_str(),
                 why.c_str());
}

// The message of an agreed fault, printed by its reporter alone; returns the
// exit status every process gives.
int end_with_fault(mpi_state& state, const agreed_fault& agreed, const run_config& config) {
    if (agreed.kind == fault_kind::signal) return 128 + agreed.detail;  // reported at the very end
    if (state.rank == 0) progress_end(state.progress);
    if (state.rank != agreed.reporter) return 1;
    const fault& mine = state.local;
    const std::string why = !mine.text.empty() ? mine.text : std::string(std::strerror(agreed.detail));
    switch (agreed.kind) {
        case fault_kind::results_file:
            print_file_error(state.err, "results", config.results_path, why);
            break;
        case fault_kind::summary_file:
            print_file_error(state.err, "summary", config.summary_path, why);
            break;
        case fault_kind::out_of_memory:
            std::fprintf(state.err, "%s: out of memory; the outputs are not complete\n", program_name);
            break;
        default:
            if (mine.text.empty()) {
                std::fprintf(state.err, "%s: internal error; the outputs are not complete\n", program_name);
            } else {
                std::fprintf(state.err, "%s: internal error: %s; the outputs are not complete\n", program_name,
                             mine.text.c_str());
            }
            break;
    }
    return 1;
}

std::string file_error_text(int error, const staged_output& output) {
    if (error == EBUSY) {  // from the lock on the fixed temporary file
        return "another run is writing it (" + quote_for_message(partial_file_name(output.destination)) + ")";
    }
    return std::strerror(error);
}

// Rank 0: both targets checked and their temporary files prepared before any
// work, as erdos-straus does; a direct results target is opened and gets
// its header now.
void prepare_outputs(mpi_state& state, const run_config& config) {
    fault& local = state.local;
    if (const int error = check_output_path(config.results_path); error != 0) {
        local = {fault_kind::results_file, error, {}};
    } else if (const int error2 = check_output_path(config.summary_path); error2 != 0) {
        local = {fault_kind::summary_file, error2, {}};
    } else if (const int error3 = prepare_staged_output(state.results, config.results_path, stage_naming::fixed);
               error3 != 0) {
        local = {fault_kind::results_file, error3, file_error_text(error3, state.results)};
    } else if (const int error4 = prepare_staged_output(state.summary, config.summary_path, stage_naming::unique);
               error4 != 0) {
        local = {fault_kind::summary_file, error4, {}};
    } else if (!state.results.staged) {
        if (const int error5 = open_staged_output(state.results, state.results_file); error5 != 0) {
            local = {fault_kind::results_file, error5, {}};
        } else {
            start_results_file(state.results_file);
        }
    }
}

// The run on every process; returns the exit status, the same everywhere.
int run_phases(mpi_state& state, const run_config& config) {
    MPI_Comm comm = state.comm;
    fault& local = state.local;
    const bool root = state.rank == 0;

    if (root) guard(local, [&] { prepare_outputs(state, config); });
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }
    const bool direct = root && !state.results.staged;
    if (const int error = open_collective_rows(state.rows, state.results.temporary,
                                               direct ? &state.results_file : nullptr, comm);
        error != 0) {
        local = {fault_kind::results_file, error, {}};
    }
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }
    state.rows_open = true;

    // The blocks, the same on every process. The plain 32-bit walk builds a
    // table over every m of the run for each block, so it takes one round.
    const walk_kind walk = choose_walk(config, scan_engine::fast);
    std::int64_t block_primes = block_primes_setting(config.p_max);
    MPI_Bcast(&block_primes, 1, MPI_INT64_T, 0, comm);
    block_plan plan;
    run_stats stats;
    guard(local, [&] {
        plan = plan_blocks(config.p_min, config.p_max, static_cast<unsigned>(state.size),
                           block_primes, walk == walk_kind::plain);
        std::int64_t expected = 0;
        for (std::size_t round = 0; round < plan.rounds; ++round) {
            const block_bounds block = block_of(plan, round, static_cast<unsigned>(state.rank));
            if (block.first <= block.last) expected += estimate_examined_primes(block.first, block.last);
        }
        stats.uniform_masses.reserve(static_cast<std::size_t>(expected));
        stats.weighted_masses.reserve(static_cast<std::size_t>(expected));
    });
    if (root) {
        progress_interval(state.progress, config.p_min, config.p_max);
        progress_phase(state.progress, "scanning primes");
    }
    const unsigned threads = config.threads != 0 ? config.threads : std::max(1U, std::thread::hardware_concurrency());
    std::string block_rows;
    const chunk_sink fold = [&](const prime_chunk& chunk) {
        for (std::size_t i = 0; i < chunk.scans.size(); ++i) {
            ++stats.processed;
            update_run_stats(stats, chunk.scans[i], chunk.verified[i] != 0);
        }
        block_rows += chunk.rows;
        if (root && !chunk.scans.empty()) {
            progress_scan(state.progress, stats.processed * state.size, 0, chunk.scans.back().p);
        }
        stop_if_requested();
        return 0;
    };
    for (std::size_t round = 0; round < plan.rounds || plan.rounds == 0; ++round) {
        if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
            return end_with_fault(state, agreed, config);
        }
        if (plan.rounds == 0) break;
        guard(local, [&] {
            block_rows.clear();
            // The header opens the shared file, ahead of the first block.
            if (root && round == 0 && state.rows.shared) block_rows = results_header;
            const block_bounds block = block_of(plan, round, static_cast<unsigned>(state.rank));
            walk_part(walk, block.first, block.last, config.c_max, threads, fold);
        });
        if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
            return end_with_fault(state, agreed, config);
        }
        if (const int error = write_collective_rows(state.rows, block_rows); error != 0) {
            local = {fault_kind::results_file, error, {}};
        }
    }
    block_rows = std::string();
    if (root) progress_phase(state.progress, "writing the results");
    state.rows_open = false;
    if (const int error = close_collective_rows(state.rows); error != 0) local = {fault_kind::results_file, error, {}};
    if (direct) {
        if (const int error = close_output_file(state.results_file); error != 0 && local.kind == fault_kind::none) {
            local = {fault_kind::results_file, error, {}};
        }
    }
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }

    // The aggregates of every process, merged on rank 0.
    if (root) progress_phase(state.progress, "writing the summary");
    const std::vector<std::int64_t> packed = pack_run_stats(stats);
    const int packed_words = static_cast<int>(packed.size());
    std::vector<int> words(root ? static_cast<std::size_t>(state.size) : 0);
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
        for (int i = 0; i < state.size; ++i) merge_run_stats(whole, unpack_run_stats(gathered, at));
    }

    // The percentiles, selected where the masses are.
    const auto mine = static_cast<std::uint64_t>(stats.uniform_masses.size());
    std::uint64_t total = 0;
    MPI_Allreduce(&mine, &total, 1, MPI_UINT64_T, MPI_SUM, comm);
    percentile_search search = start_percentile_search(total);
    std::vector<std::uint64_t> counts;
    std::vector<std::uint64_t> sums;
    guard(local, [&] {
        counts.assign(search.targets.size() * select_digit_values, 0);
        sums.assign(counts.size(), 0);
    });
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }
    for (int pass = 0; pass < select_passes && !search.targets.empty(); ++pass) {
        guard(local, [&] { count_percentile_pass(search, stats.uniform_masses, stats.weighted_masses, counts); });
        MPI_Allreduce(counts.data(), sums.data(), static_cast<int>(counts.size()), MPI_UINT64_T, MPI_SUM, comm);
        guard(local, [&] { take_percentile_pass(search, sums); });
    }
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }

    // Rank 0 writes the summary and puts both files in place, in the order
    // and with the messages of erdos-straus.
    int summary_error = 0;
    if (root) {
        guard(local, [&] {
            const summary_bounds bounds{config.p_min, config.has_p_min, config.p_max, config.c_max,
                                        count_shifts(config.c_max)};
            const std::string text = format_summary(bounds, whole, finish_percentile_search(search));
            summary_error = open_staged_output(state.summary, state.summary_file);
            if (summary_error == 0) {
                state.summary_file.pending = text;
                summary_error = close_output_file(state.summary_file);
            }
        });
    }
    // The last chance for a stop request: from here on the run is finished.
    if (const agreed_fault agreed = agree_on_fault(local, comm); agreed.kind != fault_kind::none) {
        return end_with_fault(state, agreed, config);
    }
    int status = 0;
    if (root) {
        int results_error = 0;
        if (summary_error == 0) {
            results_error = commit_staged_output(state.results);
            if (results_error == 0) summary_error = commit_staged_output(state.summary);
        }
        progress_end(state.progress);
        if (results_error != 0) {
            print_file_error(state.err, "results", config.results_path, std::strerror(results_error));
            status = 1;
        } else {
            if (summary_error != 0) {
                print_file_error(state.err, "summary", config.summary_path, std::strerror(summary_error));
            }
            std::fprintf(state.err, "processed=%lld covered=%lld verified=%lld max_least_c=%d at p=%lld\n",
                         static_cast<long long>(whole.processed), static_cast<long long>(whole.covered),
                         static_cast<long long>(whole.verified), whole.max_least_shift,
                         static_cast<long long>(whole.max_least_shift_prime));
            if (summary_error != 0) {
                status = 1;
            } else {
                status = (whole.processed == whole.covered && whole.covered == whole.verified) ? 0 : 2;
            }
        }
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    return status;
}

// The run with its cleanup: every process closes the shared file together,
// rank 0 removes what a failed run left and reports an interruption.
int run_distributed(const run_config& config, MPI_Comm comm, std::FILE* err) {
    mpi_state state;
    state.comm = comm;
    state.rank = rank_in(comm);
    state.size = size_of(comm);
    state.err = err;
    const bool root = state.rank == 0;
    if (root) progress_begin(state.progress, err);
    watch_stop_signals();
    int status = 1;
    try {
        status = run_phases(state, config);
    } catch (...) {
        if (root) {
            progress_end(state.progress);
            discard_staged_output(state.results, state.results_file);
            discard_staged_output(state.summary, state.summary_file);
        }
        unwatch_stop_signals();
        throw;
    }
    if (state.rows_open) close_collective_rows(state.rows);
    if (root) {
        progress_end(state.progress);
        discard_staged_output(state.results, state.results_file);  // nothing left after a finished run
        discard_staged_output(state.summary, state.summary_file);
    }
    unwatch_stop_signals();
    if (status > 128 && root) {
        std::fprintf(err, "%s: interrupted; the outputs are not complete\n", program_name);
    }
    return status;
}

// Rank 0's status, given by every process.
int agreed_status(int status, MPI_Comm comm) {
    MPI_Bcast(&status, 1, MPI_INT, 0, comm);
    return status;
}

}  // namespace

int mpi_erdos_main(const std::vector<std::string>& args, MPI_Comm comm, std::FILE* out, std::FILE* err) {
    const bool root = rank_in(comm) == 0;
    try {
        const command_line command = parse_command_line(args);
        switch (command.action) {
            case command_action::help:
            case command_action::version: {
                int status = 0;
                if (root) {
                    const std::string text = command.action == command_action::help ? usage_text(program_name)
                                                                                     : version_text(program_name);
                    errno = 0;
                    if (std::fputs(text.c_str(), out) == EOF || std::fflush(out) != 0) {
                        std::fprintf(err, "%s: cannot write standard output: %s\n", program_name,
                                     std::strerror(errno != 0 ? errno : EIO));
                        status = 1;
                    }
                }
                return agreed_status(status, comm);
            }
            case command_action::fail:
                if (root) {
                    std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", program_name,
                                 command.error.c_str(), program_name);
                }
                return 1;
            case command_action::run:
                break;
        }
        return run_distributed(command.config, comm, err);
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "%s: out of memory; the outputs are not complete\n", program_name);
    } catch (const std::exception& e) {
        std::fprintf(err, "%s: internal error: %s; the outputs are not complete\n", program_name, e.what());
    } catch (...) {
        std::fprintf(err, "%s: internal error; the outputs are not complete\n", program_name);
    }
    // The other processes may be waiting in a collective call that this one
    // will never make: the job ends as a whole.
    std::fflush(err);
    MPI_Abort(comm, 1);
    return 1;
}

}  // namespace erdos
