#include "ui/combo.h"

#include <algorithm>
#include <string_view>

namespace pixtrel::ui {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BeginsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

}  // namespace

ComboEdit TypeIntoCombo(const ComboEdit& before, char typed, std::span<const std::string> items) {
  const std::size_t start = std::min(before.selection_start, before.text.size());
  const std::size_t length = std::min(before.selection_length, before.text.size() - start);
  ComboEdit after;
  after.text = before.text.substr(0, start) + typed + before.text.substr(start + length);
  after.selection_start = start + 1;
  const std::string typed_so_far = after.text.substr(0, after.selection_start);
  for (const std::string& item : items) {
    if (BeginsWithIgnoringCase(item, typed_so_far)) {
      after.text = typed_so_far + item.substr(typed_so_far.size());
      after.selection_length = item.size() - typed_so_far.size();
      break;
    }
  }
  return after;
}

std::optional<ComboEdit> CompleteTyping(const ComboEdit& before, char32_t typed,
                                        std::span<const std::string> items) {
  const bool ascii_text = std::all_of(before.text.begin(), before.text.end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (typed < 0x20 || typed >= 0x7F || !ascii_text)
    return std::nullopt;
  return TypeIntoCombo(before, static_cast<char>(typed), items);
}

}  // namespace pixtrel::ui
