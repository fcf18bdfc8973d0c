#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace {

const std::string kFile(kSettingsFileName);

// Each name the list holds, in turn, until `found` says stop.
template <class Found>
bool AnyName(const std::vector<char>& list, DWORD length, Found found) {
  std::string_view rest(list.data(), length);
  while (!rest.empty()) {
    const std::string_view name = rest.substr(0, rest.find('\0'));
    // An empty name ends the list.
    if (name.empty())
      return false;
    if (found(name))
      return true;
    rest.remove_prefix(std::min(rest.size(), name.size() + 1));
  }
  return false;
}

bool SameName(std::string_view a, std::string_view b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool SectionListed(const std::string& section) {
  std::vector<char> names(kKeyListBytes);
  DWORD length = 0;
  // The call cuts a list too long for the buffer two bytes short of its end.
  for (;;) {
    length = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()),
                                            kFile.c_str());
    if (length + 2 < names.size() || names.size() >= (1u << 20))
      break;
    names.resize(names.size() * 2);
  }
  return AnyName(names, length, [&](std::string_view name) { return SameName(name, section); });
}

}  // namespace

std::string Win32Settings::ReadString(std::string_view section, std::string_view key,
                                      std::string_view default_value) {
  char value[kMaxValueBytes + 1];
  const DWORD length = GetPrivateProfileStringA(
      win32::ToAnsi(section).c_str(), win32::ToAnsi(key).c_str(),
      win32::ToAnsi(default_value).c_str(), value, sizeof value, kFile.c_str());
  return win32::FromAnsi(std::string_view(value, length));
}

bool Win32Settings::ValueExists(std::string_view section, std::string_view key) {
  std::vector<char> names(kKeyListBytes);
  const DWORD length =
      GetPrivateProfileStringA(win32::ToAnsi(section).c_str(), nullptr, nullptr, names.data(),
                               static_cast<DWORD>(names.size()), kFile.c_str());
  const std::string wanted = win32::ToAnsi(key);
  return AnyName(names, length, [&](std::string_view name) { return SameName(name, wanted); });
}

bool Win32Settings::CanHold(std::string_view value) {
  return win32::AnsiHolds(value);
}

void Win32Settings::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
  // Never a '?' in place of what the user chose.
  if (!CanHold(section) || !CanHold(key) || !CanHold(value))
    RefuseSettingsWrite();
  if (!WritePrivateProfileStringA(win32::ToAnsi(section).c_str(), win32::ToAnsi(key).c_str(),
                                  win32::ToAnsi(value).c_str(), kFile.c_str())) {
    RefuseSettingsWrite();
  }
}

void Win32Settings::EraseSection(std::string_view section) {
  const std::string name = win32::ToAnsi(section);
  // One call removes only the first of two sections of one name, and the program needs the
  // section gone. The bound keeps a file that never lets go from hanging the program.
  for (int erased = 0; erased < 64; ++erased) {
    if (!WritePrivateProfileStringA(name.c_str(), nullptr, nullptr, kFile.c_str()))
      RefuseSettingsWrite();
    if (!SectionListed(name))
      return;
  }
}

void Win32Settings::Flush() {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, kFile.c_str());
}

}  // namespace pixtrel
