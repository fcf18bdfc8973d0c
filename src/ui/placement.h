// Where an image shows its picture inside its client area, what it draws there, and what it
// repaints when the picture changes: the same on every backend.
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

// Unscaled at the top left when it fits the client exactly, centred when smaller, shrunk to fit
// and centred when larger (the overlay's frozen screen).
ui::Rect PlaceOverlayPicture(int width, int height, int client_width, int client_height);

namespace ui {

// Whether the image draws its picture scaled to fit both ways (RenderViewerImage) rather than
// unscaled where it fits (PlaceOverlayPicture).
inline bool ScalesPicture(const Image& image) {
  return image.stretch && image.proportional && image.center;
}
// Where the picture shows inside the image's client area.
Rect PictureRect(const Image& image, int client_width, int client_height);
// The part of the client area to repaint for the picture's changed_area.
Rect RepaintRect(const Image& image, int client_width, int client_height);
// A transparent picture's key colour is that of its bottom-left pixel.
inline Point TransparentKeyPixel(int /*width*/, int height) {
  return {0, height - 1};
}

}  // namespace ui

}  // namespace pixtrel
