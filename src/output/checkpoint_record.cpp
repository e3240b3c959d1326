// Writing and reading the checkpoint record: text, atomic replacement, syncs.
#include "output/checkpoint_record.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

namespace erdos {

namespace {

// Format 2 adds the checksum of the durable bytes; format 1 is still read.
constexpr std::string_view record_tag = "erdos-straus progress 2\n";
constexpr std::string_view record_tag_without_crc = "erdos-straus progress 1\n";
constexpr std::string_view record_end = "end\n";
// The largest bound a run admits (2^62); a record beyond it is not one of ours.
constexpr std::int64_t max_bound = std::int64_t{1} << 62;
// A record is a few hundred bytes; anything much larger is not one.
constexpr std::size_t max_record_bytes = 4096;

template <typename Integer>
void add_line(std::string& out, std::string_view name, Integer value) {
    out += name;
    out += ' ';
    out += std::to_string(value);
    out += '\n';
}

// Reads the line "name value\n" at text[at...] into value and moves at past it.
template <typename Integer>
bool read_line(std::string_view text, std::size_t& at, std::string_view name, Integer& value) {
    const std::string_view rest = text.substr(at);
    if (!rest.starts_with(name) || rest.size() <= name.size() || rest[name.size()] != ' ') return false;
    const char* first = rest.data() + name.size() + 1;
    const char* last = rest.data() + rest.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end == first || end == last || *end != '\n') return false;
    at += static_cast<std::size_t>(end - rest.data()) + 1;
    return true;
}

bool consistent(const checkpoint_record& r) {
    if (r.p_min < 0 || r.p_max > max_bound || r.p_min > r.p_max) return false;
    if (!r.has_p_min && r.p_min != 0) return false;
    if (r.rows < 0) return false;
    if (r.durable_bytes == 0 && r.crc32c != 0) return false;
    if (r.rows == 0) return r.last_p == 0;
    // Every row takes more than one byte, so rows < durable_bytes.
    return r.durable_bytes > static_cast<std::uint64_t>(r.rows) && r.last_p >= r.p_min && r.last_p <= r.p_max;
}

int sync_directory_of(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) directory = ".";
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = fsync(fd) == 0 ? 0 : errno;
    // Some file systems cannot sync a directory; their renames are as safe as they get.
    if (error == EINVAL) error = 0;
    close(fd);
    return error;
}

int write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

bool same_configuration(const checkpoint_record& a, const checkpoint_record& b) {
    return a.p_min == b.p_min && a.has_p_min == b.has_p_min && a.p_max == b.p_max && a.c_max == b.c_max;
}

std::string format_checkpoint_record(const checkpoint_record& record) {
    std::string out(record.has_crc ? record_tag : record_tag_without_crc);
    add_line(out, "p_min", record.p_min);
    add_line(out, "has_p_min", record.has_p_min ? 1 : 0);
    add_line(out, "p_max", record.p_max);
    add_line(out, "c_max", record.c_max);
    add_line(out, "durable_bytes", record.durable_bytes);
    add_line(out, "rows", record.rows);
    add_line(out, "last_p", record.last_p);
    if (record.has_crc) add_line(out, "crc32c", record.crc32c);
    out += record_end;
    return out;
}

bool parse_checkpoint_record(std::string_view text, checkpoint_record& record) {
    checkpoint_record r;
    r.has_crc = text.starts_with(record_tag);
    if (!r.has_crc && !text.starts_with(record_tag_without_crc)) return false;
    std::size_t at = record_tag.size();
    int has_p_min = 0;
    if (!read_line(text, at, "p_min", r.p_min) || !read_line(text, at, "has_p_min", has_p_min) ||
        !read_line(text, at, "p_max", r.p_max) || !read_line(text, at, "c_max", r.c_max) ||
        !read_line(text, at, "durable_bytes", r.durable_bytes) || !read_line(text, at, "rows", r.rows) ||
        !read_line(text, at, "last_p", r.last_p) || (r.has_crc && !read_line(text, at, "crc32c", r.crc32c))) {
        return false;
    }
    if (text.substr(at) != record_end || (has_p_min != 0 && has_p_min != 1)) return false;
    r.has_p_min = has_p_min == 1;
    // Only the canonical text is a record: no sign, no leading zeros.
    if (!consistent(r) || format_checkpoint_record(r) != text) return false;
    record = r;
    return true;
}

std::string checkpoint_record_name(const std::string& destination) { return destination + ".erdos-progress"; }

int write_checkpoint_record(const std::string& path, const checkpoint_record& record, bool durable) {
    const std::string temporary = path + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return errno;
    int error = write_all(fd, format_checkpoint_record(record));
    if (error == 0 && durable && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(temporary.c_str());
        return error;
    }
    return durable ? sync_directory_of(path) : 0;
}

int read_checkpoint_record(const std::string& path, checkpoint_record& record) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ELOOP ? EINVAL : errno;
    std::string text;
    char block[1024];
    int error = 0;
    while (text.size() <= max_record_bytes) {
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (got == 0) break;
        text.append(block, static_cast<std::size_t>(got));
    }
    close(fd);
    if (error != 0) return error;
    return parse_checkpoint_record(text, record) ? 0 : EINVAL;
}

void remove_checkpoint_record(const std::string& path) {
    unlink(path.c_str());
    unlink((path + ".new").c_str());
}

}  // namespace erdos
