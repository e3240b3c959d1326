// Checking the kept rows of a killed run against their record and folding them back into the statistics.
#include "output/kept_run.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "output/checkpoint.hpp"
#include "output/quoting.hpp"
#include "output/resume_rows.hpp"

namespace erdos {

namespace {

std::string configuration_text(const checkpoint_record& r) {
    std::string text;
    if (r.has_p_min) text += "--from " + std::to_string(r.p_min) + " ";
    return text + std::to_string(r.p_max) + " " + std::to_string(r.c_max);
}

std::string start_afresh(const staged_output& results) {
    return "delete " + quote_for_message(results.temporary) + " and " +
           quote_for_message(checkpoint_record_name(results.destination)) + " to start afresh";
}

}  // namespace

int open_kept_rows(const staged_output& results, int& fd) {
    fd = open(results.temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno;
    struct stat held {};
    struct stat named {};
    if (fstat(results.descriptor, &held) != 0 || fstat(fd, &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        close(fd);
        fd = -1;
        return EBUSY;  // another process replaced it under the lock's name
    }
    return 0;
}

namespace {

// A check's outcome so far, starting from wanted, with the size of the kept
// file; a failure to read that size is its error, an empty file is nothing
// kept: either ends the check.
kept_run begin_check(const checkpoint_record& wanted, const staged_output& results, std::uint64_t& size) {
    kept_run kept;
    kept.from = wanted;
    struct stat file {};
    size = 0;
    if (fstat(results.descriptor, &file) != 0) {
        kept.error = errno;
    } else {
        size = static_cast<std::uint64_t>(file.st_size);
    }
    return kept;
}

}  // namespace

kept_run check_kept_run(const checkpoint_record& wanted, const staged_output& results, bool& rows_to_read) {
    rows_to_read = false;
    std::uint64_t size = 0;
    kept_run kept = begin_check(wanted, results, size);
    if (kept.error != 0 || size == 0) return kept;  // nothing was kept: the run starts afresh

    const std::string record_path = checkpoint_record_name(results.destination);
    const std::string kept_name = quote_for_message(results.temporary);
    checkpoint_record record;
    if (const int error = read_checkpoint_record(record_path, record); error != 0) {
        if (error == ENOENT) {
            kept.refusal = kept_name + " has no progress record " + quote_for_message(record_path) +
                           ", so its rows cannot be checked; " + start_afresh(results);
        } else if (error == EINVAL) {
            kept.refusal = "the progress record " + quote_for_message(record_path) +
                           " is damaged, so the kept rows cannot be checked; " + start_afresh(results);
        } else {
            kept.error = error;
        }
        return kept;
    }
    if (!same_configuration(record, wanted)) {
        kept.refusal = "the kept rows " + kept_name + " are of another run (" + configuration_text(record) +
                       "): continue them with that command and --resume, or " + start_afresh(results);
        return kept;
    }
    if (size < record.durable_bytes) {
        kept.refusal = kept_name + " ends before the durable point its progress record names";
        return kept;
    }
    kept.from = record;
    rows_to_read = true;
    return kept;
}

std::string kept_rows_mismatch(const staged_output& results) {
    return "the kept rows " + quote_for_message(results.temporary) + " do not match their progress record; " +
           start_afresh(results);
}

std::string kept_checksum_mismatch(const staged_output& results) {
    return "the kept rows " + quote_for_message(results.temporary) + " do not have the checksum of their progress record " +
           quote_for_message(checkpoint_record_name(results.destination)) + ": they were changed or damaged; " +
           start_afresh(results);
}

std::string damaged_kept_rows(const staged_output& results, const std::string& problem) {
    return "in " + quote_for_message(results.temporary) + ", " + problem + "; " + start_afresh(results);
}

kept_run check_no_kept_rows(const checkpoint_record& wanted, const staged_output& results) {
    std::uint64_t size = 0;
    kept_run kept = begin_check(wanted, results, size);
    if (kept.error != 0 || size == 0) return kept;
    checkpoint_record record;
    const int error = read_checkpoint_record(checkpoint_record_name(results.destination), record);
    if (error == ENOENT || error == EINVAL) return kept;  // a leftover with nothing durable
    if (error != 0) {
        kept.error = error;
        return kept;
    }
    if (record.rows == 0 || size < record.durable_bytes) return kept;
    const bool same = same_configuration(record, wanted);
    kept.refusal = quote_for_message(results.temporary) + " holds " + std::to_string(record.rows) +
                   " rows of an interrupted run of " +
                   (same ? "this command: continue it with --resume"
                         : "another command (" + configuration_text(record) +
                               "): continue it with that command and --resume") +
                   ", or " + start_afresh(results);
    return kept;
}

kept_run read_kept_run(const checkpoint_record& wanted, const staged_output& results, run_stats& stats) {
    bool rows_to_read = false;
    kept_run kept = check_kept_run(wanted, results, rows_to_read);
    if (!rows_to_read) return kept;
    const checkpoint_record record = kept.from;
    kept.from = wanted;
    int fd = -1;
    if (const int error = open_kept_rows(results, fd); error != 0) {
        kept.error = error;
        return kept;
    }
    const kept_rows rows = fold_kept_results(
        fd, record.durable_bytes, row_limits{wanted.p_min, wanted.p_max, wanted.c_max, record.last_p}, stats);
    close(fd);
    if (rows.error != 0) {
        kept.error = rows.error;
    } else if (!rows.problem.empty()) {
        kept.refusal = damaged_kept_rows(results, rows.problem);
    } else if (rows.rows != record.rows || rows.last_p != record.last_p) {
        kept.refusal = kept_rows_mismatch(results);
    } else if (record.has_crc && rows.crc != record.crc32c) {
        kept.refusal = kept_checksum_mismatch(results);
    } else {
        kept.from = record;
        kept.from.has_crc = true;
        kept.from.crc32c = rows.crc;
    }
    return kept;
}

}  // namespace erdos
