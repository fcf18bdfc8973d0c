#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/win32/win32_foreground.h"

namespace pixtrel::win32 {
namespace {

// An id of the application's range, and a key that keyboards seldom have and no program of the
// user's is likely to watch.
constexpr int kForegroundHotkey = 0x7E57;
constexpr UINT kForegroundKey = VK_F22;
constexpr DWORD kHotkeyWait = 500;

bool Down(int key) {
  return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// A hot key matches only with exactly its modifiers: those the user still holds from the
// capture's own press (Alt, Ctrl or Shift with the hotkey) are part of it.
UINT HeldModifiers() {
  UINT modifiers = 0;
  if (Down(VK_MENU))
    modifiers |= MOD_ALT;
  if (Down(VK_CONTROL))
    modifiers |= MOD_CONTROL;
  if (Down(VK_SHIFT))
    modifiers |= MOD_SHIFT;
  if (Down(VK_LWIN) || Down(VK_RWIN))
    modifiers |= MOD_WIN;
  return modifiers;
}

INPUT Key(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace

void TakeForeground(void* window) {
  const HWND hwnd = static_cast<HWND>(window);
  if (GetForegroundWindow() == hwnd || SetForegroundWindow(hwnd))
    return;
  ForegroundThroughHotkey(hwnd);
}

// Windows hands the foreground only to the process that got the user's last input, and the
// hotkey press went to another program: the poll only watched it. So Windows refuses, and
// flashes the taskbar button instead. A hot key's message counts as input to the program that
// registered it (RegisterHotKey): the program registers one for a moment, presses it itself
// (SendInput), and takes the foreground when the message comes. The key press is the hot key's
// alone; no other program sees it. Attaching to the foreground thread's input instead would
// tie the two programs' input queues together, a hang of one then hanging both.
bool ForegroundThroughHotkey(void* window) {
  const HWND hwnd = static_cast<HWND>(window);
  if (!RegisterHotKey(nullptr, kForegroundHotkey, HeldModifiers() | MOD_NOREPEAT, kForegroundKey))
    return false;
  INPUT keys[] = {Key(kForegroundKey, false), Key(kForegroundKey, true)};
  bool taken = false;
  if (SendInput(2, keys, sizeof(INPUT)) == 2) {
    const DWORD start = GetTickCount();
    while (!taken && GetTickCount() - start < kHotkeyWait) {
      MSG message;
      // The hot key's message is the thread's, with no window.
      if (PeekMessageW(&message, reinterpret_cast<HWND>(-1), WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
        if (message.wParam == kForegroundHotkey)
          taken = SetForegroundWindow(hwnd) != FALSE;
        continue;
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_HOTKEY);
    }
  }
  UnregisterHotKey(nullptr, kForegroundHotkey);
  return taken && GetForegroundWindow() == hwnd;
}

// A function of a library loaded at run time, as the type it has.
template <class Function>
Function Find(HMODULE library, const char* name) {
  if (library == nullptr)
    return nullptr;
  // Through the one pointer type that casts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

Composition Composition::System() {
  static const HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
  static const auto enabled = Find<HRESULT(WINAPI*)(BOOL*)>(dwm, "DwmIsCompositionEnabled");
  static const auto flush = Find<HRESULT(WINAPI*)()>(dwm, "DwmFlush");
  if (enabled == nullptr || flush == nullptr)
    return {};
  return {[] {
            BOOL on = FALSE;
            return SUCCEEDED(enabled(&on)) && on;
          },
          [] { flush(); }};
}

void WaitForComposition(const Composition& composition) {
  if (composition.enabled != nullptr && composition.flush != nullptr && composition.enabled())
    composition.flush();
}

}  // namespace pixtrel::win32
