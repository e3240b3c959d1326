#include "report/number_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

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

// The formatter must agree with printf's %.17g byte for byte, across every kind
// of double, and must not follow a locale whose decimal separator is a comma.
TEST(NumberFormat, AgreesWithPrintfEverywhere) {
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        const double v = (i % 2 == 0) ? from_bits(random()) : unit(random) * std::pow(10.0, (i % 40) - 20);
        if (std::isnan(v)) continue;
        ASSERT_EQ(format_double(v), printf_17g(v)) << std::hex << std::bit_cast<std::uint64_t>(v);
    }
    for (const double v : {std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::max(), 9.9999999999999995e-5, 99999999999999999.0}) {
        EXPECT_EQ(format_double(v), printf_17g(v));
    }

    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) continue;
        EXPECT_EQ(format_double(0.5), "0.5") << name;
        EXPECT_EQ(format_double(2.5e-5), "2.5000000000000001e-05") << name;
    }
    std::setlocale(LC_ALL, "C");
}
