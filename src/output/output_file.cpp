// Opening, writing, closing and checking the paths of output files.
#include "output/output_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace erdos {

namespace {
int last_error_or_eio() { return errno != 0 ? errno : EIO; }
}  // namespace

int open_output_file(output_file& file, const std::string& path) {
    errno = 0;
    file.stream = std::fopen(path.c_str(), "w");
    if (file.stream == nullptr) return last_error_or_eio();
    // The pending buffer already batches the writes; a second copy in stdio
    // would only cost time.
    std::setvbuf(file.stream, nullptr, _IONBF, 0);
    return 0;
}

int flush_output_file(output_file& file) {
    if (file.pending.empty()) return 0;
    if (file.stream == nullptr) return EBADF;
    errno = 0;
    const std::size_t written = std::fwrite(file.pending.data(), 1, file.pending.size(), file.stream);
    if (written != file.pending.size()) return last_error_or_eio();
    file.pending.clear();
    return 0;
}

int write_through(output_file& file, const std::string& bytes) {
    if (const int error = flush_output_file(file); error != 0) return error;
    if (bytes.empty()) return 0;
    if (file.stream == nullptr) return EBADF;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream) != bytes.size()) return last_error_or_eio();
    return 0;
}

int close_output_file(output_file& file) {
    if (file.stream == nullptr) return 0;
    int error = flush_output_file(file);
    if (error == 0 && file.sync_on_close && fsync(fileno(file.stream)) != 0) error = errno;
    errno = 0;
    if (std::fclose(file.stream) != 0 && error == 0) error = last_error_or_eio();
    file.stream = nullptr;
    file.pending.clear();
    return error;
}

int check_output_path(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return ENOENT;
    std::error_code ec;
    const fs::path target(path);
    if (fs::is_directory(fs::status(target, ec))) return EISDIR;

    fs::path directory = target.parent_path();
    if (directory.empty()) directory = ".";
    const fs::file_status status = fs::status(directory, ec);
    if (status.type() == fs::file_type::not_found) {
        // A missing link in the chain may itself be a plain file.
        for (fs::path part = directory; !part.empty() && part != part.parent_path(); part = part.parent_path()) {
            const fs::file_status s = fs::status(part, ec);
            if (s.type() == fs::file_type::not_found) continue;
            return fs::is_directory(s) ? ENOENT : ENOTDIR;
        }
        return ENOENT;
    }
    if (ec) return ec.value();
    if (!fs::is_directory(status)) return ENOTDIR;
    return 0;
}

}  // namespace erdos
