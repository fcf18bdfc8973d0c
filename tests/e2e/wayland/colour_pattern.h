// The content of the Wayland test window: each edge a colour of its own around a plain inside,
// so that a copy of it shifted or cut by a single pixel shows a wrong colour on some edge.
#pragma once

namespace pixtrel::test::colours {

struct Rgb {
  unsigned char red, green, blue;
};

inline constexpr Rgb kTop{255, 0, 0};
inline constexpr Rgb kBottom{0, 255, 0};
inline constexpr Rgb kLeft{0, 0, 255};
inline constexpr Rgb kRight{255, 255, 0};
inline constexpr Rgb kInside{40, 200, 160};

// The colour of pixel (x, y) of a width x height window; the corners go with the top and the
// bottom rows.
constexpr Rgb At(int x, int y, int width, int height) {
  if (y == 0)
    return kTop;
  if (y == height - 1)
    return kBottom;
  if (x == 0)
    return kLeft;
  if (x == width - 1)
    return kRight;
  return kInside;
}

}  // namespace pixtrel::test::colours
