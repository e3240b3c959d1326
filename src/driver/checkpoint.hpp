// Durable points of a run's results file, recorded beside it so that a killed run can be continued.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "driver/run_config.hpp"
#include "driver/prime_walk.hpp"
#include "report/output_file.hpp"
#include "report/progress_record.hpp"
#include "report/staged_output.hpp"

namespace erdos {

// The rows a run has handed to its kept results file, and the last point
// of them that is durable and recorded.
struct checkpoint_state {
    bool active = false;       // this run keeps a record for its results file
    bool intact = true;        // false once a write failed: the counts no longer say what the file holds
    std::string record_path;
    progress_record recorded;  // the configuration and the point last recorded
    std::uint64_t bytes = 0;   // the header and rows handed to the file, in order
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    int fd = -1;               // the kept file, a descriptor of its own, which also holds its lock
    std::chrono::steady_clock::time_point due;
    std::chrono::milliseconds interval{0};
};

// The record of config with nothing durable yet.
progress_record record_of(const run_config& config);

// Starts recording the results of a staged output whose kept file now holds
// exactly the durable point of `from` (which must be of this run's
// configuration); the first point is due one interval from now. Returns 0 or
// an errno value.
int start_checkpoints(checkpoint_state& state, const staged_output& results, const progress_record& from);

// Counts the header, handed to the file.
void note_header(checkpoint_state& state, std::uint64_t bytes);

// Counts a chunk's rows, handed to the file.
void note_rows(checkpoint_state& state, const prime_chunk& chunk);

// Makes everything counted durable and records it: the file's pending bytes
// flushed, the file synced, then the record replaced. Nothing to do when
// nothing new was counted, or when the state is not active. Returns 0 or an
// errno value; after a failure the state is no longer intact.
int make_checkpoint(checkpoint_state& state, output_file& file);

// make_checkpoint, when the interval since the last point has passed.
int checkpoint_if_due(checkpoint_state& state, output_file& file);

// Ends the recording: the record is removed unless keep is set, then the
// lock goes. Safe to repeat, and on a state never started.
void end_checkpoints(checkpoint_state& state, bool keep);

}  // namespace erdos
