// The masses buffered in memory, written out a segment at a time into an unnamed file, and read back in blocks.
#include "stats/mass_store.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "stats/radix_select.hpp"

namespace erdos {

namespace {

// Pairs the buffer first makes room for, so that a small run, or the
// statistics of one part of a test, does not take the whole budget.
constexpr std::uint64_t first_room = 4096;

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

int put_all_masses_on_file(mass_store& store) {
    if (store.on_file > 0) {
        spill_masses(store);
        std::vector<double>().swap(store.uniform);
        std::vector<double>().swap(store.weighted);
    }
    return store.error;
}

}  // namespace erdos
