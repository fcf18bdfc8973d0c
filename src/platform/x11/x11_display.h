// The X server as the core needs it, with no toolkit: the primary monitor's pixels, the active
// window, and the global state of keys and mouse buttons. Opens its own connection, so that the
// toolkit's event loop never swallows the input events it listens to.
#pragma once

#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "platform/desktop.h"
#include "platform/platform.h"
#include "ui/ui.h"

namespace pixtrel {

// Ends the program at once with one line on standard error and exit code 1: the X server is
// gone, and with it every window the program had.
[[noreturn]] void ExitOnLostServer();

class X11Display : public Desktop {
 public:
  // Connects to $DISPLAY; throws Error when there is no X server.
  X11Display();
  ~X11Display() override;
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  // The primary monitor (RandR), or the whole root window where RandR names none. Screen
  // coordinates everywhere else count from its top-left corner.
  ui::Rect PrimaryRect() override;
  // 32 for 24-bit TrueColor, else the visual's depth (16, 8...).
  int Depth() override;
  // Fills `into` from the screen at (x, y); pixels outside the screen come out black.
  void CopyScreen(Bitmap& into, int x, int y) override;

  WindowHandle ForegroundWindow() override;
  ui::Rect WindowRect(WindowHandle window) override;  // with the frame the window manager adds
  ui::Rect ClientRect(WindowHandle window) override;
  void CopyClient(WindowHandle window, Bitmap& into) override;

  // Bit 15: down now; bit 0: pressed since the last query of that key. Windows key codes.
  std::uint16_t AsyncKeyState(std::uint8_t key) override;
  ui::Point CursorPos() override;

 private:
  ui::Rect AskPrimaryRect();
  // Copies the root window's area `from` into `into` at (dx, dy); false if the server refused.
  bool CopyRootArea(const ui::Rect& from, Bitmap& into, int dx, int dy);
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pixtrel
