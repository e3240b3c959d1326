// The program's entry point: hands the arguments to erdos_main.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    try {
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    } catch (...) {
        std::fputs("erdos-straus: out of memory\n", stderr);
        return 1;
    }
    return erdos::erdos_main(args, stdout, stderr);
}
