#include "report/number_format.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>

namespace erdos {

namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr std::uint64_t pow10_u64(int k) {
    std::uint64_t r = 1;
    for (int i = 0; i < k; ++i) r *= 10;
    return r;
}

// 10^k for k = 0 .. 22, exactly.
constexpr auto powers_of_ten = [] {
    std::array<uint128, 23> table{};
    uint128 p = 1;
    for (auto& entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

// The 17 significant digits of v, 1e-5 <= v < 1e17, rounded to nearest with
// ties to even, as printf rounds: digits = round(v * 10^(16 - exponent)) with
// 10^16 <= digits < 10^17. The product of the 53-bit significand and 10^k
// (k <= 22) stays below 2^127, so the scaling and its remainder are exact.
void seventeen_digits(double v, std::uint64_t& digits, int& exponent) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const auto biased = static_cast<int>(bits >> 52);
    const std::uint64_t significand = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int shift = 1075 - biased;  // v = significand / 2^shift
    constexpr std::uint64_t low = pow10_u64(16);
    constexpr std::uint64_t high = pow10_u64(17);
    // A first guess from the binary exponent; the exact test below settles it.
    // (e * 78913) >> 18 is floor(e * log10(2)) for every binary exponent e of a double.
    int x = ((biased - 1023) * 78913) >> 18;
    for (;;) {
        const uint128 scaled = significand * powers_of_ten[static_cast<std::size_t>(16 - x)];
        std::uint64_t q = 0;
        bool round_up = false;
        if (shift <= 0) {
            q = static_cast<std::uint64_t>(scaled << -shift);
        } else {
            q = static_cast<std::uint64_t>(scaled >> shift);
            const uint128 rest = scaled & ((uint128{1} << shift) - 1);
            const uint128 half = uint128{1} << (shift - 1);
            round_up = rest > half || (rest == half && (q & 1U) != 0);
        }
        if (q < low) {
            --x;
            continue;
        }
        if (q >= high) {
            ++x;
            continue;
        }
        q += round_up ? 1 : 0;
        if (q == high) {
            q = low;
            ++x;
        }
        digits = q;
        exponent = x;
        return;
    }
}

// Writes e, the sign and at least two digits of x.
char* put_exponent(char* p, int x) {
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    const int a = x < 0 ? -x : x;
    if (a >= 100) *p++ = static_cast<char>('0' + a / 100);
    *p++ = static_cast<char>('0' + a / 10 % 10);
    *p++ = static_cast<char>('0' + a % 10);
    return p;
}

}  // namespace

char* put_double(char* p, double v) {
    if (std::isnan(v)) return std::signbit(v) ? std::copy_n("-nan", 4, p) : std::copy_n("nan", 3, p);
    if (std::isinf(v)) return v < 0 ? std::copy_n("-inf", 4, p) : std::copy_n("inf", 3, p);
    const double magnitude = std::fabs(v);
    if (!(magnitude >= 1e-5 && magnitude < 1e17)) {
        // to_chars with the general format and a precision is defined as
        // printf's %.*g in the C locale, without its dependence on the locale.
        return std::to_chars(p, p + max_double_chars, v, std::chars_format::general, 17).ptr;
    }
    if (std::signbit(v)) *p++ = '-';
    std::uint64_t digits = 0;
    int x = 0;
    seventeen_digits(magnitude, digits, x);
    char text[18];
    static constexpr char pairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    for (int i = 16; i > 0; i -= 2) {
        const auto pair = static_cast<std::size_t>(digits % 100) * 2;
        digits /= 100;
        text[i - 1] = pairs[pair];
        text[i] = pairs[pair + 1];
    }
    text[0] = static_cast<char>('0' + digits);
    int used = 17;  // %g drops trailing zeros
    while (used > 1 && text[used - 1] == '0') --used;

    if (x < -4 || x >= 17) {
        *p++ = text[0];
        if (used > 1) {
            *p++ = '.';
            p = std::copy(text + 1, text + used, p);
        }
        return put_exponent(p, x);
    }
    if (x >= 0) {
        p = std::copy(text, text + x + 1, p);
        if (used > x + 1) {
            *p++ = '.';
            p = std::copy(text + x + 1, text + used, p);
        }
        return p;
    }
    *p++ = '0';
    *p++ = '.';
    p = std::fill_n(p, -x - 1, '0');
    return std::copy(text, text + used, p);
}

char* put_integer(char* p, std::int64_t v) { return std::to_chars(p, p + 20, v).ptr; }

void append_double(std::string& out, double v) {
    char buffer[max_double_chars];
    out.append(buffer, put_double(buffer, v));
}

void append_integer(std::string& out, std::int64_t v) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, result.ptr);
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
