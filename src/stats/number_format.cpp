// Decimal formatting of integers and of doubles (%.17g) in exact integer arithmetic.
#include "stats/number_format.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace erdos {

namespace {

constexpr std::uint64_t pow10_u64(int k) {
    std::uint64_t r = 1;
    for (int i = 0; i < k; ++i) r *= 10;
    return r;
}

// powers_of_five[k + 1] is 5^k for k = 0 .. 22 (all below 2^52); the entry
// for k = -1 is never used.
constexpr auto powers_of_five = [] {
    std::array<std::uint64_t, 24> table{};
    std::uint64_t p = 1;
    for (std::size_t i = 1; i < table.size(); ++i, p *= 5) table[i] = p;
    return table;
}();

// at_least_pow10[k + 6] is the least double >= 10^k, for k = -6 .. 17, so that
// for any double v, v >= 10^k exactly when v >= at_least_pow10[k + 6]. From
// 10^0 on the powers are doubles themselves; below, the nearest double to 10^k
// is stepped up one unit when it falls short (m * 2^-s < 10^-k when
// m * 10^-k < 2^s, exact in 128 bits here).
constexpr auto at_least_pow10 = [] {
    std::array<double, 24> table{1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1};
    for (int k = 0; k <= 17; ++k) table[static_cast<std::size_t>(k + 6)] = static_cast<double>(pow10_u64(k));
    for (int k = -6; k < 0; ++k) {
        double& entry = table[static_cast<std::size_t>(k + 6)];
        const auto bits = std::bit_cast<std::uint64_t>(entry);
        const uint128 m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
        const auto s = static_cast<int>(1075 - (bits >> 52));
        if (m * pow10_u64(-k) < (uint128{1} << s)) entry = std::bit_cast<double>(bits + 1);
    }
    return table;
}();

// The 17 significant digits of v, 1e-5 <= v < 1e17, rounded to nearest with
// ties to even, as printf rounds: digits = round(v * 10^(16 - exponent)) with
// 10^16 <= digits < 10^17, exponent = floor(log10(v)) unless the rounding
// carries into an 18th digit.
void seventeen_digits(double v, std::uint64_t& digits, int& exponent) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const auto biased = static_cast<int>(bits >> 52);
    const std::uint64_t significand = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    // v lies in [2^e, 2^(e+1)) with e = biased - 1023, so floor(log10(v)) is
    // g = floor(e * log10(2)) or g + 1, and one comparison with the power of
    // ten between them decides; the multipliers for both are fetched
    // meanwhile. (e * 78913) >> 18 is floor(e * log10(2)) for every binary
    // exponent e of a double.
    const int g = ((biased - 1023) * 78913) >> 18;
    const bool above = v >= at_least_pow10[static_cast<std::size_t>(g + 7)];
    const std::uint64_t five_g = powers_of_five[static_cast<std::size_t>(17 - g)];
    const std::uint64_t five_above = powers_of_five[static_cast<std::size_t>(16 - g)];
    const int x = g + (above ? 1 : 0);
    // Hence 10^16 <= v * 10^k < 10^17 before rounding, k = 16 - x. With
    // v = significand / 2^(1075 - biased) and 10^k = 5^k * 2^k that is
    // significand * 5^k / 2^s: a product below 2^53 * 5^22 < 2^105, and
    // over [1e-5, 1e17) the shift s lies in [-4, 48].
    const uint128 scaled = uint128{significand} * (above ? five_above : five_g);
    const int s = 1075 - biased - (16 - x);
    std::uint64_t q = 0;
    if (s <= 0) {
        q = static_cast<std::uint64_t>(scaled) << -s;
    } else {
        // Adding half a unit less one, plus one more when the truncated
        // quotient is odd, carries into the quotient exactly when the
        // remainder is past half or is half and the quotient odd. Without a
        // branch: which way the rounding goes is a coin toss.
        const auto low = static_cast<std::uint64_t>(scaled);
        const uint128 sum = scaled + ((std::uint64_t{1} << (s - 1)) - 1 + ((low >> s) & 1U));
        q = static_cast<std::uint64_t>(sum) >> s | static_cast<std::uint64_t>(sum >> 64) << (64 - s);
    }
    // Rounding up to 10^17 would move the exponent, but no double in range
    // lies within half a unit of the 17th digit below a power of ten (the
    // gap between doubles is wider), so this is only a guard.
    if (q == pow10_u64(17)) {
        digits = pow10_u64(16);
        exponent = x + 1;
        return;
    }
    digits = q;
    exponent = x;
}

// The eight decimal digits of n < 10^8, one per byte and each 0..9, the most
// significant in the lowest byte: the number is split into halves of four
// digits, those into pairs, those into digits, every lane of a step at once.
// The quotients come from multiplications: (n * 109951163) >> 40 is
// n / 10^4 for n < 10^8, (n * 10486) >> 20 is n / 100 for n < 10^4 and
// (n * 103) >> 10 is n / 10 for n < 100, and no lane's product reaches the
// next lane's bits that are kept. Each step's quotient a and remainder b of
// y by d land as a + (b << w) = (y << w) + a * (1 - (d << w)), one multiply
// (wrapping mod 2^64, the result exact).
std::uint64_t eight_digits(std::uint64_t n) {
    const std::uint64_t a = (n * 109951163) >> 40;
    const std::uint64_t halves = (n << 32) + a * (1 - (std::uint64_t{10000} << 32));
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F'0000007FU;
    const std::uint64_t pairs = (halves << 16) + hundreds * (1 - (std::uint64_t{100} << 16));
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F'000F000FU;
    return (pairs << 8) + tens * (1 - (std::uint64_t{10} << 8));
}

