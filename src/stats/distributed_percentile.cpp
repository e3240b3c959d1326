// Radix searches for the summary's percentile ranks, pass by pass over the mass stores, and the interpolation at the end.
#include "stats/distributed_percentile.hpp"

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>

#include "stats/percentile.hpp"
#include "run_in_parts.hpp"
#include "stop_request.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

// The parts a pass over the masses runs in: a thread each, up to
// tuning::percentile_max_parts (each counts into tables of its own, 512 KiB
// a search).
unsigned percentile_parts(const mass_store& store, unsigned threads) {
    return max_mass_parts(store, std::clamp(threads, 1U, tuning::percentile_max_parts));
}

struct wanted_rank {
    bool weighted;
    std::uint64_t rank;
};

// Each rank once, of the uniform list first.
std::vector<wanted_rank> wanted_ranks(std::uint64_t total) {
    std::vector<wanted_rank> wanted;
    const auto add = [&](bool weighted, std::uint64_t rank) {
        for (const wanted_rank& w : wanted) {
            if (w.weighted == weighted && w.rank == rank) return;
        }
        wanted.push_back({weighted, rank});
    };
    for (const double q : summary_quantiles) {
        const percentile_position at = locate_percentile(total, q);
        add(false, at.lo);
        add(false, at.hi);
    }
    const percentile_position median = locate_percentile(total, summary_quantiles[0]);
    add(true, median.lo);
    add(true, median.hi);
    return wanted;
}

}  // namespace

percentile_search start_percentile_search(std::uint64_t total) {
    percentile_search search;
    search.total = total;
    if (total == 0) return search;
    for (const wanted_rank& w : wanted_ranks(total)) {
        percentile_search::target t;
        t.weighted = w.weighted;
        t.rank = w.rank;
        t.search.rank = w.rank;
        t.sharing = total;
        search.targets.push_back(t);
    }
    return search;
}

int count_percentile_pass(const percentile_search& search, const mass_store& store,
                          std::vector<std::uint64_t>& counts, unsigned threads) {
    counts.assign(search.targets.size() * select_digit_values, 0);
    if (store.error != 0) return store.error;
    if (search.targets.empty()) return 0;
    const int known_bits = search.targets.front().search.known_bits;
    for (const auto& t : search.targets) {
        if (t.search.known_bits != known_bits || known_bits >= 64) {
            throw std::logic_error("the percentile searches are not at the same digit");
        }
    }
    // Searches of one list that know the same bits count the same keys:
    // each such group is counted once, into its first search's counts.
    std::vector<std::size_t> counted_as(search.targets.size());
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        counted_as[i] = i;
        for (std::size_t j = 0; j < i; ++j) {
            const auto& a = search.targets[i];
            const auto& b = search.targets[j];
            if (a.weighted == b.weighted && a.search.prefix == b.search.prefix) {
                counted_as[i] = j;
                break;
            }
        }
    }
    // Each part counts into counts of its own (part 0 into counts), added
    // up at the end.
    const unsigned parts = percentile_parts(store, threads);
    std::vector<std::vector<std::uint64_t>> part_counts(parts - 1);
    const auto counts_of = [&](unsigned part) {
        if (part == 0) return counts.data();
        std::vector<std::uint64_t>& mine = part_counts[part - 1];
        if (mine.empty()) mine.assign(counts.size(), 0);
        return mine.data();
    };
    const auto add_parts = [&] {
        for (const std::vector<std::uint64_t>& mine : part_counts) {
            for (std::size_t j = 0; j < mine.size(); ++j) counts[j] += mine[j];
        }
    };
    if (known_bits != 0) {
        const int error = visit_masses_in_parts(store, parts, [&](unsigned part, bool weighted, const double* values,
                                                                  std::size_t count) {
            std::uint64_t* const mine = counts_of(part);
            for (std::size_t i = 0; i < search.targets.size(); ++i) {
                const auto& t = search.targets[i];
                if (t.weighted == weighted && counted_as[i] == i) {
                    count_next_digit(values, count, t.search, mine + i * select_digit_values);
                }
            }
        });
        add_parts();
        for (std::size_t i = 0; i < search.targets.size(); ++i) {
            const auto from = counts.begin() + static_cast<std::ptrdiff_t>(counted_as[i] * select_digit_values);
            if (counted_as[i] != i) {
                std::copy(from, from + static_cast<std::ptrdiff_t>(select_digit_values),
                          counts.begin() + static_cast<std::ptrdiff_t>(i * select_digit_values));
            }
        }
        return error;
    }
    // The leading digits are the same for every search of a list: those of
    // the masses on file were counted as they went there, those in memory
    // are counted once here, a slice a part, into the counts of the first
    // search of each list.
    std::size_t first_of[2] = {search.targets.size(), search.targets.size()};
    for (std::size_t i = search.targets.size(); i-- > 0;) first_of[search.targets[i].weighted ? 1 : 0] = i;
    const std::size_t length = store.uniform.size();
    run_in_parts(parts, [&](unsigned part) {
        std::uint64_t* const mine = counts_of(part);
        const std::size_t from = length / parts * part + std::min<std::size_t>(part, length % parts);
        const std::size_t count = length / parts + (part < length % parts ? 1 : 0);
        for (const bool weighted : {false, true}) {
            const std::size_t first = first_of[weighted ? 1 : 0];
            if (first == search.targets.size()) continue;
            const std::vector<double>& in_memory = weighted ? store.weighted : store.uniform;
            count_next_digit(in_memory.data() + from, count, rank_search{}, mine + first * select_digit_values);
        }
    });
    add_parts();
    for (const bool weighted : {false, true}) {
        const std::size_t first = first_of[weighted ? 1 : 0];
        if (first == search.targets.size()) continue;
        const std::vector<std::uint64_t>& on_file = weighted ? store.weighted_digits : store.uniform_digits;
        const auto row = counts.begin() + static_cast<std::ptrdiff_t>(first * select_digit_values);
        for (std::size_t d = 0; d < on_file.size(); ++d) row[static_cast<std::ptrdiff_t>(d)] += on_file[d];
        for (std::size_t i = first + 1; i < search.targets.size(); ++i) {
            if (search.targets[i].weighted != weighted) continue;
            std::copy(row, row + static_cast<std::ptrdiff_t>(select_digit_values),
                      counts.begin() + static_cast<std::ptrdiff_t>(i * select_digit_values));
        }
    }
    return 0;
}

