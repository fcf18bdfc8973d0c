// What a Linux desktop session gives the Qt program besides its own windows: the screen's
// pixels, the active window and the global state of keys. X11 answers from the server; a
// Wayland session from the compositor's and the portals' services.
#pragma once

#include <cstdint>

#include "core/bitmap.h"
#include "platform/platform.h"
#include "ui/ui.h"

namespace pixtrel {

class Desktop {
 public:
  virtual ~Desktop() = default;

  // The primary monitor; screen coordinates everywhere else count from its top-left corner.
  virtual ui::Rect PrimaryRect() = 0;
  virtual int Depth() = 0;
  // Fills `into` from the screen at (x, y); pixels outside the screen come out black.
  virtual void CopyScreen(Bitmap& into, int x, int y) = 0;

  virtual WindowHandle ForegroundWindow() = 0;
  virtual ui::Rect WindowRect(WindowHandle window) = 0;  // with its frame
  virtual ui::Rect ClientRect(WindowHandle window) = 0;  // left 0, top 0
  virtual void CopyClient(WindowHandle window, Bitmap& into) = 0;

  // Bit 15: down now; bit 0: pressed since the last query of that key. Windows key codes.
  virtual std::uint16_t AsyncKeyState(std::uint8_t key) = 0;
  virtual ui::Point CursorPos() = 0;

  // The key the program polls from now on, for a desktop that must reserve it first.
  virtual void WatchKey(std::uint8_t) {}
  // Waits until the display has drawn what the program painted, before a copy reads it.
  virtual void Sync() {}
};

}  // namespace pixtrel
