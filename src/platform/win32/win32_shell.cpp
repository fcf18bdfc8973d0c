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
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(items, path))
    return {};
  std::string folder = Utf8(path);
  // The core adds its own separator before a name; wine ends this folder with one already.
  if (folder.size() > 1 && folder.back() == kPathSeparator)
    folder.pop_back();
  return folder;
}

void OpenMailLink(const std::string& link) {
  // No owner and no verb: the link's default action, started for nobody's window. COM, which
  // the shell may need to reach the mail program, is on for the thread's whole life: the
  // launch may still be under way after this returns.
  ShellExecuteW(nullptr, nullptr, Wide(link).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace pixtrel::win32
