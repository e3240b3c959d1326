// The checkpoint record beside a kept results file: which configuration wrote it and how much of it is durable.
// Its file and the program's messages call it the progress record ("<target>.erdos-progress"), the name
// that stored files and users' scripts know.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace erdos {

// Everything a resumed run must share with the run that wrote the rows, as
// it decides their bytes (the thread count does not), and the checkpoint:
// the first durable_bytes bytes of the kept file are the header and `rows`
// complete rows, the last of them for last_p, and crc32c is their CRC-32C.
// durable_bytes 0 means nothing is durable yet (rows 0, last_p 0, crc32c 0).
// Records written before the checksum have none (has_crc false).
struct checkpoint_record {
    std::int64_t p_min = 0;
    bool has_p_min = false;
    std::int64_t p_max = 0;
    std::int32_t c_max = 0;
    std::uint64_t durable_bytes = 0;
    std::int64_t rows = 0;
    std::int64_t last_p = 0;
    bool has_crc = true;
    std::uint32_t crc32c = 0;
};

// True when both records come from the same configuration, whatever their
// checkpoints.
bool same_configuration(const checkpoint_record& a, const checkpoint_record& b);

// The record as text: a tag line naming the format, one "name value" line per
// field, and an end line, so that a record cut short never reads as whole.
// A record without checksum gets the tag and the lines of the earlier format.
std::string format_checkpoint_record(const checkpoint_record& record);

// Reads text written by format_checkpoint_record. Returns false, leaving record
// as it was, for anything else: another tag, a missing, repeated, reordered or
// unknown line, a number out of its range or not in plain decimal, bytes
// after the end line, or a checkpoint that contradicts itself. Both formats
// are read: the earlier one gives has_crc false.
bool parse_checkpoint_record(std::string_view text, checkpoint_record& record);

// The name of the record for a results file at destination (the kept rows are
// in kept_file_name(destination)).
std::string checkpoint_record_name(const std::string& destination);

// Writes the record to path atomically and durably: to path + ".new" first
// (a link by that name is not followed), synced, renamed over path, and the
// directory synced, so that after a crash path holds either the old record or
// the new one, whole. Without `durable` the two syncs are left out: the
// rename is still atomic for every process, but a crash of the machine may
// lose it. Returns 0 or an errno value; a failure leaves the old record at
// path.
int write_checkpoint_record(const std::string& path, const checkpoint_record& record, bool durable = true);

// Reads the record at path. Returns 0, ENOENT when there is none, EINVAL
// when it does not parse (see parse_checkpoint_record), or another errno value.
int read_checkpoint_record(const std::string& path, checkpoint_record& record);

// Removes the record at path and its temporary file, if any.
void remove_checkpoint_record(const std::string& path);

}  // namespace erdos
