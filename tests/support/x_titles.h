// A window's title as toolkits set it, for the helpers that walk the X window tree.
#pragma once

#include <string>

// Last: its macros would clash with other names.
#include <X11/Xlib.h>

namespace pixtrel::test {

// The UTF-8 title toolkits set beside the old Latin-1 one, or that one where it is missing.
std::string TitleOf(Display* d, Window window);

}  // namespace pixtrel::test
