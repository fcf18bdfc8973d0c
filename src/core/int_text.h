// Turns a setting's text into an integer the way every reader of a number does.
#pragma once

#include <cstdint>
#include <string_view>

namespace pixtrel {

// Leading spaces, an optional sign, then decimal digits in the signed 32-bit range, or a
// "$", "x", "X", "0x" or "0X" prefix and up to 8 hex digits. Anything else, trailing spaces
// included, raises "'<text>' n'est pas une valeur entière correcte".
std::int32_t StrToInt(std::string_view text);

}  // namespace pixtrel
