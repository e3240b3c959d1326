// The record primes of a run: each examined prime whose least shift exceeds that of every prime before it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "numtheory/int128.hpp"
#include "search/prime_scan.hpp"

namespace erdos {

// One record prime with what its first witness needs: least_c -1, first_d -1
// and branch 0 for a prime that no shift covers.
struct record_prime {
    std::int64_t p = 0;
    std::int32_t least_c = -1;
    int128 first_d = -1;
    std::int32_t branch = 0;
};

// The running maximum of the least shift over primes folded in increasing
// order. A prime without a witness counts as larger than any shift, so after
// it no prime is a record; the first prime folded is always one.
struct record_primes {
    bool wanted = false;  // folding does nothing unless the run writes them
    std::vector<record_prime> rows;
};

// Appends scan to records when it beats every prime folded before it.
// scan.p must exceed every p folded before.
void fold_record_prime(record_primes& records, const prime_scan& scan);

// The records of a whole run from those of disjoint parts, each a running
// maximum over its own primes in increasing order: every record of the whole
// is a record of its part, so the candidates of all parts, taken in
// increasing p, give the whole's exactly, whatever the parts.
record_primes merge_record_primes(const std::vector<record_prime>& candidates);

// records as 64-bit words (first_d in two), and back; unpack appends to out
// and advances at. Throws std::invalid_argument on a truncated list.
void pack_record_primes(const record_primes& records, std::vector<std::int64_t>& words);
void unpack_record_primes(const std::vector<std::int64_t>& words, std::size_t& at, std::vector<record_prime>& out);

// The first line of a records file, line feed included.
extern const char records_header[];

// Appends one row "p,least_c,m,first_d,branch,x,y" and a line feed: m =
// (p + least_c)/4 and the solution x, y that the first witness gives, in
// exact decimal. m, x and y are empty for a prime without a witness, and x
// and y also when 4/p = 1/m + 1/x + 1/y does not hold exactly for them
// (a witness that failed its verification); returns false then.
bool append_record_row(std::string& out, const record_prime& record);

// The whole records file: the header and every row.
std::string format_records(const record_primes& records);

}  // namespace erdos
