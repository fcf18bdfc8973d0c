// The shell's services: where documents go, how paths are spelled, and the mail program.
#pragma once

#include <string>

#include "platform/platform.h"

namespace pixtrel::win32 {

inline constexpr char kPathSeparator = '\\';

// The user's documents folder without a separator at its end, or "" when the shell names none.
std::string DocumentsFolder(WindowHandle owner);
// Hands a "mailto:" link to the default mail program; what follows is not looked at. The
// thread must have COM for the whole program (ScopedComApartment).
void OpenMailLink(const std::string& link);

}  // namespace pixtrel::win32
