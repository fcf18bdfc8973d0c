#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

constexpr const wchar_t* kCaption = L"Pixtrel";

HWND AsWindow(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

}  // namespace

void ErrorBox(WindowHandle owner, const std::string& text) {
  MessageBoxW(AsWindow(owner), Wide(text).c_str(), kCaption, MB_OK | MB_ICONSTOP);
}

void PlainBox(WindowHandle owner, const std::string& text) {
  MessageBoxW(AsWindow(owner), Wide(text).c_str(), kCaption, MB_OK);
}

std::optional<std::string> BrowseForFolder(WindowHandle owner, const std::string& title) {
  const ScopedComApartment com;
  const std::wstring shown = Wide(title);
  wchar_t name[MAX_PATH] = {};
  BROWSEINFOW browse{};
  browse.hwndOwner = AsWindow(owner);
  browse.pszDisplayName = name;
  browse.lpszTitle = shown.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  LPITEMIDLIST items = nullptr;
  {
    // An empty floppy or card reader in the tree must not stop the browser with a system box.
    const ScopedErrorMode quiet(SEM_FAILCRITICALERRORS);
    items = SHBrowseForFolderW(&browse);
  }
  if (items == nullptr)
    return std::nullopt;
  const ScopedItemList held(items);
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(items, path))
    return std::nullopt;
  return Utf8(path);
}

std::optional<std::string> RunSaveDialog(WindowHandle owner, const ui::SaveDialog& dialog) {
  // "label|pattern|..." becomes the pairs of NUL-ended strings the dialog reads, ended by an
  // empty one.
  std::wstring filter = Wide(dialog.filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter.append(2, L'\0');
  const std::wstring extension = Wide(dialog.default_ext);

  wchar_t path[MAX_PATH] = {};
  // A name too long for the buffer would make the dialog refuse to open.
  if (const std::wstring start = Wide(dialog.file_name); start.size() < MAX_PATH)
    std::copy(start.begin(), start.end(), path);

  OPENFILENAMEW box{};
  box.lStructSize = sizeof box;
  box.hwndOwner = AsWindow(owner);
  box.lpstrFilter = filter.c_str();
  box.nFilterIndex = 1;
  box.lpstrFile = path;
  box.nMaxFile = MAX_PATH;
  box.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // No check that the folder exists: a path in a missing one comes back, and the file's
  // creation says what is wrong with it.
  box.Flags = OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&box))
    return std::nullopt;
  return Utf8(path);
}

}  // namespace pixtrel::win32
