// The straightforward program, for side-by-side timing: the same command line
// and outputs as erdos-straus, but every prime is scanned the plain way, one
// thread, listing each divisor of m^2 and testing it with two remainders.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const erdos::command_line command = erdos::parse_command_line(args);
    if (command.action != erdos::command_action::run) return erdos::erdos_main(args, stdout, stderr);
    return erdos::run_experiment(command.config, stderr, erdos::scan_engine::plain);
}
