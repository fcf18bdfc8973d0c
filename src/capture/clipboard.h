// Placing a picture on the clipboard, the same way after every capture.
#pragma once

#include "core/bitmap.h"
#include "platform/platform.h"

namespace pixtrel {

// Open, empty, close; open, empty, the bitmap (and its palette, if it has one), close.
// No picture or an empty one leaves the clipboard empty. Raises
// "Impossible d'ouvrir le Presse-papiers" when another program holds it.
void PlaceOnClipboard(Platform& platform, const Bitmap& picture);

}  // namespace pixtrel
