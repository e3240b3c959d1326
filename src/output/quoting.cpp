// Quoting names for messages.
#include "output/quoting.hpp"

#include <cstdio>

namespace erdos {

std::string quote_for_message(std::string_view text) {
    std::string out = "'";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '\'';
    return out;
}

}  // namespace erdos
