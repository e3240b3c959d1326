#include "stats/number_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using erdos::format_double;

namespace {

std::string printf_17g(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

double from_bits(std::uint64_t b) { return std::bit_cast<double>(b); }

}  // namespace

TEST(NumberFormat, DocumentedValues) {
    EXPECT_EQ(format_double(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(format_double(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(format_double(from_bits(0x7FF8000000000000)), "nan");
    EXPECT_EQ(format_double(from_bits(0xFFF8000000000000)), "-nan");
    EXPECT_EQ(format_double(0.000025), "2.5000000000000001e-05");
    EXPECT_EQ(format_double(1.0), "1");
    EXPECT_EQ(format_double(0.0), "0");
    EXPECT_EQ(format_double(-0.0), "-0");
    EXPECT_EQ(format_double(0.5), "0.5");
    EXPECT_EQ(format_double(0.1), "0.10000000000000001");
    EXPECT_EQ(format_double(1.0 / 3.0), "0.33333333333333331");
    EXPECT_EQ(format_double(720.0 / 19.0), "37.89473684210526");  // 17th digit 0 dropped
    EXPECT_EQ(format_double(1e16), "10000000000000000");
    EXPECT_EQ(format_double(1e17), "1e+17");
    EXPECT_EQ(format_double(0.0001), "0.0001");
    EXPECT_EQ(format_double(1e-300), "1e-300");

    std::string ints;
    erdos::append_integer(ints, std::numeric_limits<std::int64_t>::min());
    ints += ' ';
    erdos::append_integer(ints, 288230375077969921);
    ints += ' ';
    erdos::append_unsigned(ints, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(ints, "-9223372036854775808 288230375077969921 18446744073709551615");
}

// 128-bit integers: exactly the 64-bit text wherever the value fits 64 bits,
// and beyond it the exact decimal, checked against known powers of two and by
// reading random values back digit by digit.
TEST(NumberFormat, IntegersOf128Bits) {
    using erdos::int128;
    const auto text = [](int128 v) {
        std::string out;
        erdos::append_integer(out, v);
        return out;
    };
    const auto text64 = [](std::int64_t v) {
        std::string out;
        erdos::append_integer(out, v);
        return out;
    };
    const int128 two63 = int128{1} << 63;
    const int128 max128 = static_cast<int128>((~static_cast<erdos::uint128>(0)) >> 1);
    EXPECT_EQ(text(two63), "9223372036854775808");
    EXPECT_EQ(text(-two63 - 1), "-9223372036854775809");
    EXPECT_EQ(text(int128{1} << 64), "18446744073709551616");
    EXPECT_EQ(text((int128{1} << 121) - 1), "2658455991569831745807614120560689151");
    EXPECT_EQ(text(max128), "170141183460469231731687303715884105727");
    EXPECT_EQ(text(-max128 - 1), "-170141183460469231731687303715884105728");
    EXPECT_EQ(text(int128{1000000000000000000} * 1000000000000000000), "1000000000000000000000000000000000000");

    std::mt19937_64 random(128);
    for (int i = 0; i < 20000; ++i) {
        // Every width from 1 to 128 bits, both signs.
        const int bits = 1 + i % 128;
        const erdos::uint128 raw = (static_cast<erdos::uint128>(random()) << 64) | random();
        int128 v = static_cast<int128>(bits == 128 ? raw : raw >> (128 - bits));
        if (i % 3 == 0 && v != -max128 - 1) v = -v;
        const std::string s = text(v);
        if (v >= -two63 && v < two63) {
            ASSERT_EQ(s, text64(static_cast<std::int64_t>(v)));
        }
        // Read back: the digits, most significant first, accumulated in the
        // direction of the sign so that -2^127 needs no positive counterpart.
        const bool negative = s[0] == '-';
        int128 back = 0;
        for (std::size_t k = negative ? 1 : 0; k < s.size(); ++k) {
            ASSERT_TRUE(s[k] >= '0' && s[k] <= '9') << s;
            ASSERT_TRUE(k == (negative ? 1U : 0U) || s[negative ? 1 : 0] != '0') << s;  // no leading zero
            back = back * 10 + (negative ? -(s[k] - '0') : s[k] - '0');
        }
        ASSERT_TRUE(back == v) << s;
    }

    // put_integer stays inside max_integer_chars for the longest text.
    char room[erdos::max_integer_chars + 4];
    std::memset(room, '#', sizeof room);
    char* end = erdos::put_integer(room, -max128 - 1);
    EXPECT_EQ(std::string(room, end), "-170141183460469231731687303715884105728");
    EXPECT_EQ(std::string(room + erdos::max_integer_chars, 4), "####");
}

// The formatter must agree with printf's %.17g byte for byte, across every kind
// of double, and must not follow a locale whose decimal separator is a comma.
TEST(NumberFormat, AgreesWithPrintfEverywhere) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 600000; ++i) {
        const double v = (i % 2 == 0) ? from_bits(random()) : unit(random) * std::pow(10.0, (i % 40) - 20);
        if (std::isnan(v)) continue;
        ASSERT_EQ(format_double(v), printf_17g(v)) << std::hex << std::bit_cast<std::uint64_t>(v);
    }
    for (const double v : {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::max(), 9.9999999999999995e-5, 99999999999999999.0}) {
        EXPECT_EQ(format_double(v), printf_17g(v));
    }
    // Around every power of ten and every binade in the range the output
    // takes apart by hand, both neighbours of each boundary, and values whose
    // 17th digit is a tie in binary (small integers and halves).
    for (int e = -6; e <= 18; ++e) {
        const double p10 = std::pow(10.0, e);
        for (const double v : {p10, std::nextafter(p10, 0.0), std::nextafter(p10, 1e300), -p10}) {
            ASSERT_EQ(format_double(v), printf_17g(v)) << v;
        }
    }
    for (int b = -20; b <= 60; ++b) {
        const double p2 = std::ldexp(1.0, b);
        for (const double v : {p2, std::nextafter(p2, 0.0), std::nextafter(p2, 1e300)}) {
            ASSERT_EQ(format_double(v), printf_17g(v)) << v;
        }
    }
    for (std::uint64_t n = 1; n < 100000; n += 7) {
        const double v = static_cast<double>(n) + 0.5;
        ASSERT_EQ(format_double(v), printf_17g(v)) << v;
        ASSERT_EQ(format_double(1.0 / static_cast<double>(n)), printf_17g(1.0 / static_cast<double>(n))) << n;
        ASSERT_EQ(format_double(static_cast<double>(n) * 123456789.0), printf_17g(static_cast<double>(n) * 123456789.0));
    }

    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        EXPECT_EQ(format_double(0.5), "0.5") << name;
        EXPECT_EQ(format_double(2.5e-5), "2.5000000000000001e-05") << name;
    }
    std::setlocale(LC_ALL, "C");
}

// Every layout and every place the trailing zeros can stop: d, d.d .. d.ddd
// (1 to 17 significant digits) at every decimal exponent from 1e-7 to 1e18,
// each value's two neighbours (17 digits, most of them ending in 0 or 9) and
// the negatives of all three.
TEST(NumberFormat, AgreesWithPrintfForEveryDigitCountAndExponent) {
    const char digits[] = "73920581640918273";
    for (int x = -7; x <= 18; ++x) {
        for (int count = 1; count <= 17; ++count) {
            char text[40];
            std::snprintf(text, sizeof text, "%c.%.*se%d", digits[0], count - 1, digits + 1, x);
            const double v = std::strtod(text, nullptr);
            for (const double w : {v, std::nextafter(v, 0.0), std::nextafter(v, 1e300)}) {
                ASSERT_EQ(format_double(w), printf_17g(w)) << text;
                ASSERT_EQ(format_double(-w), printf_17g(-w)) << text;
            }
        }
    }
}

// Doubles lying exactly halfway between two 17-digit decimals, v = M / 2^(17-x)
// with M odd and 10^x <= v < 10^(x+1), where printf rounds to the even digit,
// and their neighbours, which round the plain way.
TEST(NumberFormat, RoundsHalfwayCasesToEven) {
    std::mt19937_64 random(41);
    for (int x = -5; x <= 15; ++x) {
        const double low = std::ceil(std::ldexp(std::pow(10.0, x), 17 - x));
        const double high = std::min(std::ldexp(std::pow(10.0, x + 1), 17 - x), std::ldexp(1.0, 53));
        std::uniform_real_distribution<double> pick(low, high);
        for (int i = 0; i < 2000; ++i) {
            const double v = std::ldexp(static_cast<double>(static_cast<std::uint64_t>(pick(random)) | 1U), x - 17);
            for (const double w : {v, std::nextafter(v, 0.0), std::nextafter(v, 1e300)}) {
                ASSERT_EQ(format_double(w), printf_17g(w)) << std::hex << std::bit_cast<std::uint64_t>(w);
            }
        }
    }
}

// put_double writes whole words past the end of its text; they must stay
// within max_double_chars, and text written after the returned end (as the
// results rows do) must replace them.
TEST(NumberFormat, PutDoubleStaysInItsRoomAndConcatenates) {
    const double longest[] = {-1234567890123456.7, -123456789012345.67, -12345678.901234567, -1.2345678901234567,
                              -0.00012345678901234567, -1.2345678901234567e-05, -1.2345678901234567e-300,
                              -1.2345678901234567e+300, -std::numeric_limits<double>::quiet_NaN()};
    for (const double v : longest) {
        char room[erdos::max_double_chars + 8];
        std::memset(room, '#', sizeof room);
        char* end = erdos::put_double(room, v);
        ASSERT_EQ(std::string(room, end), printf_17g(v));
        ASSERT_EQ(std::string(room + erdos::max_double_chars, 8), "########") << printf_17g(v);
    }

    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int row = 0; row < 2000; ++row) {
        char text[8 * (erdos::max_double_chars + 1)];
        char* p = text;
        std::string expected;
        for (int k = 0; k < 8; ++k) {
            const double v = unit(random) * std::pow(10.0, (row + k) % 24 - 6);
            p = erdos::put_double(p, v);
            *p++ = ',';
            expected += printf_17g(v) + ',';
        }
        ASSERT_EQ(std::string(text, p), expected);
    }
}
