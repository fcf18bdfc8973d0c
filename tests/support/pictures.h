// Pictures with known, varied pixels for the writer tests.
#pragma once

#include <string>

#include "core/bitmap.h"
#include "ui/ui.h"

namespace pixtrel::test {

// Every pixel differs from its neighbours; palette depths get a colour table of distinct
// colours and indexes that use all of it.
Bitmap SamplePicture(int width, int height, int depth);

// A binary PPM of the picture's colours, as cjpeg reads it.
std::string ToPpm(const Bitmap& picture);

// A 32-bit copy of one area of a picture.
Bitmap Crop(const Bitmap& from, ui::Rect area);
// Pixels whose colours differ, or -1 when the sizes do.
int Differences(const Bitmap& a, const Bitmap& b);
// Pixels of the area that are not that colour.
int NotOfColour(const Bitmap& picture, ui::Rect area, Color colour);

}  // namespace pixtrel::test
