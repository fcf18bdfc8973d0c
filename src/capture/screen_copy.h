// The rule every screen copy follows, whatever copies the pixels: what lies beyond the screen is
// black, and everything is black when the copy fails. A 32-bit pixel's fourth byte is cleared
// where the pixels are copied anyway; where the system writes into the picture itself it keeps
// what the screen had, and writers clear it.
#pragma once

#include <cstdint>
#include <functional>

#include "core/bitmap.h"
#include "ui/ui.h"

namespace pixtrel {

// Copies the screen rectangle `from` into the picture with its top-left corner at `to`; false
// if the system could not.
using CopyPart = std::function<bool(const ui::Rect& from, ui::Point to)>;

// Fills every pixel of `into` from the screen at (x, y): `screen` is what can be copied, in
// the same coordinates, and `copy` copies the part that lies on it.
void CopyFromScreen(Bitmap& into, int x, int y, const ui::Rect& screen, const CopyPart& copy);

// `width` 32-bit pixels from `in` to `out`, the fourth byte of each cleared: a system leaves
// there whatever a window drew.
void CopyOpaquePixels(std::uint8_t* out, const void* in, int width);

}  // namespace pixtrel
