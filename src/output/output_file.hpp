// Output files written through a buffer, with every failure reported as an errno value.
#pragma once

#include <cstdio>
#include <string>

namespace erdos {

// A file written through an in-memory buffer, with every failure reported as
// an errno value (0 for success) instead of being lost in a stream state.
struct output_file {
    std::FILE* stream = nullptr;
    std::string pending;       // bytes not yet handed to the system
    bool sync_on_close = false;  // closing also makes the bytes durable (fsync)
};

// Creates or truncates path for writing.
int open_output_file(output_file& file, const std::string& path);

// Hands the pending bytes to the system.
int flush_output_file(output_file& file);

// Hands the pending bytes and then `bytes` to the system, without copying
// `bytes` into the pending buffer.
int write_through(output_file& file, const std::string& bytes);

// Flushes, closes and reports the first failure of either. Safe on a file that
// never opened.
int close_output_file(output_file& file);

// Tells, without creating or truncating anything, whether path can be a file
// to write: ENOENT for an empty path or a missing directory, ENOTDIR when a
// part of the directory is not a directory, EISDIR when path names a directory.
// Permissions and free space only show when the file is written.
int check_output_path(const std::string& path);

}  // namespace erdos
