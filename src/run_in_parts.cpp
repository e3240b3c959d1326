// Parts on threads of their own, their failures carried back to the caller.
#include "run_in_parts.hpp"

#include <exception>
#include <thread>
#include <vector>

namespace erdos {

void run_in_parts(unsigned parts, const std::function<void(unsigned part)>& work) {
    if (parts <= 1) {
        work(0);
        return;
    }
    std::vector<std::exception_ptr> failures(parts);
    const auto run = [&](unsigned part) {
        try {
            work(part);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(parts - 1);
    try {
        for (unsigned part = 1; part < parts; ++part) helpers.emplace_back(run, part);
    } catch (...) {
        // No thread to be had: the parts not started run here, one by one.
        for (auto part = static_cast<unsigned>(helpers.size()) + 1; part < parts; ++part) run(part);
    }
    run(0);
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

}  // namespace erdos
