// A run's two outputs while they are written, and what becomes of them when the run ends.
#pragma once

#include <cstdio>
#include <string>

#include "driver/run_config.hpp"
#include "driver/status_line.hpp"
#include "stats/run_stats.hpp"

#include "output/checkpoint.hpp"
#include "output/output_file.hpp"
#include "output/staged_output.hpp"

namespace erdos {

// The two outputs of a run and their files while they are written.
struct run_outputs {
    staged_output results;
    staged_output summary;
    output_file results_file;
    output_file summary_file;
    checkpoint_state checkpoints;  // the checkpoints of a results file kept in place
};

// After a finished run (the temporary files are renamed by then) or a failed
// one: nothing of it stays, its checkpoint record included. Rows kept by a run
// before this one, which this one did not take over, stay as they were.
void discard_outputs(run_outputs& outputs);

// After a signal: what the results file holds is made durable and recorded
// once more, if it can be, and the file and its record stay for --resume.
// Returns true when they stay.
bool keep_outputs_for_resume(run_outputs& outputs, bool resuming);

// Why an output could not be prepared: the errno value's text, or for EBUSY
// that another run holds the kept temporary file.
std::string file_error_text(int error, const staged_output& output);

// The end of a finished run, once both files are written (summary_error is
// the summary's write error, or 0): the results renamed into place first,
// then the summary, so that with one path for both the summary is what
// stays, as when the files were written in place. Prints a failure (as
// "PROGRAM: cannot write ...") and, unless the results could not be put in
// place, the closing line of stats. Returns the exit status: 1 after a
// failure, else 0 when every examined prime was covered and verified, 2
// otherwise.
int put_outputs_in_place(run_outputs& outputs, const run_config& config, const run_stats& stats, int summary_error,
                         status_line& progress, std::FILE* err, const char* program);

// The message for an output that cannot be written, on a clean line.
void print_file_error(status_line& progress, std::FILE* err, const char* program, const char* what,
                      const std::string& path, const std::string& why);

// The message for a --resume that is refused, on a clean line.
void print_resume_refusal(status_line& progress, std::FILE* err, const char* program, const std::string& path,
                          const std::string& why);

// The last message of a run that a signal stopped; kept: whether its rows
// stay for --resume.
void print_interrupted(std::FILE* err, const char* program, bool kept);

// The record of config with nothing durable yet.
checkpoint_record record_of(const run_config& config);

// Starts the checkpoints of a staged results file from the point `from`
// (a fresh start when it holds no bytes): the record of a fresh start is
// written before the kept file is cut back, so that a run killed in between
// leaves a pair that a resumed run still reads rightly. That record vouches
// for no rows and is not synced: a crash of the machine that loses it costs
// only the seconds before the first checkpoint. Returns 0 or an errno value.
int start_durable_points(run_outputs& outputs, const checkpoint_record& from);

}  // namespace erdos
