// Uncompressed Windows BMP files at the picture's own depth.
#pragma once

#include <string>

#include "core/bitmap.h"
#include "core/files.h"

namespace pixtrel {

// No picture: nothing at all. A 0 x 0 picture: an empty file. The old file of that name
// is replaced only once the new one is complete.
void SaveBmp(const Bitmap& capture, const std::string& path, Files& files);

}  // namespace pixtrel
