// Integers and doubles as text, exactly as printf prints them, without printf.
#pragma once

#include <cstdint>
#include <string>

#include "numtheory/int128.hpp"

namespace erdos {

// Appends v exactly as printf("%.17g", v) prints it in the "C" locale, whatever
// the process locale: 17 significant digits, trailing zeros dropped, exponent
// form below 1e-4 or from 1e17 on; "inf", "-inf", "nan" and, for a NaN with its
// sign bit set, "-nan".
void append_double(std::string& out, double v);

// The same text written at p, which needs room for max_double_chars bytes;
// returns the end of the text. Bytes after the end, within those
// max_double_chars, may be overwritten.
inline constexpr std::size_t max_double_chars = 32;
char* put_double(char* p, double v);

// v in plain decimal at p, with a leading '-' when negative; returns the end.
// Needs room for 20 bytes (64-bit v) or max_integer_chars bytes (128-bit v).
inline constexpr std::size_t max_integer_chars = 40;
char* put_integer(char* p, std::int64_t v);
char* put_integer(char* p, int128 v);
inline char* put_integer(char* p, std::int32_t v) { return put_integer(p, std::int64_t{v}); }

// Appends v in plain decimal, with a leading '-' when negative.
void append_integer(std::string& out, std::int64_t v);
void append_integer(std::string& out, int128 v);
inline void append_integer(std::string& out, std::int32_t v) { append_integer(out, std::int64_t{v}); }
void append_unsigned(std::string& out, std::uint64_t v);

std::string format_double(double v);

}  // namespace erdos
