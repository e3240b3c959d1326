// Building the residue and logarithm tables of each shift.
#include "search/shift_residues.hpp"

#include <limits>

#include "search/shift_list.hpp"

namespace erdos {

namespace {

std::uint32_t power_mod(std::uint32_t base, std::uint32_t exponent, std::uint32_t modulus) {
    std::uint64_t result = 1 % modulus;
    std::uint64_t b = base % modulus;
    for (; exponent != 0; exponent >>= 1) {
        if (exponent & 1U) result = result * b % modulus;
        b = b * b % modulus;
    }
    return static_cast<std::uint32_t>(result);
}

// The logarithm table of the cyclic unit group modulo an odd prime power
// q^a: dlog[x] for every unit x, 0xFF for the rest. Returns the group order.
std::uint32_t cyclic_logs(std::uint32_t q, std::uint32_t modulus, std::vector<std::uint8_t>& dlog) {
    const std::uint32_t order = modulus / q * (q - 1);
    std::vector<std::uint32_t> order_primes;
    for (std::uint32_t r = 2, rest = order; rest > 1; ++r) {
        if (rest % r != 0) continue;
        order_primes.push_back(r);
        while (rest % r == 0) rest /= r;
    }
    std::uint32_t g = 2;
    for (;; ++g) {
        if (g % q == 0) continue;
        bool primitive = true;
        for (const std::uint32_t r : order_primes) primitive = primitive && power_mod(g, order / r, modulus) != 1;
        if (primitive) break;
    }
    dlog.assign(modulus, 0xFF);
    std::uint32_t x = 1;
    for (std::uint32_t l = 0; l < order; ++l) {
        dlog[x] = static_cast<std::uint8_t>(l);
        x = x * g % modulus;
    }
    return order;
}

// Fills the logarithm tables of s when c allows them.
void add_logs(shift_residues& s, const std::vector<std::int32_t>& sieving_primes) {
    const auto c = static_cast<std::uint32_t>(s.c);
    std::vector<std::uint32_t> moduli;
    std::vector<std::uint32_t> primes;
    for (std::uint32_t r = 3, rest = c; rest > 1; r += 2) {
        if (r * r > rest) r = rest;
        if (rest % r != 0) continue;
        std::uint32_t power = 1;
        while (rest % r == 0) {
            rest /= r;
            power *= r;
        }
        moduli.push_back(power);
        primes.push_back(r);
    }
    if (moduli.empty() || moduli.size() > 2) return;
    std::vector<std::uint8_t> dlog[2];
    std::uint32_t order[2] = {1, 1};
    for (std::size_t j = 0; j < moduli.size(); ++j) {
        order[j] = cyclic_logs(primes[j], moduli[j], dlog[j]);
        if (order[j] >= 128) return;
    }
    s.has_logs = true;
    s.log_order = static_cast<std::uint16_t>(order[0] | order[1] << 8);
    s.log_of.assign(c, 0xFFFF);
    s.unit_of_log.assign(order[0] * order[1], 0);
    for (std::uint32_t x = 0; x < c; ++x) {
        const std::uint8_t l1 = dlog[0][x % moduli[0]];
        const std::uint8_t l2 = moduli.size() > 1 ? dlog[1][x % moduli[1]] : 0;
        if (l1 != 0xFF && l2 != 0xFF) {
            s.log_of[x] = static_cast<std::uint16_t>(l1 | l2 << 8);
            s.unit_of_log[l1 + order[0] * l2] = static_cast<std::uint8_t>(x);
        }
    }
    s.minus_quarter_log = s.log_of[s.minus_quarter];
    s.minus_one_log = s.log_of[c - 1];
    s.prime_log.reserve(sieving_primes.size());
    for (const std::int32_t q : sieving_primes) s.prime_log.push_back(s.log_of[static_cast<std::uint32_t>(q) % c]);
}

}  // namespace

std::vector<shift_residues> build_shift_residues(const std::vector<std::int32_t>& shift_list,
                                                 const std::vector<std::int32_t>& sieving_primes) {
    std::vector<shift_residues> all;
    all.reserve(shift_list.size());
    for (const std::int32_t c : shift_list) {
        shift_residues s;
        s.c = c;
        s.weight = shift_weight(c);
        s.minus_quarter = minus_quarter_of(static_cast<std::uint32_t>(c));
        s.reciprocal = std::numeric_limits<std::uint64_t>::max() / static_cast<std::uint64_t>(c) + 1;
        if (c <= shift_residues::max_table_shift) {
            const auto cu = static_cast<std::size_t>(c);
            s.mul.resize(cu * cu);
            s.inverse.assign(cu, 0);
            for (std::size_t x = 0; x < cu; ++x) {
                for (std::size_t y = 0; y < cu; ++y) {
                    s.mul[x * cu + y] = static_cast<std::uint8_t>(x * y % cu);
                    if (x * y % cu == 1 % cu) s.inverse[x] = static_cast<std::uint8_t>(y);
                }
            }
            s.prime_residue.reserve(sieving_primes.size());
            for (const std::int32_t q : sieving_primes) s.prime_residue.push_back(static_cast<std::uint8_t>(q % c));
            add_logs(s, sieving_primes);
        }
        all.push_back(std::move(s));
    }
    return all;
}

}  // namespace erdos
