#include "capture/clipboard.h"

#include "core/error.h"

namespace pixtrel {
namespace {

// Closes the clipboard on every path, errors included.
class OpenClipboard {
 public:
  explicit OpenClipboard(Platform& platform) : platform_(platform) {
    if (!platform_.OpenClipboard())
      throw Error("Impossible d'ouvrir le Presse-papiers");
  }
  ~OpenClipboard() { platform_.CloseClipboard(); }
  OpenClipboard(const OpenClipboard&) = delete;
  OpenClipboard& operator=(const OpenClipboard&) = delete;

 private:
  Platform& platform_;
};

}  // namespace

void PlaceOnClipboard(Platform& platform, const Bitmap& picture) {
  {
    OpenClipboard clipboard(platform);
    platform.EmptyClipboard();
  }
  OpenClipboard clipboard(platform);
  platform.EmptyClipboard();
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return;
  platform.SetClipboardBitmap(picture);
  if (picture.Depth() <= 8)
    platform.SetClipboardPalette(picture);
}

}  // namespace pixtrel
