// Raw bytes of a chunk's lists, in one place of a file each, in a fixed order.
#include "walks/chunk_spill.hpp"

#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace erdos {

static_assert(std::is_trivially_copyable_v<prime_scan>, "a scan is written out as its bytes");

namespace {

// The parts of a chunk in file order, as (address, bytes).
struct part {
    void* bytes;
    std::size_t size;
};

std::vector<part> parts_of(prime_chunk& chunk) {
    return {{chunk.scans.data(), chunk.scans.size() * sizeof(prime_scan)},
            {chunk.verified.data(), chunk.verified.size()},
            {chunk.rows.data(), chunk.rows.size()},
            {chunk.tally.uniform_masses.data(), chunk.tally.uniform_masses.size() * sizeof(double)},
            {chunk.tally.weighted_masses.data(), chunk.tally.weighted_masses.size() * sizeof(double)}};
}

template <typename List>
void release(List& list) {
    List().swap(list);
}

}  // namespace

std::uint64_t spilled_bytes(const prime_chunk& chunk) {
    return chunk.scans.size() * sizeof(prime_scan) + chunk.verified.size() + chunk.rows.size() +
           (chunk.tally.uniform_masses.size() + chunk.tally.weighted_masses.size()) * sizeof(double);
}

std::uint64_t spilled_bytes(const spilled_chunk& where) {
    return where.scans * sizeof(prime_scan) + where.verdicts + where.row_bytes + 2 * where.masses * sizeof(double);
}

std::uint64_t take_place(chunk_spill& spill, std::uint64_t bytes) {
    std::uint64_t at = 0;
    if (bytes > 0) {  // an empty chunk takes no place, and two places never share an offset
        for (const auto& [offset, end] : spill.taken) {
            if (offset - at >= bytes) break;
            at = end;
        }
        spill.taken.emplace(at, at + bytes);
    }
    return at;
}

void give_back_place(chunk_spill& spill, std::uint64_t offset, std::uint64_t bytes) {
    if (bytes > 0) spill.taken.erase(offset);
}

bool spill_chunk(chunk_spill& spill, prime_chunk& chunk, std::uint64_t offset, spilled_chunk& where) {
    if (spill.error != 0) return false;
    if (spill.file.fd < 0) {
        spill.error = open_unnamed_file(spill.directory.empty() ? temporary_directory() : spill.directory, spill.file);
        if (spill.error != 0) return false;
    }
    where = {offset, chunk.scans.size(), chunk.verified.size(), chunk.rows.size(),
             chunk.tally.uniform_masses.size()};
    if (chunk.tally.weighted_masses.size() != where.masses) {
        throw std::logic_error("spill_chunk: a chunk's two lists of masses differ in length");
    }
    std::uint64_t at = offset;
    for (const part& p : parts_of(chunk)) {
        if (p.size == 0) continue;
        if (const int error = write_all_at(spill.file.fd, p.bytes, p.size, at); error != 0) {
            spill.error = error;
            return false;
        }
        at += p.size;
    }
    release(chunk.scans);
    release(chunk.verified);
    release(chunk.rows);
    release(chunk.tally.uniform_masses);
    release(chunk.tally.weighted_masses);
    return true;
}

void restore_chunk(const chunk_spill& spill, const spilled_chunk& where, prime_chunk& chunk) {
    chunk.scans.resize(where.scans);
    chunk.verified.resize(where.verdicts);
    chunk.rows.resize(where.row_bytes);
    chunk.tally.uniform_masses.resize(where.masses);
    chunk.tally.weighted_masses.resize(where.masses);
    std::uint64_t at = where.offset;
    for (const part& p : parts_of(chunk)) {
        if (p.size == 0) continue;
        if (const int error = read_all_at(spill.file.fd, p.bytes, p.size, at); error != 0) {
            throw std::runtime_error(std::string("cannot read back a waiting chunk from its temporary file: ") +
                                     std::strerror(error));
        }
        at += p.size;
    }
}

}  // namespace erdos
