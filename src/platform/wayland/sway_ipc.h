// sway's own socket ($SWAYSOCK): the focused window's rectangles, from its tree.
#pragma once

#include <optional>
#include <string>

#include "ui/ui.h"

namespace pixtrel {

struct WindowRects {
  ui::Rect frame;   // with its title bar and borders
  ui::Rect client;  // its content, in the same coordinates
};

// The focused window's rectangles in a tree as sway's GET_TREE returns it; nothing when no
// window has the focus.
std::optional<WindowRects> FocusedInTree(const std::string& tree_json);
// Asks the sway at `socket_path` for its tree; nothing when it does not answer.
std::optional<std::string> SwayTree(const std::string& socket_path);

}  // namespace pixtrel
