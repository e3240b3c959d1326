// Temporary files beside the targets, renamed over them when the run is finished.
#include "output/staged_output.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace erdos {

namespace {

namespace fs = std::filesystem;

constexpr int max_link_hops = 40;

// Follows the symbolic links of path, so that the rename replaces the file a
// link points to rather than the link. through_descriptor is set when a link
// leads into /proc, where /dev/stdout and /dev/fd/N lead: such a name stands
// for an open descriptor, which a rename cannot replace.
int follow_links(const std::string& path, std::string& destination, bool& through_descriptor) {
    destination = path;
    through_descriptor = false;
    for (int hop = 0; hop < max_link_hops; ++hop) {
        struct stat status {};
        if (lstat(destination.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return 0;
        std::error_code ec;
        const fs::path link = fs::read_symlink(destination, ec);
        if (ec) return ec.value();
        destination = link.is_absolute() ? link.string() : (fs::path(destination).parent_path() / link).string();
        if (destination.starts_with("/proc/")) through_descriptor = true;
    }
    return ELOOP;
}

int close_descriptor(int& fd) {
    if (fd < 0) return 0;
    const int result = close(fd);
    fd = -1;
    return result == 0 ? 0 : errno;
}

mode_t creation_mode() {
    // The mode a plain open with 0666 would give, for a file made by mkstemp.
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Creates or opens "<destination>.erdos-partial", as it is, and locks it. A
// run that holds the lock is writing it; a file without a lock is left over
// from a run that was stopped or died, and is taken over. A link by that name
// is not followed, so that it cannot lead a later truncation elsewhere.
int create_kept(staged_output& output) {
    output.temporary = kept_file_name(output.destination);
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = open(output.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        output.created = fd >= 0;
        if (fd < 0 && errno == EEXIST) fd = open(output.temporary.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) return errno;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(fd);
            return error == EWOULDBLOCK ? EBUSY : error;
        }
        // The run that held the lock before may have renamed or removed the
        // file since it was opened here: the lock must be on the file that
        // has the name now.
        struct stat held {};
        struct stat named {};
        if (fstat(fd, &held) != 0 || stat(output.temporary.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            close(fd);
            continue;
        }
        output.descriptor = fd;
        output.lock = dup(fd);
        if (output.lock < 0) {
            const int error = errno;
            close_descriptor(output.descriptor);
            return error;
        }
        return 0;
    }
    return EBUSY;
}

// Makes the entries of the directory that holds path durable. A file
// system that cannot sync a directory (EINVAL) records renames at once.
int sync_directory_of(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    const fs::path directory = parent.empty() ? fs::path(".") : parent;
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = fsync(fd) != 0 && errno != EINVAL ? errno : 0;
    close(fd);
    return error;
}

// Creates ".<name>.erdos-XXXXXX" beside the destination, with the mode that
// the finished file is to have.
int create_unique(staged_output& output) {
    const fs::path destination(output.destination);
    std::string hidden = ".";
    hidden += destination.filename().string();
    hidden += ".erdos-XXXXXX";
    std::string name = (destination.parent_path() / hidden).string();
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    output.temporary = std::move(name);
    output.descriptor = fd;
    if (fchmod(fd, output.mode) != 0) {
        const int error = errno;
        unlink(output.temporary.c_str());
        close_descriptor(output.descriptor);
        return error;
    }
    return 0;
}

// path with "." and ".." resolved and the links of its existing directories
// followed; the file itself need not exist.
fs::path resolved_path(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(fs::path(path), ec);
    if (ec) return fs::path(path).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : resolved;
}

}  // namespace

bool same_staged_target(const staged_output& a, const staged_output& b) {
    return a.staged && b.staged && resolved_path(a.destination) == resolved_path(b.destination);
}

std::string kept_file_name(const std::string& destination) { return destination + ".erdos-partial"; }

int prepare_staged_output(staged_output& output, const std::string& path, stage_naming naming) {
    output = staged_output{};
    bool through_descriptor = false;
    if (const int error = follow_links(path, output.destination, through_descriptor); error != 0) return error;

    struct stat target {};
    const bool exists = stat(output.destination.c_str(), &target) == 0;
    if (through_descriptor || (exists && !S_ISREG(target.st_mode))) {
        output.destination = path;  // written directly, by the name given
        return 0;
    }
    if (exists && access(output.destination.c_str(), W_OK) != 0) return errno;
    // The finished file keeps the permissions of the one it replaces.
    output.mode = exists ? (target.st_mode & 0777) : creation_mode();
    output.staged = true;

    if (naming == stage_naming::unique) {
        // Made and removed at once, to learn whether the directory takes
        // it; made again only to be written, so that a run killed outright
        // cannot leave one of these ever-new names behind.
        const int error = create_unique(output);
        if (error == 0) {
            unlink(output.temporary.c_str());
            close_descriptor(output.descriptor);
        }
        output.temporary.clear();
        return error;
    }
    if (const int error = create_kept(output); error != 0) {
        output.temporary.clear();
        return error;
    }
    output.keep_on_discard = true;
    return 0;  // the permissions follow when the file is cut
}

int keep_staged_prefix(staged_output& output, std::uint64_t length) {
    if (output.descriptor < 0) return EBADF;
    const auto offset = static_cast<off_t>(length);
    if (ftruncate(output.descriptor, offset) != 0 || lseek(output.descriptor, offset, SEEK_SET) != offset ||
        fchmod(output.descriptor, output.mode) != 0) {
        return errno;
    }
    output.keep_on_discard = false;
    return 0;
}

int open_staged_output(staged_output& output, output_file& file) {
    if (!output.staged) return open_output_file(file, output.destination);
    if (output.temporary.empty()) {
        if (const int error = create_unique(output); error != 0) {
            output.temporary.clear();
            return error;
        }
    }
    errno = 0;
    file.stream = fdopen(output.descriptor, "w");
    if (file.stream == nullptr) return errno != 0 ? errno : EIO;
    output.descriptor = -1;  // the stream owns it now
    std::setvbuf(file.stream, nullptr, _IONBF, 0);
    file.sync_on_close = true;  // durable before it is renamed over the target
    return 0;
}

int commit_staged_output(staged_output& output) {
    if (output.temporary.empty()) return 0;
    // The file's bytes durable first (written through a descriptor still
    // held here, as by the processes of an MPI run; a stream syncs on
    // closing), then the rename, then the directory that records it: a crash
    // at any moment leaves the old target or the new one, whole.
    const int held = output.descriptor >= 0 ? output.descriptor : output.lock;
    int error = held >= 0 && fsync(held) != 0 ? errno : 0;
    if (const int closed = close_descriptor(output.descriptor); error == 0) error = closed;
    if (error == 0 && std::rename(output.temporary.c_str(), output.destination.c_str()) != 0) error = errno;
    if (error != 0) unlink(output.temporary.c_str());
    output.temporary.clear();
    close_descriptor(output.lock);
    if (error == 0) error = sync_directory_of(output.destination);
    return error;
}

void release_staged_output(staged_output& output, output_file& file) {
    close_output_file(file);
    close_descriptor(output.descriptor);
    output.temporary.clear();
    close_descriptor(output.lock);
}

void discard_staged_output(staged_output& output, output_file& file) {
    if (output.keep_on_discard) {
        // Made empty by this run, which stopped before it wrote anything:
        // nothing to keep, and no file to leave behind.
        if (output.created && !output.temporary.empty()) unlink(output.temporary.c_str());
        release_staged_output(output, file);
        return;
    }
    file.sync_on_close = false;  // the bytes are thrown away
    close_output_file(file);
    close_descriptor(output.descriptor);
    if (!output.temporary.empty()) unlink(output.temporary.c_str());
    output.temporary.clear();
    close_descriptor(output.lock);
}

}  // namespace erdos
