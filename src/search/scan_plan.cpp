// Building the fast scan's plan for a run.
#include "search/scan_plan.hpp"

#include <algorithm>

#include "search/shift_list.hpp"

namespace erdos {

scan_plan make_scan_plan(std::int32_t c_max, const std::vector<std::int32_t>& sieving_primes) {
    scan_plan plan;
    shift_table shifts = build_shift_list(c_max);
    plan.shift_list = std::move(shifts.shift_list);
    plan.shift_count = plan.shift_list.size();
    plan.weight_total = shifts.weight_total;
    plan.residues = build_shift_residues(plan.shift_list, sieving_primes);
    plan.all_logs = std::all_of(plan.residues.begin(), plan.residues.end(),
                                [](const shift_residues& s) { return s.has_logs; });
    return plan;
}

}  // namespace erdos
