#include "core/int_text.h"

#include "core/error.h"

namespace pixtrel {
namespace {

[[noreturn]] void NotAnInteger(std::string_view text) {
  throw Error(FormatText("'%s' n'est pas une valeur entière correcte", {text}));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    i += 1;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }

  const std::size_t first_digit = i;
  std::uint64_t value = 0;
  if (hex) {
    for (; i < text.size(); ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0 || i - first_digit == 8)
        NotAnInteger(text);
      value = value * 16 + static_cast<unsigned>(digit);
    }
  } else {
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9')
        NotAnInteger(text);
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (value > limit)
        NotAnInteger(text);
    }
  }
  if (i == first_digit)
    NotAnInteger(text);

  // Hex reads 32 bits as they stand: "$FFFFFFFF" is -1, and a sign negates that.
  auto bits = static_cast<std::uint32_t>(value);
  if (negative)
    bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

}  // namespace pixtrel
