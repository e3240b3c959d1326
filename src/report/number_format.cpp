#include "report/number_format.hpp"

#include <charconv>
#include <cmath>

namespace erdos {

void append_double(std::string& out, double v) {
    if (std::isnan(v)) {
        out += std::signbit(v) ? "-nan" : "nan";
        return;
    }
    if (std::isinf(v)) {
        out += v < 0 ? "-inf" : "inf";
        return;
    }
    // to_chars with the general format and a precision is defined as printf's
    // %.*g in the C locale, without printf's dependence on the global locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 17);
    out.append(buffer, result.ptr);
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
