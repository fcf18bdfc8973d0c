// Text at the edge of the ANSI ("A") calls.
//
// The core keeps every string in UTF-8, paths included: it builds file names from UTF-8 pieces
// (the capture stamp's "à") and puts paths inside UTF-8 messages. So every string handed to an
// A call is turned into the ANSI code page here, and every string an A call gives back (paths
// from the shell and the dialogs, settings values, the system's error words) into UTF-8. The
// settings file therefore holds ANSI bytes, as any other program's profile file does.
#pragma once

#include <string>
#include <string_view>

namespace pixtrel::win32 {

// Characters the ANSI code page lacks become '?', as the system's own conversions do.
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);

// The system's words for an error code, in UTF-8, without the line end it ends with.
std::string SystemMessage(unsigned long error);
// The same for GetLastError().
std::string LastErrorText();

}  // namespace pixtrel::win32
