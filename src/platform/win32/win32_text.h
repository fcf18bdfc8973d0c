// Text at the edge of the system's calls.
//
// The core keeps every string in UTF-8, paths included: it builds file names from UTF-8 pieces
// (the capture stamp's "à") and puts paths inside UTF-8 messages. Files, folders and every text
// a user reads go through the wide ("W") calls, so they are right whatever the ANSI code page.
// Two records stay ANSI because what they store depends on it: the profile file, which holds
// ANSI bytes as any other program's does, and the 88-byte tray record.
#pragma once

#include <string>
#include <string_view>

namespace pixtrel::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// Characters the ANSI code page lacks become '?', as the system's own conversions do.
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);
// Whether the ANSI code page holds every character of the text as it is: no '?', no look-alike.
bool AnsiHolds(std::string_view utf8);

// The system's words for an error code, in UTF-8, without the line end it ends with.
std::string SystemMessage(unsigned long error);
// The same for GetLastError().
std::string LastErrorText();

}  // namespace pixtrel::win32
