// Making the rows written so far durable, and recording how far they go.
#include "output/checkpoint.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#include "output/crc32c.hpp"
#include "tuning.hpp"

namespace erdos {

namespace {

using clock = std::chrono::steady_clock;

std::chrono::milliseconds checkpoint_interval() {
    const std::uint64_t ms = tuning::setting_for_tests("ERDOS_STRAUS_CHECKPOINT_MS", tuning::checkpoint_interval_ms);
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min<std::uint64_t>(ms, INT32_MAX)));
}

// The data first, then the record that vouches for it.
int sync_and_record(int fd, const std::string& record_path, const checkpoint_record& point) {
    if (fdatasync(fd) != 0) return errno;
    try {
        return write_checkpoint_record(record_path, point);
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

void sync_requested_points(checkpoint_state& state) {
    std::unique_lock lock(state.mutex);
    while (true) {
        state.wake.wait(lock, [&] { return state.has_request || state.stopping; });
        if (!state.has_request) return;
        const checkpoint_record point = state.requested;
        lock.unlock();
        const int error = sync_and_record(state.fd, state.record_path, point);
        lock.lock();
        if (error == 0) {
            state.recorded = point;
        } else if (state.sync_error == 0) {
            state.sync_error = error;
        }
        state.has_request = false;
        state.wake.notify_all();
    }
}

// The point of what has been counted.
checkpoint_record counted_point(const checkpoint_state& state, const checkpoint_record& configuration) {
    checkpoint_record point = configuration;
    point.durable_bytes = state.bytes;
    point.rows = state.rows;
    point.last_p = state.last_p;
    point.has_crc = true;
    point.crc32c = state.crc;
    return point;
}

}  // namespace

int start_checkpoints(checkpoint_state& state, const staged_output& results, const checkpoint_record& from) {
    end_checkpoints(state, true);
    state.fd = fcntl(results.descriptor, F_DUPFD_CLOEXEC, 0);
    if (state.fd < 0) return errno;
    state.intact = true;
    state.record_path = checkpoint_record_name(results.destination);
    state.recorded = from;
    state.bytes = from.durable_bytes;
    state.rows = from.rows;
    state.last_p = from.last_p;
    state.crc = from.crc32c;
    state.interval = checkpoint_interval();
    state.due = clock::now() + state.interval;
    state.has_request = false;
    state.stopping = false;
    state.sync_error = 0;
    state.syncer = std::thread(sync_requested_points, std::ref(state));
    state.active = true;
    return 0;
}

void note_header(checkpoint_state& state, std::string_view header) {
    state.bytes += header.size();
    if (state.active) state.crc = crc32c_extend(state.crc, header);
}

void note_rows(checkpoint_state& state, const prime_chunk& chunk) {
    if (chunk.scans.empty()) return;
    state.bytes += chunk.rows.size();
    if (state.active) state.crc = crc32c_extend(state.crc, chunk.rows);  // nothing to vouch for otherwise
    state.rows += static_cast<std::int64_t>(chunk.scans.size());
    state.last_p = chunk.scans.back().p;
}

void note_written(checkpoint_state& state, std::uint64_t bytes, std::int64_t rows, std::int64_t last_p,
                  std::uint32_t added_crc) {
    if (rows > state.rows) state.last_p = last_p;
    state.crc = crc32c_combine(state.crc, added_crc, bytes - state.bytes);
    state.bytes = bytes;
    state.rows = rows;
}

void note_write_failure(checkpoint_state& state) { state.intact = false; }

checkpoint_record recorded_checkpoint(checkpoint_state& state) {
    std::lock_guard lock(state.mutex);
    return state.recorded;
}

bool checkpoint_due(const checkpoint_state& state) { return clock::now() >= state.due; }

void schedule_checkpoint(checkpoint_state& state) { state.due = clock::now() + state.interval; }

int checkpoint_if_due(checkpoint_state& state, output_file& file) {
    if (!state.active || !state.intact || clock::now() < state.due) return 0;
    {
        std::lock_guard lock(state.mutex);
        if (state.sync_error != 0) {
            state.intact = false;
            return state.sync_error;
        }
        // Still syncing the last point (a slow disk): the next chunk asks again.
        if (state.has_request || state.bytes == state.recorded.durable_bytes) return 0;
    }
    if (const int error = flush_output_file(file); error != 0) {
        state.intact = false;
        return error;
    }
    {
        std::lock_guard lock(state.mutex);
        state.requested = counted_point(state, state.recorded);
        state.has_request = true;
    }
    state.wake.notify_all();
    state.due = clock::now() + state.interval;
    return 0;
}

int make_checkpoint(checkpoint_state& state, output_file& file) {
    if (!state.active || !state.intact) return 0;
    std::unique_lock lock(state.mutex);
    state.wake.wait(lock, [&] { return !state.has_request; });
    if (state.sync_error != 0) return state.sync_error;
    if (state.bytes == state.recorded.durable_bytes) return 0;
    // The thread waits for a request: the descriptor and the record are this thread's now.
    const checkpoint_record point = counted_point(state, state.recorded);
    lock.unlock();
    int error = flush_output_file(file);
    if (error == 0) error = sync_and_record(state.fd, state.record_path, point);
    lock.lock();
    if (error == 0) state.recorded = point;
    return error;
}

checkpoint_state::~checkpoint_state() { end_checkpoints(*this, true); }

void end_checkpoints(checkpoint_state& state, bool keep) {
    if (state.syncer.joinable()) {
        {
            std::lock_guard lock(state.mutex);
            state.stopping = true;
        }
        state.wake.notify_all();
        state.syncer.join();
    }
    if (state.active && !keep) remove_checkpoint_record(state.record_path);
    state.active = false;
    if (state.fd >= 0) close(state.fd);
    state.fd = -1;
}

}  // namespace erdos
