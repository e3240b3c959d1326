// Files that no name leads to, for data that waits on disk instead of in memory while a run lasts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace erdos {

// An open descriptor, closed when its holder goes; moved, never copied.
struct owned_descriptor {
    int fd = -1;
    owned_descriptor() = default;
    owned_descriptor(const owned_descriptor&) = delete;
    owned_descriptor& operator=(const owned_descriptor&) = delete;
    owned_descriptor(owned_descriptor&& other) noexcept;
    owned_descriptor& operator=(owned_descriptor&& other) noexcept;
    ~owned_descriptor();
};

// $TMPDIR when it is set and not empty, else /tmp.
std::string temporary_directory();

// Opens a new file in directory, for reading and writing, that has no name
// from the moment it exists, so that nothing of it outlasts the process
// however the process ends. Returns 0 or an errno value.
int open_unnamed_file(const std::string& directory, owned_descriptor& file);

// Writes all of bytes[0 .. size) at the file's current position, or at
// offset when one is given; returns 0 or an errno value.
int write_all(int fd, const void* bytes, std::size_t size);
int write_all_at(int fd, const void* bytes, std::size_t size, std::uint64_t offset);

// Reads size bytes from offset; a file that ends before them is EIO.
// Returns 0 or an errno value.
int read_all_at(int fd, void* bytes, std::size_t size, std::uint64_t offset);

}  // namespace erdos
