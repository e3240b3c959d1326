#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace erdos_test {

struct process_result {
    int exit_status = -1;  // the exit code, or -signal when killed by a signal
    std::string out;
    std::string err;
};

// Runs program with args (no shell) in directory cwd, capturing both output
// streams. address_space_limit, when non-zero, caps the child's virtual memory.
process_result run_process(const std::string& program, const std::vector<std::string>& args,
                           const std::string& cwd, std::uint64_t address_space_limit = 0);

// A child started by start_process and not yet waited for.
struct running_process {
    int pid = -1;
    std::string capture_dir;  // where its standard output and error go
};

// Starts program like run_process, without waiting for it.
running_process start_process(const std::string& program, const std::vector<std::string>& args,
                              const std::string& cwd, std::uint64_t address_space_limit = 0);

// Waits for a started child and collects its status and output.
process_result finish_process(running_process& child);

// Runs program like run_process, but with all three standard streams on a new
// pseudo-terminal of the given width, as in an interactive session. out holds
// everything the terminal received (the terminal turns "\n" into "\r\n");
// err stays empty.
process_result run_process_in_terminal(const std::string& program, const std::vector<std::string>& args,
                                       const std::string& cwd, unsigned short columns = 80);

// A fresh empty directory under the system's temporary directory.
std::string make_temp_dir();
void remove_tree(const std::string& path);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

}  // namespace erdos_test
