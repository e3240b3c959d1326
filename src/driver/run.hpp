// Running the whole experiment from the command line: phases, messages and exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/run_config.hpp"
#include "walks/walk_choice.hpp"

namespace erdos {

// Runs the whole experiment for config: the walk over the examined primes with
// one results row each, the summary, and the closing line on err. Returns the
// exit status: 0 when every examined prime was covered and verified, 2 when
// the run finished otherwise, 1 when an output file could not be written
// (after a message on err), 128 + the signal number when SIGINT, SIGTERM or
// SIGHUP stopped it (after "interrupted" on err). Both files are written
// beside their targets and renamed over them only when the status is 0 or 2;
// otherwise, exceptions included, the targets stay as they were and no
// temporary file remains, except after a signal: then the rows written so
// far and their checkpoint record stay beside a regular results file for
// config.resume. With config.resume the run continues from such rows, or is
// refused (status 1, every file untouched) when they cannot be continued.
// Targets that are no regular files are written directly. The three signals
// are caught only while it runs.
int run_experiment(const run_config& config, std::FILE* err, scan_engine engine = scan_engine::fast);

// Prints the --help text or the --version line of `program` on out. Returns
// 0, or 1 after a message on err when out cannot be written.
int print_help_or_version(command_action action, std::FILE* out, std::FILE* err, const char* program);

// The message for a command line that parse_command_line refused.
void print_argument_error(const std::string& error, std::FILE* err, const char* program);

// Called in a catch block: the message for the exception being handled
// (memory exhaustion, or an internal error with its description).
void print_caught_exception(std::FILE* err, const char* program);

// The whole program behind main: reads the arguments (without the program
// name), prints help, version or an argument error, or runs the experiment.
// Catches every exception, memory exhaustion included, and turns it into a
// message and exit status 1.
int erdos_main(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace erdos
