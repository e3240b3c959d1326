// Folding each examined prime into the run-wide aggregates.
#pragma once

#include "driver/run_records.hpp"

namespace erdos {

// Folds one examined prime into stats (everything but `processed`, which the
// walk counts before the scan). A covered prime raises `covered`, `verified`
// when its first witness passed, its least shift's histogram count and, on a
// strictly larger least shift, the maximum. Every prime adds its masses to the store and
// replaces a minimum only when strictly below it, so a NaN never becomes one.
void update_run_stats(run_stats& stats, const prime_scan& scan, bool witness_verified);

}  // namespace erdos
