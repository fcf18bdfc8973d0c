// Bringing the program's windows forward, in the ways Windows grants a program that polls its
// key instead of being given the keystroke; and waiting until what they drew is on screen.
#pragma once

namespace pixtrel::win32 {

// Makes the window (an HWND) the foreground window, even right after a polled hotkey.
void TakeForeground(void* window);
// The way round the rule that TakeForeground falls back on; true once the window is in front.
bool ForegroundThroughHotkey(void* window);

// The desktop compositor's two calls, found at run time: Windows before Vista has neither.
struct Composition {
  bool (*enabled)() = nullptr;
  void (*flush)() = nullptr;
  static Composition System();
};
// With composition on, what a window drew reaches the screen a copy sees only at the
// compositor's next frame: this waits for it.
void WaitForComposition(const Composition& composition);

}  // namespace pixtrel::win32
