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
// must reach the recorded checkpoint, and every row up to it must be one
// of this run's (see fold_kept_results), ending with the row the record
// names. The rows are folded into stats as the walk would have. Nothing is
// written; after an error or a refusal stats is unspecified.
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

}  // namespace erdos
