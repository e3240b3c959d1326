// Making the rows written so far durable, and recording how far they go.
#include "driver/checkpoint.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tuning.hpp"

namespace erdos {

namespace {

using clock = std::chrono::steady_clock;

std::chrono::milliseconds checkpoint_interval() {
    // For tests, which must see points within a short run.
    if (const char* text = std::getenv("ERDOS_STRAUS_CHECKPOINT_MS"); text != nullptr) {
        char* end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && ms > 0) return std::chrono::milliseconds(ms);
    }
    return std::chrono::milliseconds(tuning::checkpoint_interval_ms);
}

}  // namespace

progress_record record_of(const run_config& config) {
    progress_record record;
    record.p_min = config.p_min;
    record.has_p_min = config.has_p_min;
    record.p_max = config.p_max;
    record.c_max = config.c_max;
    return record;
}

int start_checkpoints(checkpoint_state& state, const staged_output& results, const progress_record& from) {
    end_checkpoints(state, true);
    state = checkpoint_state{};
    state.fd = fcntl(results.descriptor, F_DUPFD_CLOEXEC, 0);
    if (state.fd < 0) return errno;
    state.active = true;
    state.record_path = progress_record_name(results.destination);
    state.recorded = from;
    state.bytes = from.durable_bytes;
    state.rows = from.rows;
    state.last_p = from.last_p;
    state.interval = checkpoint_interval();
    state.due = clock::now() + state.interval;
    return 0;
}

void note_header(checkpoint_state& state, std::uint64_t bytes) { state.bytes += bytes; }

void note_rows(checkpoint_state& state, const prime_chunk& chunk) {
    if (chunk.scans.empty()) return;
    state.bytes += chunk.rows.size();
    state.rows += static_cast<std::int64_t>(chunk.scans.size());
    state.last_p = chunk.scans.back().p;
}

int make_checkpoint(checkpoint_state& state, output_file& file) {
    if (!state.active || !state.intact || state.bytes == state.recorded.durable_bytes) return 0;
    int error = flush_output_file(file);
    if (error == 0 && fdatasync(state.fd) != 0) error = errno;
    if (error == 0) {
        progress_record point = state.recorded;
        point.durable_bytes = state.bytes;
        point.rows = state.rows;
        point.last_p = state.last_p;
        error = write_progress_record(state.record_path, point);
        if (error == 0) state.recorded = point;
    }
    if (error != 0) state.intact = false;
    state.due = clock::now() + state.interval;
    return error;
}

int checkpoint_if_due(checkpoint_state& state, output_file& file) {
    if (!state.active || clock::now() < state.due) return 0;
    return make_checkpoint(state, file);
}

void end_checkpoints(checkpoint_state& state, bool keep) {
    if (state.active && !keep) remove_progress_record(state.record_path);
    state.active = false;
    if (state.fd >= 0) close(state.fd);
    state.fd = -1;
}

}  // namespace erdos
