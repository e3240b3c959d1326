// Unnamed files: made by O_TMPFILE where the file system has it, else made and unlinked at once.
#include "stats/unnamed_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace erdos {

owned_descriptor::owned_descriptor(owned_descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }

owned_descriptor& owned_descriptor::operator=(owned_descriptor&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

owned_descriptor::~owned_descriptor() {
    if (fd >= 0) close(fd);
}

std::string temporary_directory() {
    const char* tmpdir = std::getenv("TMPDIR");
    return tmpdir != nullptr && *tmpdir != '\0' ? std::string(tmpdir) : std::string("/tmp");
}

int open_unnamed_file(const std::string& directory, owned_descriptor& file) {
    const int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        file.fd = fd;
        return 0;
    }
    // Without O_TMPFILE the call fails with one of these, and with anything
    // else for a reason that mkstemp would meet as well.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    std::string name = directory + "/.erdos-straus-XXXXXX";
    const int named = mkostemp(name.data(), O_CLOEXEC);
    if (named < 0) return errno;
    file.fd = named;
    return unlink(name.c_str()) == 0 ? 0 : errno;
}

namespace {

// Writes through write (offset < 0) or pwrite, resuming after short writes.
int write_loop(int fd, const void* bytes, std::size_t size, std::int64_t offset) {
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t wrote = offset < 0 ? write(fd, at, size) : pwrite(fd, at, size, static_cast<off_t>(offset));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (wrote == 0) return EIO;
        at += wrote;
        size -= static_cast<std::size_t>(wrote);
        if (offset >= 0) offset += wrote;
    }
    return 0;
}

}  // namespace

int write_all(int fd, const void* bytes, std::size_t size) { return write_loop(fd, bytes, size, -1); }

int write_all_at(int fd, const void* bytes, std::size_t size, std::uint64_t offset) {
    return write_loop(fd, bytes, size, static_cast<std::int64_t>(offset));
}

int read_all_at(int fd, void* bytes, std::size_t size, std::uint64_t offset) {
    char* at = static_cast<char*>(bytes);
    while (size > 0) {
        const ssize_t got = pread(fd, at, size, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return EIO;
        at += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return 0;
}

}  // namespace erdos
