// What a run says on standard error when it fails, is refused, is stopped or ends: the same words from both programs.
#pragma once

#include <cstdio>
#include <string>

#include "driver/run_config.hpp"
#include "driver/run_fault.hpp"
#include "driver/status_line.hpp"
#include "output/staged_output.hpp"
#include "stats/run_stats.hpp"

namespace erdos {

// The message for an output that cannot be written, on a clean line.
void print_file_error(status_line& status, std::FILE* err, const char* program, const char* what,
                      const std::string& path, const std::string& why);

// The message for a --resume that is refused, on a clean line.
void print_resume_refusal(status_line& status, std::FILE* err, const char* program, const std::string& path,
                          const std::string& why);

// The message for any fault but a signal, on a clean line: a file fault or a
// refusal names the file of config and says why (the fault's text, else its
// errno value's); memory exhaustion and internal errors say that the outputs
// are not complete. advice (see keep_rows_after_failure) ends the line.
void print_fault(status_line& status, std::FILE* err, const char* program, const run_config& config,
                 const fault& failure, const std::string& advice = {});

// Called in a catch block: the exception being handled as a fault (memory
// exhaustion, or an internal error with its description).
fault current_exception_fault();

// The last message of a run that a signal stopped; kept: whether its rows
// stay for --resume.
void print_interrupted(std::FILE* err, const char* program, bool kept);

// The closing line of a finished run: its counts and its largest least shift.
void print_closing_line(std::FILE* err, const run_stats& stats);

// Why an output could not be prepared: the errno value's text, or for EBUSY
// that another run holds the kept temporary file.
std::string file_error_text(int error, const staged_output& output);

}  // namespace erdos
