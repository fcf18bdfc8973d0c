#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {

std::string DocumentsFolder(WindowHandle owner) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(reinterpret_cast<HWND>(owner), CSIDL_PERSONAL, &items)))
    return {};
  const ScopedItemList held(items);
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(items, path))
    return {};
  std::string folder = FromAnsi(path);
  // The core adds its own separator before a name; wine ends this folder with one already.
  if (folder.size() > 1 && folder.back() == kPathSeparator)
    folder.pop_back();
  return folder;
}

void OpenMailLink(WindowHandle owner, const std::string& link) {
  // The mail program may be reached through a shell extension, which needs COM.
  const ScopedComApartment com;
  ShellExecuteA(reinterpret_cast<HWND>(owner), "open", ToAnsi(link).c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

}  // namespace pixtrel::win32
