// Where an output file goes while the run works, so that an unfinished run replaces nothing.
#pragma once

#include <cstdint>
#include <string>

#include "output/output_file.hpp"

namespace erdos {

// How the temporary file beside a target is named.
enum class stage_naming {
    // "<target>.erdos-partial", the same for every run, held under an
    // exclusive lock while a run writes it, so that two runs cannot write the
    // same target at once. The file is kept as it is: it may hold the rows of
    // a run that is to be continued. keep_staged_prefix cuts it once the
    // caller knows what to keep; until then, discarding leaves it.
    kept,
    // ".<target>.erdos-XXXXXX", a fresh name for every run, which exists
    // only while the file is written.
    unique,
};

// An output of the run: a temporary file beside the target, renamed over it
// once the run is finished, or the target itself when that exists and is no
// regular file (/dev/null, a pipe, a terminal, or a name like /dev/stdout that
// stands for an open descriptor), which is written directly.
struct staged_output {
    std::string destination;  // the target with its symbolic links followed
    std::string temporary;    // the temporary file, while it exists
    bool staged = false;      // false: written directly
    unsigned mode = 0666;     // the permissions the finished file gets
    int descriptor = -1;      // the temporary file until open_staged_output hands it on
    int lock = -1;            // kept naming: keeps the lock until commit or discard
    bool keep_on_discard = false;  // kept naming, until keep_staged_prefix
    bool created = false;          // kept naming: the file did not exist before this run
};

// Prepares output for path, which check_output_path has accepted. A
// temporary file is created now (kept: locked and left as it was; unique:
// removed again), so that a directory without write permission shows before
// any work; a direct target is not opened yet. An existing target that
// cannot be written is refused (EACCES), as opening it would be. Returns 0 or
// an errno value: EBUSY when another run holds the kept temporary file.
// Nothing needs discarding after a failure.
int prepare_staged_output(staged_output& output, const std::string& path, stage_naming naming);

// For kept naming: cuts the temporary file to its first `length` bytes, puts
// the writing position there and gives it the finished file's permissions;
// from now on it belongs to this run, and discarding removes it. Returns 0 or
// an errno value.
int keep_staged_prefix(staged_output& output, std::uint64_t length);

// Opens file for writing: the temporary file (a unique one created now), or
// the direct target, created or truncated. Returns 0 or an errno value.
int open_staged_output(staged_output& output, output_file& file);

// Puts the finished file in place durably: syncs the temporary file (a
// stream opened by open_staged_output syncs on closing), renames it over the
// destination, syncs the directory and lets the lock go. file must have been
// closed. Nothing to do for a direct target. Returns 0 or an errno value.
int commit_staged_output(staged_output& output);

// Closes file, if open, without reporting, removes the temporary file and lets
// the lock go; the target is left as it was. Safe to repeat, and after commit.
void discard_staged_output(staged_output& output, output_file& file);

// Closes file, if open, without reporting, and lets the lock go, but keeps
// the temporary file where it is, for a later run to continue. Safe to repeat.
void release_staged_output(staged_output& output, output_file& file);

// Whether a and b, both prepared and staged, would be renamed over the same
// file: their destinations name it, whatever the directories and links on
// the way. Direct targets (/dev/null and the like) never collide.
bool same_staged_target(const staged_output& a, const staged_output& b);

// The name of the kept temporary file for a destination.
std::string kept_file_name(const std::string& destination);

}  // namespace erdos
