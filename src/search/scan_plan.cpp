// Building the fast scan's plan for a run.
#include "search/scan_plan.hpp"

#include <algorithm>
#include <stdexcept>

#include "search/below_count.hpp"
#include "search/shift_list.hpp"

namespace erdos {

scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes,
                         std::int32_t list_max) {
    if (list_max < 127) throw std::invalid_argument("make_scan_plan: shifts below 128 weigh more than 1");
    scan_plan plan;
    shift_table shifts = build_shift_list(std::min(c_max, list_max));
    plan.shift_list = std::move(shifts.shift_list);
    plan.shift_count = count_shifts(c_max);
    // Every shift above the list weighs 1.
    plan.weight_total =
        shifts.weight_total + static_cast<std::int64_t>(plan.shift_count - plan.shift_list.size());
    if (plan.shift_count > plan.shift_list.size()) {
        plan.high_first = plan.shift_list.empty() ? 3 : plan.shift_list.back() + 4;
        plan.high_last = static_cast<std::int32_t>(3 + 4 * static_cast<std::int64_t>(plan.shift_count - 1));
    }
    plan.residues = build_shift_residues(plan.shift_list, sieving_primes);
    plan.all_logs = std::all_of(plan.residues.begin(), plan.residues.end(),
                                [](const shift_residues& s) { return s.has_logs; });
    set_sweep_tables(plan);
    return plan;
}

void set_sweep_tables(scan_plan& plan) {
    plan.by_m.clear();
    plan.inverses.clear();
    const bool untabled_beyond = !plan.residues.empty() && plan.residues.back().c > shift_residues::max_table_shift;
    for (const shift_residues& shift : plan.residues) {
        const bool by_m = shift.c <= shift_residues::max_counted_shift &&
                          (shift.c > shift_residues::max_table_shift || (untabled_beyond && !shift.has_logs));
        plan.by_m.push_back(by_m ? 1 : 0);
        plan.inverses.push_back(reciprocal_above(static_cast<std::uint32_t>(shift.c)));
    }
}

}  // namespace erdos
