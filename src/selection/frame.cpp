#include "selection/frame.h"

#include <algorithm>
#include <cstring>

namespace pixtrel {
namespace {

unsigned NearestIndex(const Bitmap& picture, Color color) {
  unsigned best = 0;
  int best_distance = 1 << 30;
  for (unsigned i = 0; i < picture.Palette().size(); ++i) {
    const PaletteEntry& e = picture.Palette()[i];
    const int distance = (e.red - color.red) * (e.red - color.red) +
                         (e.green - color.green) * (e.green - color.green) +
                         (e.blue - color.blue) * (e.blue - color.blue);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return best;
}

void Plot(Bitmap& picture, int x, int y, Color color, unsigned index) {
  if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height())
    return;
  if (picture.Depth() > 8) {
    picture.SetPixelColor(x, y, color);
    return;
  }
  const int depth = picture.Depth();
  const int per_byte = 8 / depth;
  const int shift = (per_byte - 1 - x % per_byte) * depth;
  std::uint8_t& byte = picture.Row(y)[x / per_byte];
  const unsigned mask = ((1u << depth) - 1) << shift;
  byte = static_cast<std::uint8_t>((byte & ~mask) | (index << shift));
}

}  // namespace

void DrawFrame(Bitmap& picture, const Edges& e, Color color) {
  if (picture.Empty() || e.right <= e.left || e.bottom <= e.top)
    return;
  const unsigned index = picture.Depth() <= 8 ? NearestIndex(picture, color) : 0;
  for (int x = e.left; x < e.right; ++x) {
    Plot(picture, x, e.top, color, index);
    Plot(picture, x, e.bottom - 1, color, index);
  }
  for (int y = e.top; y < e.bottom; ++y) {
    Plot(picture, e.left, y, color, index);
    Plot(picture, e.right - 1, y, color, index);
  }
}

void RestoreArea(Bitmap& picture, const Bitmap& saved, const Edges& e) {
  if (picture.Empty() || saved.Empty() || picture.Depth() != saved.Depth())
    return;
  const int left = std::max(0, e.left);
  const int top = std::max(0, e.top);
  const int right = std::min({e.right, picture.Width(), saved.Width()});
  const int bottom = std::min({e.bottom, picture.Height(), saved.Height()});
  if (right <= left || bottom <= top)
    return;
  const int depth = picture.Depth();
  for (int y = top; y < bottom; ++y) {
    if (depth >= 8) {
      const std::size_t bytes = static_cast<std::size_t>(depth / 8);
      std::memcpy(picture.Row(y) + left * bytes, saved.Row(y) + left * bytes,
                  (right - left) * bytes);
    } else {
      for (int x = left; x < right; ++x) {
        const int per_byte = 8 / depth;
        const int shift = (per_byte - 1 - x % per_byte) * depth;
        const unsigned mask = ((1u << depth) - 1) << shift;
        std::uint8_t& byte = picture.Row(y)[x / per_byte];
        byte = static_cast<std::uint8_t>((byte & ~mask) | (saved.Row(y)[x / per_byte] & mask));
      }
    }
  }
}

}  // namespace pixtrel
