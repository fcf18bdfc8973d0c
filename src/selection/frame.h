// Drawing the selection frame into a picture, and taking it away again.
#pragma once

#include "core/bitmap.h"
#include "ui/ui.h"

namespace pixtrel {

// Left, top, right, bottom; right and bottom exclusive.
struct Edges {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const Edges&, const Edges&) = default;
};

// One pixel wide, on columns left and right - 1 and rows top and bottom - 1, clipped to the
// picture. Palette pictures take the entry nearest the colour.
void DrawFrame(Bitmap& picture, const Edges& edges, Color color);
// Copies the area from `saved` back onto `picture`, 1:1, clipped to both.
void RestoreArea(Bitmap& picture, const Bitmap& saved, const Edges& edges);

}  // namespace pixtrel
