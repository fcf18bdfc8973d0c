// Where the viewer draws a picture inside its image area, and the drawing itself.
#pragma once

#include "core/bitmap.h"
#include "ui/ui.h"

namespace pixtrel {

// Scaled to fit both ways, proportions kept as far as truncation allows, centred. A picture
// with no width or height fills the whole area.
ui::Rect PlacePicture(int width, int height, int area_width, int area_height);

// The image area as the viewer shows it: black, with the picture stretched into its place by
// dropping or repeating rows and columns. 32 bits a pixel.
Bitmap RenderViewerImage(const Bitmap& picture, int area_width, int area_height);

}  // namespace pixtrel
