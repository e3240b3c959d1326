#pragma once

#include <cstdint>
#include <string>

namespace erdos {

// Appends v exactly as printf("%.17g", v) prints it in the "C" locale, whatever
// the process locale: 17 significant digits, trailing zeros dropped, exponent
// form below 1e-4 or from 1e17 on; "inf", "-inf", "nan" and, for a NaN with its
// sign bit set, "-nan".
void append_double(std::string& out, double v);

// Appends v in plain decimal, with a leading '-' when negative.
void append_integer(std::string& out, std::int64_t v);
void append_unsigned(std::string& out, std::uint64_t v);

std::string format_double(double v);

}  // namespace erdos
