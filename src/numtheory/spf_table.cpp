// Building the smallest-prime-factor table and reading factorisations off it.
#include "numtheory/spf_table.hpp"

#include <algorithm>
#include <stdexcept>

#include "stop_request.hpp"

namespace erdos {

std::vector<std::int32_t> build_spf_table(std::int32_t p_max, std::int32_t c_max) {
    // The bounds are checked to keep the sum within 32 bits; the 64-bit sum
    // gives the same truncating quotient and cannot overflow for any input.
    const std::int64_t r = (static_cast<std::int64_t>(p_max) + c_max) / 4;
    const std::int64_t length = r + 3;
    std::vector<std::int32_t> table;
    if (length <= 0) return table;

    // The loops look for a stop request once per block of entries: the
    // widest table takes many seconds.
    constexpr std::int64_t block = std::int64_t{1} << 24;
    table.resize(static_cast<std::size_t>(length));
    for (std::int64_t lo = 0; lo < length; lo += block) {
        const std::int64_t hi = std::min(length, lo + block);
        for (std::int64_t i = lo; i < hi; ++i) table[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(i);
        stop_if_requested();
    }

    const std::int64_t limit = length - 1;
    for (std::int64_t i = 2; i * i <= limit; ++i) {
        if (table[static_cast<std::size_t>(i)] != i) continue;  // composite: already lowered
        for (std::int64_t j = i * i; j <= limit;) {
            const std::int64_t block_end = std::min(limit, j + block);
            for (; j <= block_end; j += i) {
                auto& entry = table[static_cast<std::size_t>(j)];
                if (entry == j) entry = static_cast<std::int32_t>(i);
            }
            stop_if_requested();
        }
    }
    return table;
}

factor_list factorize(std::int64_t m, const std::vector<std::int32_t>& spf_table) {
    factor_list factors;
    if (m <= 1) return factors;
    if (m >= static_cast<std::int64_t>(spf_table.size())) {
        throw std::out_of_range("factorize: m lies beyond the smallest-prime-factor table");
    }
    auto x = static_cast<std::int32_t>(m);
    while (x > 1) {
        const std::int32_t q = spf_table[static_cast<std::size_t>(x)];
        std::int32_t e = 0;
        while (x % q == 0) {
            x /= q;
            ++e;
        }
        factors.push_back({q, e});
    }
    return factors;
}

}  // namespace erdos
