// The editable list's typing: each character typed goes through the list's completion.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace pixtrel::ui {

// An editable list's text with its selection.
struct ComboEdit {
  std::string text;
  std::size_t selection_start = 0;
  std::size_t selection_length = 0;
  friend bool operator==(const ComboEdit&, const ComboEdit&) = default;
};

// One typed character: it replaces the selection, then the first item that begins with the
// text up to the caret (ignoring letter case) completes the box, its rest selected.
ComboEdit TypeIntoCombo(const ComboEdit& before, char typed, std::span<const std::string> items);

// What a key typed into the box makes of it, when the completion takes the key: a printable
// ASCII character typed into ASCII text, where the native box's positions and the rule's count
// alike. Nothing for any other key or text, which the native box handles as it would.
std::optional<ComboEdit> CompleteTyping(const ComboEdit& before, char32_t typed,
                                        std::span<const std::string> items);

}  // namespace pixtrel::ui
