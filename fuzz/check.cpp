#include "check.h"

#include <cstdio>
#include <cstdlib>

namespace pixtrel::fuzz {

std::string Escaped(std::string_view bytes) {
  constexpr std::size_t kShown = 600;
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (bytes.size() > kShown)
    out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

void Fail(const char* condition, const char* file, int line,
          std::initializer_list<std::pair<const char*, std::string_view>> shown) {
  std::fprintf(stderr, "\n%s:%d: check failed: %s\n", file, line, condition);
  for (const auto& [name, bytes] : shown)
    std::fprintf(stderr, "  %s = \"%s\"\n", name, Escaped(bytes).c_str());
  std::abort();
}

}  // namespace pixtrel::fuzz
