// Names and words as the program's messages show them.
#pragma once

#include <string>
#include <string_view>

namespace erdos {

// text in single quotes, control bytes shown as \xHH, for a message.
std::string quote_for_message(std::string_view text);

}  // namespace erdos