// Stores the eight bytes of w at p, its lowest byte first.
void store8(char* p, std::uint64_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &w, 8);
    } else {
        for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(w >> (8 * i));
    }
}

constexpr std::uint64_t ascii_zeros = 0x30303030'30303030U;

}  // namespace

// Within [1e-5, 1e17) the 17 digits are formed as a leading digit and two
// words of eight, and the layout is built from whole-word stores that may run
// past the end of the text; the last store decides what the bytes up to the
// end hold. The furthest store ends 26 bytes after the start (a sign, then 25
// in the fixed layout).
static_assert(max_double_chars >= 26);
char* put_double(char* p, double v) {
    const std::uint64_t magnitude_bits = std::bit_cast<std::uint64_t>(v) & ~(std::uint64_t{1} << 63);
    constexpr std::uint64_t low_bits = std::bit_cast<std::uint64_t>(1e-5);
    constexpr std::uint64_t high_bits = std::bit_cast<std::uint64_t>(1e17);
    if (magnitude_bits - low_bits >= high_bits - low_bits) {
        // Outside the range, and infinities and NaNs (whose bits lie above it).
        if (std::isnan(v)) return std::signbit(v) ? std::copy_n("-nan", 4, p) : std::copy_n("nan", 3, p);
        if (std::isinf(v)) return v < 0 ? std::copy_n("-inf", 4, p) : std::copy_n("inf", 3, p);
        // to_chars with the general format and a precision is defined as
        // printf's %.*g in the C locale, without its dependence on the locale.
        return std::to_chars(p, p + max_double_chars, v, std::chars_format::general, 17).ptr;
    }
    if (std::signbit(v)) *p++ = '-';
    std::uint64_t digits = 0;
    int x = 0;
    seventeen_digits(std::bit_cast<double>(magnitude_bits), digits, x);

    // The leading digit and the two groups of eight, both divisions from
    // digits itself so that neither waits for the other.
    const std::uint64_t lead_digit = digits / pow10_u64(16);
    const std::uint64_t top = digits / pow10_u64(8);
    const auto lead = static_cast<char>('0' + lead_digit);
    const std::uint64_t high = eight_digits(top - lead_digit * pow10_u64(8));
    const std::uint64_t low = eight_digits(digits - top * pow10_u64(8));
    // %g drops trailing zeros. Zero digit bytes at the top of a word are
    // its leading zero bits; a nonzero digit byte has at most 7 of them (and
    // a word of zeros has 64, so high == 0 leaves the leading digit alone).
    const auto zero_bytes = [](std::uint64_t w) { return std::countl_zero(w) >> 3; };
    const int used = low != 0 ? 17 - zero_bytes(low) : 9 - zero_bytes(high);

    if (x < -4 || x >= 17) {
        // d.ddd followed by e-05. (The double 1e-5 lies above 10^-5, so e-06
        // does not occur, nor e+17 from the guard; both would come out right.)
        p[0] = lead;
        p[1] = '.';
        store8(p + 2, high + ascii_zeros);
        store8(p + 10, low + ascii_zeros);
        p += used > 1 ? used + 1 : 1;
        const int a = x < 0 ? -x : x;
        const char exponent[4] = {'e', x < 0 ? '-' : '+', static_cast<char>('0' + a / 10),
                                  static_cast<char>('0' + a % 10)};
        std::memcpy(p, exponent, 4);
        return p + 4;
    }
    if (x < 0) {
        // 0.000ddd: the -x - 1 zeros after the point come from one store.
        store8(p, 0x30303030'30302E30U);  // "0.000000"
        p += 1 - x;
        p[0] = lead;
        store8(p + 1, high + ascii_zeros);
        store8(p + 9, low + ascii_zeros);
        return p + used;
    }
    // The digits in place, then the point after digit x and the 16 - x
    // digits after it moved up one byte: a 128-bit shift drops the x digits
    // before them, and from x = 8 on they fit in one word.
    p[0] = lead;
    store8(p + 1, high + ascii_zeros);
    store8(p + 9, low + ascii_zeros);
    if (used <= x + 1) return p + x + 1;
    p[x + 1] = '.';
    const uint128 fraction = ((uint128{low} << 64 | high) + (uint128{ascii_zeros} << 64 | ascii_zeros)) >> (8 * x);
    store8(p + x + 2, static_cast<std::uint64_t>(fraction));
    if (x < 8) store8(p + x + 10, static_cast<std::uint64_t>(fraction >> 64));
    return p + used + 1;
}

char* put_integer(char* p, std::int64_t v) { return std::to_chars(p, p + 20, v).ptr; }

char* put_integer(char* p, int128 v) {
    constexpr int128 low64 = std::numeric_limits<std::int64_t>::min();
    constexpr int128 high64 = std::numeric_limits<std::int64_t>::max();
    if (v >= low64 && v <= high64) return put_integer(p, static_cast<std::int64_t>(v));
    // Beyond 64 bits: the magnitude (exact even for -2^127 in unsigned
    // arithmetic), its digits formed from the last one up.
    if (v < 0) *p++ = '-';
    uint128 magnitude = v < 0 ? uint128{0} - static_cast<uint128>(v) : static_cast<uint128>(v);
    char digits[max_integer_chars];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return std::copy(first, digits + sizeof digits, p);
}

void append_double(std::string& out, double v) {
    char buffer[max_double_chars];
    out.append(buffer, put_double(buffer, v));
}

void append_integer(std::string& out, std::int64_t v) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
}

void append_integer(std::string& out, int128 v) {
    char buffer[max_integer_chars];
    out.append(buffer, put_integer(buffer, v));
}

void append_unsigned(std::string& out, std::uint64_t v) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
}

std::string format_double(double v) {
    std::string out;
    append_double(out, v);
    return out;
}

}  // namespace erdos
