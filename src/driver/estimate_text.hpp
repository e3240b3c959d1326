// The forecast of --estimate as text for a person, and printed.
#pragma once

#include <cstdio>
#include <string>

#include "driver/run_config.hpp"
#include "driver/run_estimate.hpp"

namespace erdos {

// The forecast as text for a person, a line each, ending in a line feed.
// free_results and free_masses are the bytes free where the results and the
// masses file would go, or negative when unknown.
std::string forecast_text(const run_config& config, const run_forecast& forecast, double free_results,
                          double free_masses);

// The whole of --estimate: the forecast of config printed on out. Returns 0,
// or 1 after a message on err when out cannot be written.
int print_run_estimate(const run_config& config, std::FILE* out, std::FILE* err, const char* program);

}  // namespace erdos
