// Radix searches for the summary's percentile ranks, pass by pass, and the interpolation at the end.
#include "stats/distributed_percentile.hpp"

#include <algorithm>
#include <stdexcept>

#include "stats/percentile.hpp"

namespace erdos {

namespace {

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
        search.targets.push_back(t);
    }
    return search;
}

void count_percentile_pass(const percentile_search& search, const std::vector<double>& uniform,
                           const std::vector<double>& weighted, std::vector<std::uint64_t>& counts) {
    counts.assign(search.targets.size() * select_digit_values, 0);
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        const auto& t = search.targets[i];
        count_next_digit(t.weighted ? weighted : uniform, t.search, counts.data() + i * select_digit_values);
    }
}

void take_percentile_pass(percentile_search& search, const std::vector<std::uint64_t>& total_counts) {
    if (total_counts.size() < search.targets.size() * select_digit_values) {
        throw std::invalid_argument("too few counts for the percentile searches");
    }
    for (std::size_t i = 0; i < search.targets.size(); ++i) {
        take_next_digit(search.targets[i].search, total_counts.data() + i * select_digit_values);
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

}  // namespace erdos
