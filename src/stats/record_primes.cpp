// Record primes folded, merged, packed, and written with their solutions in exact arithmetic.
#include "stats/record_primes.hpp"

#include <gmp.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>

#include "stats/number_format.hpp"

namespace erdos {

namespace {

// The order of least shifts for records: no witness beats every shift.
std::int64_t record_key(std::int32_t least_c) {
    return least_c < 0 ? std::numeric_limits<std::int64_t>::max() : least_c;
}

void fold_candidate(record_primes& records, const record_prime& candidate) {
    if (!records.rows.empty() && record_key(candidate.least_c) <= record_key(records.rows.back().least_c)) return;
    records.rows.push_back(candidate);
}

// An mpz_t that clears itself.
struct big {
    mpz_t v;
    big() { mpz_init(v); }
    ~big() { mpz_clear(v); }
    big(const big&) = delete;
    big& operator=(const big&) = delete;
};

void set_u128(mpz_t out, uint128 value) {
    mpz_set_ui(out, static_cast<unsigned long>(value >> 64));
    mpz_mul_2exp(out, out, 64);
    mpz_add_ui(out, out, static_cast<unsigned long>(value & 0xFFFFFFFFFFFFFFFFU));
}

void append_big(std::string& out, const mpz_t value) {
    const std::size_t room = mpz_sizeinbase(value, 10) + 2;
    const std::unique_ptr<char[]> text(new char[room]);
    mpz_get_str(text.get(), 10, value);
    out += text.get();
}

// x and y of the record's first witness, checked: true when every division
// is exact and 4*m*x*y == p*(x*y + m*x + m*y).
bool solve_exactly(const record_prime& r, std::int64_t m, mpz_t x, mpz_t y) {
    if (r.first_d < 1 || m < 1 || r.least_c < 1 || r.branch < 1 || r.branch > 3) return false;
    static_assert(sizeof(unsigned long) == 8, "an unsigned long holds 64 bits");
    big p, mm, n, d, e, t, lhs, rhs;
    mpz_set_ui(p.v, static_cast<unsigned long>(r.p));
    mpz_set_ui(mm.v, static_cast<unsigned long>(m));
    mpz_mul(n.v, mm.v, p.v);                       // N = m p
    set_u128(d.v, static_cast<uint128>(r.first_d));
    mpz_mul(d.v, d.v, p.v);                        // D = p d
    if (r.branch == 2) mpz_mul(d.v, d.v, p.v);     // D = p^2 d
    mpz_mul(t.v, n.v, n.v);
    if (!mpz_divisible_p(t.v, d.v)) return false;
    mpz_divexact(e.v, t.v, d.v);                   // E = N^2 / D
    const auto c = static_cast<unsigned long>(r.least_c);
    mpz_add(x, n.v, d.v);
    mpz_add(y, n.v, e.v);
    if (!mpz_divisible_ui_p(x, c) || !mpz_divisible_ui_p(y, c)) return false;
    mpz_divexact_ui(x, x, c);
    mpz_divexact_ui(y, y, c);
    mpz_mul(t.v, x, y);                            // x y
    mpz_mul(lhs.v, t.v, mm.v);
    mpz_mul_ui(lhs.v, lhs.v, 4);                   // 4 m x y
    mpz_add(rhs.v, x, y);
    mpz_mul(rhs.v, rhs.v, mm.v);
    mpz_add(rhs.v, rhs.v, t.v);
    mpz_mul(rhs.v, rhs.v, p.v);                    // p (x y + m x + m y)
    return mpz_cmp(lhs.v, rhs.v) == 0;
}

}  // namespace

const char records_header[] = "p,least_c,m,first_d,branch,x,y\n";

void fold_record_prime(record_primes& records, const prime_scan& scan) {
    if (!records.wanted) return;
    const record_prime candidate{scan.p, scan.has_witness ? scan.least_c : -1, scan.has_witness ? scan.first_d : -1,
                                 scan.has_witness ? scan.branch : 0};
    fold_candidate(records, candidate);
}

record_primes merge_record_primes(const std::vector<record_prime>& candidates) {
    std::vector<record_prime> sorted = candidates;
    std::sort(sorted.begin(), sorted.end(), [](const record_prime& a, const record_prime& b) { return a.p < b.p; });
    record_primes whole;
    whole.wanted = true;
    for (const record_prime& candidate : sorted) fold_candidate(whole, candidate);
    return whole;
}

void pack_record_primes(const record_primes& records, std::vector<std::int64_t>& words) {
    words.push_back(static_cast<std::int64_t>(records.rows.size()));
    for (const record_prime& r : records.rows) {
        const auto d = static_cast<uint128>(r.first_d);
        words.insert(words.end(), {r.p, r.least_c, static_cast<std::int64_t>(d >> 64),
                                   static_cast<std::int64_t>(static_cast<std::uint64_t>(d)), r.branch});
    }
}

void unpack_record_primes(const std::vector<std::int64_t>& words, std::size_t& at, std::vector<record_prime>& out) {
    constexpr std::size_t fields = 5;
    if (at >= words.size()) throw std::invalid_argument("truncated record primes");
    const auto count = static_cast<std::uint64_t>(words[at++]);
    if ((words.size() - at) / fields < count) throw std::invalid_argument("truncated record primes");
    for (std::uint64_t i = 0; i < count; ++i, at += fields) {
        const uint128 d = static_cast<uint128>(static_cast<std::uint64_t>(words[at + 2])) << 64 |
                          static_cast<std::uint64_t>(words[at + 3]);
        out.push_back({words[at], static_cast<std::int32_t>(words[at + 1]), static_cast<int128>(d),
                       static_cast<std::int32_t>(words[at + 4])});
    }
}

bool append_record_row(std::string& out, const record_prime& r) {
    append_integer(out, r.p);
    out += ',';
    append_integer(out, r.least_c);
    out += ',';
    bool solved = true;
    if (r.least_c < 0) {
        out += ',';
        append_integer(out, r.first_d);
        out += ',';
        append_integer(out, r.branch);
        out += ",,";
    } else {
        // p + least_c is at most 2^62 + 2^31: no overflow.
        const std::int64_t m = (r.p + r.least_c) / 4;
        append_integer(out, m);
        out += ',';
        append_integer(out, r.first_d);
        out += ',';
        append_integer(out, r.branch);
        out += ',';
        big x, y;
        solved = solve_exactly(r, m, x.v, y.v);
        if (solved) {
            append_big(out, x.v);
            out += ',';
            append_big(out, y.v);
        } else {
            out += ',';
        }
    }
    out += '\n';
    return solved;
}

std::string format_records(const record_primes& records) {
    std::string text = records_header;
    for (const record_prime& r : records.rows) append_record_row(text, r);
    return text;
}

}  // namespace erdos
