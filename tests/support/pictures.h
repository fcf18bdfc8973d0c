// Pictures with known, varied pixels for the writer tests.
#pragma once

#include <string>

#include "core/bitmap.h"

namespace pixtrel::test {

// Every pixel differs from its neighbours; palette depths get a colour table of distinct
// colours and indexes that use all of it.
Bitmap SamplePicture(int width, int height, int depth);

// A binary PPM of the picture's colours, as cjpeg reads it.
std::string ToPpm(const Bitmap& picture);

}  // namespace pixtrel::test
