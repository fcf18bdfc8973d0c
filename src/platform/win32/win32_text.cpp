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

std::string Narrow(const std::wstring& wide, UINT code_page) {
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

std::string ToAnsi(std::string_view utf8) {
  // Most of what passes here is ASCII, the same in both.
  if (IsAscii(utf8))
    return std::string(utf8);
  return Narrow(Widen(utf8, CP_UTF8), CP_ACP);
}

std::string FromAnsi(std::string_view ansi) {
  if (IsAscii(ansi))
    return std::string(ansi);
  return Narrow(Widen(ansi, CP_ACP), CP_UTF8);
}

std::string SystemMessage(unsigned long error) {
  char words[1024];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, words, sizeof words, nullptr);
  while (length > 0 && (words[length - 1] == '\n' || words[length - 1] == '\r'))
    --length;
  if (length == 0)
    return "Erreur " + std::to_string(error);
  return FromAnsi(std::string_view(words, length));
}

std::string LastErrorText() {
  return SystemMessage(GetLastError());
}

}  // namespace pixtrel::win32
