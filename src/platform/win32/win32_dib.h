// What GDI must be told about a Bitmap's pixels, which are already in its device-independent
// layout.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bitmap.h"

namespace pixtrel::win32 {

// A BITMAPINFO for `picture`: top-down, uncompressed, at its depth, followed by its colour
// table. Words rather than the struct, so that this header needs no <windows.h>.
std::vector<std::uint32_t> DibInfo(const Bitmap& picture);

}  // namespace pixtrel::win32