void take_percentile_pass(percentile_search& search, const std::vector<std::uint64_t>& total_counts) {
    if (total_counts.size() < search.targets.size() * select_digit_values) {
        throw std::invalid_argument("too few counts for the percentile searches");
    }
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        rank_search& s = search.targets[i].search;
        const std::uint64_t* counts = total_counts.data() + i * select_digit_values;
        const int shift = 64 - s.known_bits - select_digit_bits;
        take_next_digit(s, counts);
        search.targets[i].sharing = counts[(s.prefix >> shift) & (select_digit_values - 1)];
    }
}

summary_percentiles finish_percentile_search(const percentile_search& search) {
    summary_percentiles result;
    if (search.total == 0) {
        const double none = empty_list_percentile();
        return {none, none, none, none};
    }
    const auto value_at = [&](bool weighted, std::uint64_t rank) {
        for (const auto& t : search.targets) {
            if (t.weighted == weighted && t.rank == rank) return found_value(t.search);
        }
        throw std::logic_error("a percentile rank was not searched");
    };
    const auto quantile = [&](bool weighted, double q) {
        const percentile_position at = locate_percentile(search.total, q);
        return interpolate_percentile(at, value_at(weighted, at.lo), value_at(weighted, at.hi));
    };
    result.median_uniform = quantile(false, summary_quantiles[0]);
    result.p10_uniform = quantile(false, summary_quantiles[1]);
    result.p90_uniform = quantile(false, summary_quantiles[2]);
    result.median_weighted = quantile(true, summary_quantiles[0]);
    return result;
}


