// The masses buffered in memory, written out a segment at a time into an unnamed file, and read back in blocks.
#include "stats/mass_store.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "run_in_parts.hpp"
#include "stats/radix_select.hpp"

namespace erdos {

namespace {

// Pairs the buffer first makes room for, so that a small run, or the
// statistics of one part of a test, does not take the whole budget.
constexpr std::uint64_t first_room = 4096;

// Pairs a share of the masses holds at least when they are visited in
// shares on several threads: a thread's start costs about what counting
// these few takes.
constexpr std::uint64_t min_part_pairs = std::uint64_t{1} << 14;

int write_values(int fd, const double* values, std::size_t count) {
    return write_all(fd, values, count * sizeof(double));
}

// Reads count values from byte offset; a file that ends before them is EIO.
int read_values(int fd, double* values, std::size_t count, std::uint64_t offset) {
    return read_all_at(fd, values, count * sizeof(double), offset);
}

// The buffer as the next segment of the file, its leading digits counted;
// the buffer is emptied whatever happens (after a failure the pairs are lost,
// and the store's error says so).
void spill_masses(mass_store& store) {
    const std::size_t pairs = store.uniform.size();
    if (store.error == 0 && pairs > 0) {
        if (store.file.fd < 0) {
            store.error = open_unnamed_file(store.directory.empty() ? temporary_directory() : store.directory,
                                            store.file);
        }
        if (store.error == 0) store.error = write_values(store.file.fd, store.uniform.data(), pairs);
        if (store.error == 0) store.error = write_values(store.file.fd, store.weighted.data(), pairs);
        if (store.error == 0) {
            if (store.uniform_digits.empty()) {
                store.uniform_digits.assign(select_digit_values, 0);
                store.weighted_digits.assign(select_digit_values, 0);
            }
            const rank_search nothing_known;
            count_next_digit(store.uniform.data(), pairs, nothing_known, store.uniform_digits.data());
            count_next_digit(store.weighted.data(), pairs, nothing_known, store.weighted_digits.data());
            store.segments.push_back(pairs);
            store.on_file += pairs;
        }
    }
    store.uniform.clear();
    store.weighted.clear();
}

}  // namespace

void set_up_mass_store(mass_store& store, std::string directory, std::uint64_t budget) {
    store.directory = std::move(directory);
    store.budget = std::max<std::uint64_t>(budget, 1);
}

std::uint64_t mass_budget_setting() {
    return tuning::setting_for_tests("ERDOS_STRAUS_MASS_BUDGET", tuning::mass_budget_primes);
}

std::string mass_file_directory(const std::string& results_path, const std::string& summary_path) {
    namespace fs = std::filesystem;
    for (const std::string* path : {&results_path, &summary_path}) {
        if (path->empty()) continue;
        struct stat status {};
        const bool usable = stat(path->c_str(), &status) == 0 ? S_ISREG(status.st_mode) : errno == ENOENT;
        if (!usable) continue;
        // Where the target's links lead, beside the file that the outputs replace.
        std::error_code ec;
        fs::path resolved = fs::weakly_canonical(fs::absolute(*path, ec), ec);
        if (ec) resolved = *path;
        const std::string parent = resolved.parent_path().string();
        return parent.empty() ? std::string(".") : parent;
    }
    return temporary_directory();
}

void make_room_for_masses(mass_store& store) {
    const std::uint64_t size = store.uniform.size();
    if (size >= store.budget) {
        spill_masses(store);  // keeps the capacity
        return;
    }
    // One step to the whole budget after the first room: a last doubling
    // would hold half the budget beside the whole for a moment.
    const std::uint64_t room = std::min(store.budget, size < first_room ? first_room : store.budget);
    store.uniform.reserve(static_cast<std::size_t>(room));
    store.weighted.reserve(static_cast<std::size_t>(room));
}

void add_mass_block(mass_store& store, const double* uniform, const double* weighted, std::size_t count) {
    while (count > 0) {
        if (store.uniform.size() == store.uniform.capacity()) make_room_for_masses(store);
        const std::size_t take = std::min(count, store.uniform.capacity() - store.uniform.size());
        store.uniform.insert(store.uniform.end(), uniform, uniform + take);
        store.weighted.insert(store.weighted.end(), weighted, weighted + take);
        uniform += take;
        weighted += take;
        count -= take;
    }
}

int visit_masses(const mass_store& store, const mass_visitor& visit) {
    if (store.error != 0) return store.error;
    if (store.on_file > 0) {
        const std::uint64_t longest = *std::max_element(store.segments.begin(), store.segments.end());
        std::vector<double> block(static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max<std::size_t>(store.read_block, 1), longest)));
        std::uint64_t offset = 0;
        for (const std::uint64_t pairs : store.segments) {
            for (const bool weighted : {false, true}) {
                for (std::uint64_t done = 0; done < pairs;) {
                    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), pairs - done));
                    if (const int error = read_values(store.file.fd, block.data(), count, offset + done * sizeof(double));
                        error != 0) {
                        return error;
                    }
                    visit(weighted, block.data(), count);
                    done += count;
                }
                offset += pairs * sizeof(double);
            }
        }
    }
    if (!store.uniform.empty()) {
        visit(false, store.uniform.data(), store.uniform.size());
        visit(true, store.weighted.data(), store.weighted.size());
    }
    return 0;
}

