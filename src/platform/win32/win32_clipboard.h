// The clipboard, opened and closed by the core around what it places there.
#pragma once

#include <optional>

#include "core/bitmap.h"
#include "platform/platform.h"
#include "platform/win32/scoped_win.h"

namespace pixtrel::win32 {

class Clipboard {
 public:
  // `owner` is the window the placed pictures belong to: emptied without one, the clipboard
  // refuses every picture until it is closed.
  bool Open(WindowHandle owner);
  void Empty();
  // A device-dependent bitmap of the picture, as CF_BITMAP, made when a program asks for it:
  // a held key's auto-record pays for one copy of the pixels a frame, not for a bitmap handed
  // through the system.
  void SetBitmap(const Bitmap& picture);
  // The colours of a picture of 8 bits or fewer, as CF_PALETTE, made on request the same way.
  void SetPalette(const Bitmap& picture);
  void Close();

  // A program asks for a format placed without its data (WM_RENDERFORMAT).
  void Render(unsigned format);
  // The owner window is about to go: everything placed is made now, so that it outlives the
  // program.
  void RenderAll(WindowHandle owner);

 private:
  std::optional<ScopedClipboard> session_;
  Bitmap held_;  // the picture placed last
  bool with_palette_ = false;
};

}  // namespace pixtrel::win32