namespace {

// The keys of one list that share a prefix, gathered in one pass: each part
// gathers a block's keys by itself and then copies them to the next free
// places, so that the keys take no more room than their expected count.
struct key_group {
    bool weighted = false;
    std::uint64_t prefix = 0;
    std::uint64_t expected = 0;
    std::vector<std::uint64_t> keys;
    std::unique_ptr<std::atomic<std::uint64_t>> filled = std::make_unique<std::atomic<std::uint64_t>>(0);
};

// Settles every search in one pass over the store, when the keys sharing
// their known bits (one group per list and prefix, however many searches
// share it) number at most limit in all: the groups are gathered and each
// rank selected among its group's keys. settled tells whether it did so.
// Returns 0 or the errno value of a failed read.
int collect_percentile_ranks(percentile_search& search, const mass_store& store, std::uint64_t limit,
                             unsigned threads, bool& settled) {
    settled = false;
    std::vector<key_group> groups;
    std::vector<std::size_t> group_of(search.targets.size());
    std::uint64_t wanted = 0;
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        const auto& t = search.targets[i];
        std::size_t g = 0;
        while (g < groups.size() && (groups[g].weighted != t.weighted || groups[g].prefix != t.search.prefix)) ++g;
        if (g == groups.size()) {
            groups.push_back({t.weighted, t.search.prefix, t.sharing, {}});
            wanted += t.sharing;
            if (wanted > limit) return 0;
        }
        group_of[i] = g;
    }
    if (groups.empty()) return 0;
    const int known_bits = search.targets.front().search.known_bits;
    const int known_shift = 64 - known_bits;
    for (key_group& g : groups) g.keys.resize(static_cast<std::size_t>(g.expected));
    const unsigned parts = percentile_parts(store, threads);
    std::vector<std::vector<std::uint64_t>> gathered(parts);
    const int error = visit_masses_in_parts(store, parts, [&](unsigned part, bool weighted, const double* values,
                                                              std::size_t count) {
        std::vector<std::uint64_t>& mine = gathered[part];
        for (key_group& g : groups) {
            if (g.weighted != weighted) continue;
            const std::uint64_t want = known_bits == 0 ? 0 : g.prefix >> known_shift;
            mine.clear();
            for (std::size_t j = 0; j < count; ++j) {
                const std::uint64_t key = order_key(values[j]);
                if (known_bits == 0 || (key >> known_shift) == want) mine.push_back(key);
            }
            const std::uint64_t at = g.filled->fetch_add(mine.size());
            // More keys than the counts said: reported below, never written.
            if (at + mine.size() <= g.expected) std::copy(mine.begin(), mine.end(), g.keys.begin() + static_cast<std::ptrdiff_t>(at));
        }
    });
    if (error != 0) return error;
    for (const key_group& g : groups) {
        if (g.filled->load() != g.expected) throw std::logic_error("the masses changed between the percentile passes");
    }
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        rank_search& s = search.targets[i].search;
        std::vector<std::uint64_t>& keys = groups[group_of[i]].keys;
        const auto at = keys.begin() + static_cast<std::ptrdiff_t>(s.rank);
        std::nth_element(keys.begin(), at, keys.end());
        s.prefix = *at;
        s.known_bits = 64;
        s.rank = 0;
    }
    settled = true;
    return 0;
}

}  // namespace

int find_summary_percentiles(mass_store& store, summary_percentiles& percentiles, unsigned threads) {
    if (store.error != 0) return store.error;
    // With the buffer's memory free, the keys of up to twice its pairs fit
    // in its place. Masses all in memory keep theirs: the keys gathered
    // there stay within an eighth of the masses (or 2^16), at the price of
    // more passes over them when the leading digits leave more to share.
    const bool in_memory = store.on_file == 0;
    if (const int error = put_all_masses_on_file(store); error != 0) return error;
    const std::uint64_t limit = in_memory ? std::max<std::uint64_t>(2 * mass_count(store) / 8, 65536)
                                          : 2 * store.budget;
    percentile_search search = start_percentile_search(mass_count(store));
    std::vector<std::uint64_t> counts;
    int error = 0;
    for (int pass = 0; pass < select_passes && error == 0; ++pass) {
        stop_if_requested();
        if (pass > 0) {
            bool settled = false;
            error = collect_percentile_ranks(search, store, limit, threads, settled);
            if (settled || error != 0) break;
        }
        error = count_percentile_pass(search, store, counts, threads);
        if (error == 0) take_percentile_pass(search, counts);
    }
    if (error != 0) {
        store.error = error;
        return error;
    }
    stop_if_requested();
    percentiles = finish_percentile_search(search);
    return 0;
}

}  // namespace erdos
