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
  // A device-dependent bitmap of the picture, as CF_BITMAP.
  void SetBitmap(const Bitmap& picture);
  // The colours of a picture of 8 bits or fewer, as CF_PALETTE.
  void SetPalette(const Bitmap& picture);
  void Close();

 private:
  std::optional<ScopedClipboard> session_;
};

}  // namespace pixtrel::win32
