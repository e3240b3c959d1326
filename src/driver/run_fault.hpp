// What made a run fail, in one form for both programs: the single one reports it at once, the
// processes of an MPI run first agree on the gravest.
#pragma once

#include <string>

namespace erdos {

// What went wrong in a run (on one process of several), gravest last. A file
// fault names the results, summary, records or profile file, with its errno value, or the
// place of the unnamed file of masses in its text; a refused resumption says
// why in its text, as does a run without --resume that found durable kept
// rows in its way; a signal fault has its signal number.
enum class fault_kind : int {
    none = 0, results_file, summary_file, records_file, profile_file, masses_file, resume_refused, kept_rows_found,
    out_of_memory, internal, signal
};

struct fault {
    fault_kind kind = fault_kind::none;
    int detail = 0;    // the errno value or the signal number
    std::string text;  // an internal error's description, or a file error's wording

    explicit operator bool() const { return kind != fault_kind::none; }
};

}  // namespace erdos
