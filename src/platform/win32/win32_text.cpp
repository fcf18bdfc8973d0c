#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>

#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

std::wstring Widen(std::string_view text, UINT code_page) {
  if (text.empty())
    return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(std::wstring_view wide, UINT code_page) {
  if (wide.empty())
    return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(code_page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  }
  return true;
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  return Widen(utf8, CP_UTF8);
}

std::string Utf8(std::wstring_view wide) {
  return Narrow(wide, CP_UTF8);
}

std::string ToAnsi(std::string_view utf8) {
  // Most of what passes here is ASCII, the same in both.
  if (IsAscii(utf8))
    return std::string(utf8);
  return Narrow(Wide(utf8), CP_ACP);
}

std::string FromAnsi(std::string_view ansi) {
  if (IsAscii(ansi))
    return std::string(ansi);
  return Utf8(Widen(ansi, CP_ACP));
}

bool AnsiHolds(std::string_view utf8) {
  if (IsAscii(utf8))
    return true;
  // A character the code page lacks comes back as '?' or as a look-alike ("a" for "à").
  const std::wstring wide = Wide(utf8);
  return Widen(Narrow(wide, CP_ACP), CP_ACP) == wide;
}

std::string SystemMessage(unsigned long error) {
  wchar_t words[1024];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, words, 1024, nullptr);
  while (length > 0 && (words[length - 1] == L'\n' || words[length - 1] == L'\r'))
    --length;
  if (length == 0)
    return "Erreur " + std::to_string(error);
  return Utf8(std::wstring_view(words, length));
}

std::string LastErrorText() {
  return SystemMessage(GetLastError());
}

}  // namespace pixtrel::win32
