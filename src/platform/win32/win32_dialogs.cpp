#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

constexpr const char* kCaption = "Pixtrel";

HWND AsWindow(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

}  // namespace

void ErrorBox(WindowHandle owner, const std::string& text) {
  MessageBoxA(AsWindow(owner), ToAnsi(text).c_str(), kCaption, MB_OK | MB_ICONSTOP);
}

void PlainBox(WindowHandle owner, const std::string& text) {
  MessageBoxA(AsWindow(owner), ToAnsi(text).c_str(), kCaption, MB_OK);
}

std::optional<std::string> BrowseForFolder(WindowHandle owner, const std::string& title) {
  const ScopedComApartment com;
  const std::string shown = ToAnsi(title);
  char name[MAX_PATH] = {};
  BROWSEINFOA browse{};
  browse.hwndOwner = AsWindow(owner);
  browse.pszDisplayName = name;
  browse.lpszTitle = shown.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST items = nullptr;
  {
    // An empty floppy or card reader in the tree must not stop the browser with a system box.
    const ScopedErrorMode quiet(SEM_FAILCRITICALERRORS);
    items = SHBrowseForFolderA(&browse);
  }
  if (items == nullptr)
    return std::nullopt;
  const ScopedItemList held(items);
  char path[MAX_PATH] = {};
  if (!SHGetPathFromIDListA(items, path))
    return std::nullopt;
  return FromAnsi(path);
}

std::optional<std::string> RunSaveDialog(WindowHandle owner, const ui::SaveDialog& dialog) {
  // "label|pattern|..." becomes the pairs of NUL-ended strings the dialog reads, ended by an
  // empty one.
  std::string filter = ToAnsi(dialog.filter);
  std::replace(filter.begin(), filter.end(), '|', '\0');
  filter.append(2, '\0');
  const std::string extension = ToAnsi(dialog.default_ext);

  char path[MAX_PATH] = {};
  // A name too long for the buffer would make the dialog refuse to open.
  if (const std::string start = ToAnsi(dialog.file_name); start.size() < sizeof path)
    std::memcpy(path, start.data(), start.size());

  OPENFILENAMEA box{};
  box.lStructSize = sizeof box;
  box.hwndOwner = AsWindow(owner);
  box.lpstrFilter = filter.c_str();
  box.nFilterIndex = 1;
  box.lpstrFile = path;
  box.nMaxFile = sizeof path;
  box.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  box.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameA(&box))
    return std::nullopt;
  return FromAnsi(path);
}

}  // namespace pixtrel::win32
