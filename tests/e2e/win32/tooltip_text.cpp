// pixtrel_tooltip.exe [MS]: the text of the tooltip that is up, such as a tray icon's, once one
// shows within MS milliseconds (3000 by default). A tooltip's title is empty: only its
// WM_GETTEXT answers with the tip, and the driver finds windows by title.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (!IsWindowVisible(window) || lstrcmpiW(name, L"tooltips_class32") != 0)
    return TRUE;
  wchar_t text[256] = {};
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          1000, &copied) &&
      copied > 0) {
    *reinterpret_cast<std::wstring*>(data) = text;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const DWORD limit = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 3000;
  const DWORD start = GetTickCount();
  std::wstring text;
  for (;;) {
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&text));
    if (!text.empty())
      break;
    if (GetTickCount() - start > limit) {
      std::fputs("no tooltip is up\n", stderr);
      return 1;
    }
    Sleep(50);
  }
  char utf8[512] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("text=%s\n", utf8);
  return 0;
}
