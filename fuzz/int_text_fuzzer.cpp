// StrToInt against a reference written from the rule alone, on any text and on numbers that
// are printed first and read back.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "core/error.h"
#include "core/int_text.h"

namespace pixtrel {
namespace {

bool AllOf(std::string_view s, bool (*accept)(char)) {
  for (const char c : s) {
    if (!accept(c))
      return false;
  }
  return true;
}

bool IsDecimal(char c) {
  return c >= '0' && c <= '9';
}

bool IsHex(char c) {
  return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Spaces, a sign, then decimal digits in range or a hex prefix and 1 to 8 digits.
std::optional<std::int32_t> Reference(std::string_view text) {
  const auto start = text.find_first_not_of(' ');
  if (start == std::string_view::npos)
    return std::nullopt;
  text.remove_prefix(start);
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+'))
    text.remove_prefix(1);
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
  } else if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
    text.remove_prefix(1);
  } else {
    if (text.empty() || !AllOf(text, IsDecimal))
      return std::nullopt;
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size() - 1));
    std::int64_t value = 0;
    if (text.size() > 10 ||
        std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc())
      return std::nullopt;
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX)
      return std::nullopt;
    return static_cast<std::int32_t>(value);
  }
  if (text.empty() || text.size() > 8 || !AllOf(text, IsHex))
    return std::nullopt;
  std::uint32_t bits = 0;
  std::from_chars(text.data(), text.data() + text.size(), bits, 16);
  // Hex gives 32 bits as they stand, and a sign negates those bits.
  if (negative)
    bits = ~bits + 1;
  return static_cast<std::int32_t>(bits);
}

void Check(const std::string& text) {
  std::optional<std::int32_t> got;
  try {
    got = StrToInt(text);
  } catch (const Error& error) {
    // The message goes through what(), a C string: a NUL in the text ends it there.
    const std::string full = "'" + text + "' n'est pas une valeur entière correcte";
    FUZZ_CHECK(error.Message() == full.c_str(), {"text", text}, {"message", error.Message()});
  }
  const std::optional<std::int32_t> expected = Reference(text);
  FUZZ_CHECK(got == expected, {"text", text}, {"got", got ? std::to_string(*got) : "error"},
             {"expected", expected ? std::to_string(*expected) : "error"});
}

}  // namespace
}  // namespace pixtrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pixtrel::Check(std::string(reinterpret_cast<const char*>(data), size));

  // The same bytes as a number, in each of the forms a settings file may hold it.
  FuzzedDataProvider in(data, size);
  const auto value = in.ConsumeIntegral<std::int32_t>();
  const auto bits = static_cast<std::uint32_t>(value);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%" PRIX32, bits);
  const std::string spaces(in.ConsumeIntegralInRange(0, 3), ' ');
  pixtrel::Check(spaces + std::to_string(value));
  pixtrel::Check(spaces + "$" + hex);
  pixtrel::Check("-0x" + std::string(hex));
  pixtrel::Check("+X" + std::string(in.ConsumeIntegralInRange(0, 3), '0') + hex);
  return 0;
}
