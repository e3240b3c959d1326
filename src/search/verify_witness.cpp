// The exact check of a first witness in 128-bit integers.
#include "search/verify_witness.hpp"

namespace erdos {

namespace {
__extension__ typedef __int128 int128;
__extension__ typedef unsigned __int128 uint128;
}  // namespace

bool verify_first_witness(std::int32_t p, std::int32_t c, std::int64_t m, std::int64_t d, std::int32_t branch) {
    if (d < 0) return false;
    // Beyond these bounds N^2 or D could leave 128 bits; a run never gets there
    // (m < 2^30, d <= m^2 < 2^60).
    if (d < 1 || c < 1 || p < 1 || m >= (std::int64_t{1} << 31) || d >= (std::int64_t{1} << 62)) return false;
    if (branch < 1 || branch > 3) return false;

    const std::int64_t p64 = p;
    const int128 n = static_cast<int128>(m) * p64;
    const int128 big_d = (branch == 2) ? static_cast<int128>(p64 * p64) * d : static_cast<int128>(d) * p64;

    const int128 n_squared = n * n;
    if (n_squared % big_d != 0) return false;
    const int128 e = n_squared / big_d;

    const int128 c128 = c;
    if ((n + big_d) % c128 != 0) return false;
    const int128 x = (n + big_d) / c128;
    if ((n + e) % c128 != 0) return false;
    const int128 y = (n + e) / c128;

    if (m <= 0 || x <= 0) return false;
    if (y <= 0) return false;

    // Both sides may exceed 128 bits for a large branch-2 witness; they are
    // compared modulo 2^128, which cannot change the verdict for a true identity.
    const auto um = static_cast<uint128>(static_cast<int128>(m));
    const auto up = static_cast<uint128>(static_cast<int128>(p64));
    const auto ux = static_cast<uint128>(x);
    const auto uy = static_cast<uint128>(y);
    const uint128 left = 4 * um * ux * uy;
    const uint128 right = up * (ux * uy + um * ux + um * uy);
    return left == right;
}

}  // namespace erdos
