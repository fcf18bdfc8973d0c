// Pictures to and from the files other programs write and read (PNG, BMP, JPEG), through Qt.
#pragma once

#include <string>

#include "core/bitmap.h"

namespace pixtrel::test {

// A picture read from a PNG, BMP or JPEG file's bytes; empty when it is none.
Bitmap DecodeImage(const std::string& bytes);

// Writes the picture as a PNG file; false if it could not.
bool SavePng(const Bitmap& picture, const std::string& path);

}  // namespace pixtrel::test
