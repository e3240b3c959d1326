#include "support/process.hpp"

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace erdos_test {

namespace {

std::vector<char*> make_argv(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace

std::string make_temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "erdos-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void remove_tree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

running_process start_process(const std::string& program, const std::vector<std::string>& args,
                              const std::string& cwd, std::uint64_t address_space_limit) {
    running_process child;
    child.capture_dir = make_temp_dir();
    const std::string out_path = child.capture_dir + "/out";
    const std::string err_path = child.capture_dir + "/err";

    std::vector<char*> argv = make_argv(program, args);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int out_fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0 || chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        // The stop signals as a terminal would deliver them, even when the
        // tests themselves run with some ignored (a background job).
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
        if (address_space_limit != 0) {
            const rlimit limit{address_space_limit, address_space_limit};
            setrlimit(RLIMIT_AS, &limit);
            const rlimit no_core{0, 0};  // a failing test must not litter core files
            setrlimit(RLIMIT_CORE, &no_core);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    child.pid = pid;
    return child;
}

process_result finish_process(running_process& child) {
    process_result result;
    result.exit_status = wait_for(child.pid);
    result.out = read_file(child.capture_dir + "/out");
    result.err = read_file(child.capture_dir + "/err");
    remove_tree(child.capture_dir);
    child.pid = -1;
    return result;
}

process_result run_process(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd, std::uint64_t address_space_limit) {
    running_process child = start_process(program, args, cwd, address_space_limit);
    return finish_process(child);
}

process_result run_process_in_terminal(const std::string& program, const std::vector<std::string>& args,
                                       const std::string& cwd, unsigned short columns) {
    std::vector<char*> argv = make_argv(program, args);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    // Read while the child runs, so that it never blocks on a full terminal
    // buffer; once the child has exited and closed its side, read fails (EIO).
    process_result result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n > 0) {
            result.out.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    close(terminal);
    result.exit_status = wait_for(pid);
    return result;
}

}  // namespace erdos_test