unsigned max_mass_parts(const mass_store& store, unsigned parts) {
    const std::uint64_t worth = mass_count(store) / min_part_pairs;
    return static_cast<unsigned>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(parts, worth)));
}

int visit_masses_in_parts(const mass_store& store, unsigned parts, const mass_part_visitor& visit) {
    if (store.error != 0) return store.error;
    // The blocks of both lists, on file and in memory, taken in turn by
    // whichever part is free.
    struct block {
        bool weighted;
        bool on_file;
        std::uint64_t start;  // a byte offset into the file, or an index into the list in memory
        std::size_t count;
    };
    const std::size_t most = std::max<std::size_t>(store.read_block, 1);
    std::vector<block> blocks;
    std::uint64_t offset = 0;
    for (const std::uint64_t pairs : store.segments) {
        for (const bool weighted : {false, true}) {
            for (std::uint64_t done = 0; done < pairs; done += most) {
                const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(most, pairs - done));
                blocks.push_back({weighted, true, offset + done * sizeof(double), count});
            }
            offset += pairs * sizeof(double);
        }
    }
    for (const bool weighted : {false, true}) {
        for (std::size_t done = 0; done < store.uniform.size(); done += most) {
            blocks.push_back({weighted, false, done, std::min(most, store.uniform.size() - done)});
        }
    }
    std::atomic<std::size_t> next{0};
    std::atomic<int> failure{0};
    run_in_parts(max_mass_parts(store, parts), [&](unsigned part) {
        std::vector<double> buffer;
        for (std::size_t b = next++; b < blocks.size() && failure.load() == 0; b = next++) {
            const block& at = blocks[b];
            const double* values = nullptr;
            if (at.on_file) {
                buffer.resize(at.count);
                if (const int error = read_values(store.file.fd, buffer.data(), at.count, at.start); error != 0) {
                    int none = 0;
                    failure.compare_exchange_strong(none, error);
                    return;
                }
                values = buffer.data();
            } else {
                values = (at.weighted ? store.weighted : store.uniform).data() + at.start;
            }
            visit(part, at.weighted, values, at.count);
        }
    });
    return failure.load();
}

int put_all_masses_on_file(mass_store& store) {
    if (store.on_file > 0) {
        spill_masses(store);
        std::vector<double>().swap(store.uniform);
        std::vector<double>().swap(store.weighted);
    }
    return store.error;
}

}  // namespace erdos
