// What a --resume run continues from: the kept rows of a killed run, checked against their record and folded back.
#pragma once

#include <string>

#include "output/checkpoint_record.hpp"
#include "output/staged_output.hpp"
#include "stats/run_stats.hpp"

namespace erdos {

// What read_kept_run found.
struct kept_run {
    checkpoint_record from;  // the checkpoint to continue from (nothing durable: start afresh)
    int error = 0;         // an errno value when the kept file or its record could not be read
    std::string refusal;   // why the kept rows cannot be continued; empty when they can
};

// Reads the kept results file of a staged output prepared with kept naming
// (locked, untouched) for the run whose configuration `wanted` holds (with
// nothing durable): an empty file is nothing to continue; otherwise its
// checkpoint record must exist, parse and name that configuration, the file
// must reach the recorded checkpoint, every row up to it must be one of this
// run's (see fold_kept_results), ending with the row the record names, and
// the bytes up to it must have the record's checksum (a record written
// before the checksum has none to compare). The rows are folded into stats
// as the walk would have; on success kept.from carries the checksum of the
// kept bytes. Nothing is written; after an error or a refusal stats is
// unspecified.
kept_run read_kept_run(const checkpoint_record& wanted, const staged_output& results, run_stats& stats);

// The checks of read_kept_run before any row is read: the kept file's size,
// its record and the record's configuration. On success kept.from is the
// point to continue from, and rows_to_read tells whether it holds rows that
// must be read back (the first from.durable_bytes bytes of the file); the
// caller then reads them and holds them to the record, as read_kept_run does.
kept_run check_kept_run(const checkpoint_record& wanted, const staged_output& results, bool& rows_to_read);

// A descriptor of its own for reading the kept file of a staged output,
// which must be the very file the output holds locked (not one put under its
// name since). Returns 0, EBUSY when the name now leads to another file, or
// another errno value.
int open_kept_rows(const staged_output& results, int& fd);

// The refusal when the rows read back do not end where the record says.
std::string kept_rows_mismatch(const staged_output& results);

// The refusal when the kept bytes do not have the checksum of their record.
std::string kept_checksum_mismatch(const staged_output& results);

// The refusal for a damaged kept row: problem (where and what) in the kept
// file, and how to start afresh.
std::string damaged_kept_rows(const staged_output& results, const std::string& problem);

// For a run without --resume, before anything is changed: a refusal (in
// kept.refusal) when the kept file of its staged results holds rows that its
// record vouches for, which the run would throw away, saying how to continue
// them or to start afresh. A file that holds no durable row (empty, shorter
// than its record says, without a record or with one that does not parse)
// is a leftover the run takes over: no refusal.
kept_run check_no_kept_rows(const checkpoint_record& wanted, const staged_output& results);

}  // namespace erdos
