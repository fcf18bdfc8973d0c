#include "capture/clipboard.h"

#include "core/error.h"

namespace pixtrel {
namespace {

// Closes the clipboard on every path, errors included.
class ClipboardSession {
 public:
  explicit ClipboardSession(Platform& platform) : platform_(platform) {
    if (!platform_.ClipboardOpen())
      throw Error("Impossible d'ouvrir le Presse-papiers");
  }
  ~ClipboardSession() { platform_.ClipboardClose(); }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;

 private:
  Platform& platform_;
};

}  // namespace

void PlaceOnClipboard(Platform& platform, const Bitmap& picture) {
  {
    ClipboardSession clipboard(platform);
    platform.ClipboardEmpty();
  }
  ClipboardSession clipboard(platform);
  platform.ClipboardEmpty();
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return;
  platform.ClipboardSetBitmap(picture);
  if (picture.Depth() <= 8)
    platform.ClipboardSetPalette(picture);
}

}  // namespace pixtrel
