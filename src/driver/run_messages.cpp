// The messages of a run on standard error.
#include "driver/run_messages.hpp"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

#include "output/quoting.hpp"

namespace erdos {

void print_file_error(status_line& status, std::FILE* err, const char* program, const char* what,
                      const std::string& path, const std::string& why) {
    status_end(status);
    std::fprintf(err, "%s: cannot write %s file %s: %s\n", program, what, quote_for_message(path).c_str(),
                 why.c_str());
}

void print_resume_refusal(status_line& status, std::FILE* err, const char* program, const std::string& path,
                          const std::string& why) {
    status_end(status);
    std::fprintf(err, "%s: cannot resume results file %s: %s\n", program, quote_for_message(path).c_str(),
                 why.c_str());
}

void print_fault(status_line& status, std::FILE* err, const char* program, const run_config& config,
                 const fault& failure, const std::string& advice) {
    status_end(status);
    const std::string why =
        (!failure.text.empty() ? failure.text : std::string(std::strerror(failure.detail))) + advice;
    switch (failure.kind) {
        case fault_kind::results_file:
            print_file_error(status, err, program, "results", config.results_path, why);
            break;
        case fault_kind::summary_file:
            print_file_error(status, err, program, "summary", config.summary_path, why);
            break;
        case fault_kind::records_file:
            print_file_error(status, err, program, "records", config.records_path, why);
            break;
        case fault_kind::profile_file:
            print_file_error(status, err, program, "profile", config.profile_path, why);
            break;
        case fault_kind::masses_file:  // the text names the file's place
            print_file_error(status, err, program, "temporary masses", failure.text,
                             std::strerror(failure.detail) + advice);
            break;
        case fault_kind::resume_refused:
            print_resume_refusal(status, err, program, config.results_path, why);
            break;
        case fault_kind::kept_rows_found:  // the text names the file and what to do
            std::fprintf(err, "%s: %s\n", program, failure.text.c_str());
            break;
        case fault_kind::out_of_memory:
            std::fprintf(err, "%s: out of memory; the outputs are not complete%s\n", program, advice.c_str());
            break;
        case fault_kind::none:
        case fault_kind::signal:
            break;
        case fault_kind::internal:
            if (failure.text.empty()) {
                std::fprintf(err, "%s: internal error; the outputs are not complete%s\n", program, advice.c_str());
            } else {
                std::fprintf(err, "%s: internal error: %s; the outputs are not complete%s\n", program,
                             failure.text.c_str(), advice.c_str());
            }
            break;
    }
}

fault current_exception_fault() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return {fault_kind::out_of_memory, ENOMEM, {}};
    } catch (const std::exception& e) {
        return {fault_kind::internal, 0, e.what()};
    } catch (...) {
        return {fault_kind::internal, 0, {}};
    }
}

void print_interrupted(std::FILE* err, const char* program, bool kept) {
    std::fprintf(err, "%s: interrupted; the outputs are not complete%s\n", program,
                 kept ? "; the same command with --resume continues the run" : "");
}

void print_closing_line(std::FILE* err, const run_stats& stats) {
    std::fprintf(err, "processed=%lld covered=%lld verified=%lld max_least_c=%d at p=%lld\n",
                 static_cast<long long>(stats.processed), static_cast<long long>(stats.covered),
                 static_cast<long long>(stats.verified), stats.max_least_shift,
                 static_cast<long long>(stats.max_least_shift_prime));
}

std::string file_error_text(int error, const staged_output& output) {
    if (error == EBUSY) {  // from the lock on the kept temporary file
        return "another run is writing it (" + quote_for_message(kept_file_name(output.destination)) + ")";
    }
    return std::strerror(error);
}

}  // namespace erdos
