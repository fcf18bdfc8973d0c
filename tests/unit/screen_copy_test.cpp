// The rule every screen copy follows, with a copier that paints what it is asked for white.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "capture/screen_copy.h"

namespace pixtrel {
namespace {

TEST(ScreenCopy, OnlyTheScreensPartIsCopiedAndTheRestIsBlack) {
  const ui::Rect screen{-10, 0, 100, 50};  // a monitor left of the primary one
  const struct {
    const char* name;
    int x, y, width, height;
    bool copier_works;
    std::optional<ui::Rect> asked;  // the screen area the copier is asked for
    ui::Rect white;                 // where the picture is white afterwards, the rest black
  } rows[] = {
      {"inside", 0, 0, 20, 10, true, ui::Rect{0, 0, 20, 10}, {0, 0, 20, 10}},
      {"over the left edge", -15, 5, 10, 10, true, ui::Rect{-10, 5, 5, 10}, {5, 0, 5, 10}},
      {"over the bottom right", 85, 45, 10, 10, true, ui::Rect{85, 45, 5, 5}, {0, 0, 5, 5}},
      {"beyond", 200, 0, 10, 10, true, std::nullopt, {}},
      {"refused", 0, 0, 20, 10, false, ui::Rect{0, 0, 20, 10}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bitmap picture(row.width, row.height, 32);
    std::fill(picture.Pixels().begin(), picture.Pixels().end(), 0x77);  // the last frame's
    std::optional<ui::Rect> asked;
    CopyFromScreen(picture, row.x, row.y, screen, [&](const ui::Rect& from, ui::Point to) {
      asked = from;
      EXPECT_EQ(to, (ui::Point{from.left - row.x, from.top - row.y}));
      for (int y = to.y; y < to.y + from.height; ++y) {
        for (int x = to.x; x < to.x + from.width; ++x)
          picture.SetPixelColor(x, y, {255, 255, 255});
      }
      return row.copier_works;
    });
    EXPECT_EQ(asked, row.asked);
    for (int y = 0; y < row.height; ++y) {
      for (int x = 0; x < row.width; ++x) {
        const bool white = x >= row.white.left && x < row.white.left + row.white.width &&
                           y >= row.white.top && y < row.white.top + row.white.height;
        const Color expected = white ? Color{255, 255, 255} : Color{};
        ASSERT_EQ(picture.PixelColor(x, y), expected) << x << "," << y;
      }
    }
  }
}

TEST(ScreenCopy, TheFourthByteIsClearedWhateverTheSystemLeftThere) {
  const std::uint32_t in[6] = {0xFF112233, 0x80445566, 0x00778899,
                               0xFFFFFFFF, 0x12ABCDEF, 0xFF000000};
  std::uint8_t out[24];
  CopyOpaquePixels(out, in, 6);
  for (int i = 0; i < 6; ++i) {
    std::uint32_t pixel;
    std::memcpy(&pixel, out + i * 4, 4);
    EXPECT_EQ(pixel, in[i] & 0x00FFFFFFu) << i;
  }
}

}  // namespace
}  // namespace pixtrel
