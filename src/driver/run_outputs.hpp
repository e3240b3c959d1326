// A run's two outputs while they are written, and what becomes of them when the run ends: the part both programs share.
#pragma once

#include <cstdio>
#include <string>

#include "driver/run_config.hpp"
#include "driver/run_fault.hpp"
#include "driver/status_line.hpp"
#include "output/checkpoint.hpp"
#include "output/checkpoint_record.hpp"
#include "output/output_file.hpp"
#include "output/staged_output.hpp"
#include "stats/run_stats.hpp"
#include "stats/summary_format.hpp"

namespace erdos {

// The two outputs of a run and their files while they are written. It owns
// them: whatever is still open or staged when it goes is discarded, so that a
// run that fails or throws leaves the targets as they were. A run that keeps
// its rows says so first (keep_outputs_for_resume).
struct run_outputs {
    staged_output results;
    staged_output summary;
    output_file results_file;
    output_file summary_file;
    checkpoint_state checkpoints;  // the checkpoints of a results file kept in place
    // The record primes and the profile, when asked for; written at the end,
    // put in place after the results and before the summary.
    staged_output records;
    staged_output profile;
    output_file records_file;
    output_file profile_file;

    run_outputs() = default;
    run_outputs(const run_outputs&) = delete;
    run_outputs& operator=(const run_outputs&) = delete;
    ~run_outputs();
};

// Checks both targets and prepares their temporary files before any work, so
// that a wrong path costs no waiting: the results beside their target with the
// kept naming (rows a stopped run kept there stay as they are until the run
// knows what to keep), the summary with a unique name. A --resume whose
// results target is no regular file is refused, and so are records or a
// profile that name the file of another output. Returns the fault, or none.
fault prepare_outputs(run_outputs& outputs, const run_config& config);

// After a finished run (the temporary files are renamed by then) or a failed
// one: nothing of it stays, its checkpoint record included. Rows kept by a run
// before this one, which this one did not take over, stay as they were.
void discard_outputs(run_outputs& outputs);

// After a signal: what the results file holds is made durable and recorded
// once more, if it can be, and the file and its record stay for --resume.
// Returns true when they stay.
bool keep_outputs_for_resume(run_outputs& outputs, bool resuming);

// Sets up the store of stats's masses for the run of config: its budget in
// memory, and where its unnamed file goes beyond it.
void set_up_masses(run_stats& stats, const run_config& config);

// The fault of the store's unnamed file of masses, which failed with error.
fault mass_file_fault(const mass_store& masses, int error);

// After a failure (exit status 1): when the results file is still kept
// beside its target and its checkpoint record vouches for at least one row,
// what the file holds is made durable and recorded once more, if it can be,
// and the file and its record stay for --resume, as after a signal;
// otherwise nothing of the run stays (discard_outputs). Returns the advice
// that ends the failure's message, "; the rows up to p = N are kept: run the
// same command with --resume" (with "free space and" before "run" when the
// failure's errno value, error, says the disk or a limit is full), or an
// empty text when nothing stays.
std::string keep_rows_after_failure(run_outputs& outputs, int error);

// The record of config with nothing durable yet.
checkpoint_record record_of(const run_config& config);

// Starts the checkpoints of a staged results file from the checkpoint `from`
// (a fresh start when it holds no bytes): the record of a fresh start is
// written before the kept file is cut back, so that a run killed in between
// leaves a pair that a resumed run still reads rightly. That record vouches
// for no rows and is not synced: a crash of the machine that loses it costs
// only the seconds before the first checkpoint. Returns 0 or an errno value.
int begin_checkpoints(run_outputs& outputs, const checkpoint_record& from);

// The summary of a finished run written into its staged file: stats with the
// percentiles found for it. Returns 0 or the errno value of the failed open,
// write or close.
int write_summary_output(run_outputs& outputs, const run_config& config, const run_stats& stats,
                         const summary_percentiles& percentiles);

// The end of a finished run, once both files are written (summary_error is
// the summary's write error, or 0): the results renamed into place first,
// then the records and the profile, then the summary, so that with one path
// for several files the last is what stays, as when the files were written
// in place. Prints a failure (as
// "PROGRAM: cannot write ...") and, unless the results could not be put in
// place, the closing line of stats. Returns the exit status: 1 after a
// failure, else 0 when every examined prime was covered and verified, 2
// otherwise.
int put_outputs_in_place(run_outputs& outputs, const run_config& config, const run_stats& stats, int summary_error,
                         status_line& status, std::FILE* err, const char* program);

}  // namespace erdos
