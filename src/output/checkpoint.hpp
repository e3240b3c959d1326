// Checkpoints of a run's results file, recorded beside it so that a killed run can be continued.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "output/checkpoint_record.hpp"
#include "output/output_file.hpp"
#include "output/staged_output.hpp"
#include "stats/prime_chunk.hpp"

namespace erdos {

// The rows a run has handed to its kept results file, and the last point of
// them that is durable and recorded. The periodic points are synced and
// recorded by a thread of their own, so that the scan never waits for the
// disk; the writing thread only hands its pending rows to the system.
struct checkpoint_state {
    bool active = false;       // this run keeps a record for its results file
    bool intact = true;        // false once a write failed: the counts no longer say what the file holds
    std::string record_path;
    std::uint64_t bytes = 0;   // the header and rows handed to the file, in order
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    std::uint32_t crc = 0;     // the CRC-32C of those bytes
    int fd = -1;               // the kept file, a descriptor of its own, which also holds its lock
    std::chrono::steady_clock::time_point due;
    std::chrono::milliseconds interval{0};

    // Shared with the syncing thread, under mutex.
    std::mutex mutex;
    std::condition_variable wake;
    checkpoint_record recorded;  // the configuration and the point last recorded
    checkpoint_record requested; // the point the thread is to sync next
    bool has_request = false;  // set until the thread has synced `requested`
    bool stopping = false;
    int sync_error = 0;        // the first failure of the thread
    std::thread syncer;

    checkpoint_state() = default;
    checkpoint_state(const checkpoint_state&) = delete;
    checkpoint_state& operator=(const checkpoint_state&) = delete;
    ~checkpoint_state();  // ends the recording as end_checkpoints(state, true) does
};

// Starts recording the results of a staged output whose kept file now holds
// exactly the checkpoint of `from` (which must be of this run's
// configuration, its checksum that of the kept bytes); the first point is due
// one interval from now. Returns 0 or an errno value.
int start_checkpoints(checkpoint_state& state, const staged_output& results, const checkpoint_record& from);

// Counts the header, handed to the file.
void note_header(checkpoint_state& state, std::string_view header);

// Counts a chunk's rows, handed to the file.
void note_rows(checkpoint_state& state, const prime_chunk& chunk);

// Sets the counts to what the file holds now, when others wrote into it too
// (the rows of every process of a run): `bytes` in all, `rows` rows, the
// last of them for last_p (left as it was when rows did not grow);
// added_crc is the CRC-32C of the bytes added since the counts before.
void note_written(checkpoint_state& state, std::uint64_t bytes, std::int64_t rows, std::int64_t last_p,
                  std::uint32_t added_crc);

// After a failed write: the counts no longer say what the file holds, and no
// checkpoint is made from them.
void note_write_failure(checkpoint_state& state);

// The last checkpoint recorded (the configuration with nothing durable when
// there was none).
checkpoint_record recorded_checkpoint(checkpoint_state& state);

// Whether the interval since the last checkpoint has passed; and the next
// one put an interval from now. For callers that make their checkpoints
// themselves (make_checkpoint) rather than through checkpoint_if_due.
bool checkpoint_due(const checkpoint_state& state);
void schedule_checkpoint(checkpoint_state& state);

// When the interval since the last point has passed and the syncing thread
// is free: hands the file's pending bytes to the system and asks the thread
// to sync the file and record what was counted. Returns 0 or an errno value,
// also one the thread met since the last call; after a failure the state is
// no longer intact.
int checkpoint_if_due(checkpoint_state& state, output_file& file);

// The same at once, on the calling thread, once the syncing thread has
// finished: everything counted made durable and recorded. Nothing to do when
// nothing new was counted, or when the state is not active or not intact.
// Returns 0 or an errno value.
int make_checkpoint(checkpoint_state& state, output_file& file);

// Ends the recording: the syncing thread finishes, the record is removed
// unless keep is set, then the lock goes. Safe to repeat, and on a state never
// started.
void end_checkpoints(checkpoint_state& state, bool keep);

}  // namespace erdos
