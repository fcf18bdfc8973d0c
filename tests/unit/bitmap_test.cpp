#include "core/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "support/pictures.h"

namespace pixtrel {
namespace {

TEST(Bitmap, NoPictureIsNotAZeroByZeroPicture) {
  const Bitmap none;
  EXPECT_TRUE(none.Empty());
  const Bitmap zero(0, 0, 32);
  EXPECT_FALSE(zero.Empty());
  EXPECT_EQ(zero.Width(), 0);
  EXPECT_EQ(zero.Height(), 0);
  EXPECT_EQ(zero.Pixels().size(), 0u);
  EXPECT_TRUE(zero.ToBgr24().Depth() == 24 && !zero.ToBgr24().Empty());
  EXPECT_TRUE(none.ToBgr24().Empty());
}

TEST(Bitmap, RowsArePaddedToFourBytesAndStoredTopDown) {
  struct Case {
    int width, depth;
    std::size_t stride;
  };
  const Case cases[] = {{1, 32, 4}, {3, 32, 12}, {1, 24, 4}, {3, 24, 12}, {4, 24, 12},
                        {1, 16, 4}, {3, 16, 8},  {5, 8, 8},  {4, 8, 4},   {9, 4, 8},
                        {8, 4, 4},  {33, 1, 8},  {32, 1, 4}, {0, 32, 0},  {1920, 32, 7680}};
  for (const Case& c : cases) {
    Bitmap picture(c.width, 3, c.depth);
    EXPECT_EQ(picture.Stride(), c.stride) << c.width << " at " << c.depth;
    EXPECT_EQ(picture.Pixels().size(), c.stride * 3);
    if (c.width > 0) {
      EXPECT_EQ(picture.Row(0), picture.Pixels().data());
      EXPECT_EQ(picture.Row(2), picture.Pixels().data() + 2 * c.stride);
    }
  }
}

TEST(Bitmap, PaletteDepthsStartWithAFullBlackTable) {
  for (int depth : {1, 4, 8}) {
    Bitmap picture(2, 2, depth);
    EXPECT_EQ(picture.Palette().size(), std::size_t{1} << depth);
    EXPECT_EQ(picture.PixelColor(1, 1), Color{});
  }
  EXPECT_TRUE(Bitmap(2, 2, 16).Palette().empty());
}

TEST(Bitmap, AReusedPictureIsExactlyAFreshOne) {
  // Each shape in turn on one picture that still holds the last one's pixels.
  Bitmap reused = test::SamplePicture(40, 30, 32);
  const int shapes[][3] = {{40, 30, 32}, {7, 5, 8}, {13, 2, 24}, {0, 0, 32}, {3, 3, 1}};
  for (const auto& s : shapes) {
    reused.Reset(s[0], s[1], s[2]);
    const Bitmap fresh(s[0], s[1], s[2]);
    EXPECT_EQ(reused.Width(), fresh.Width());
    EXPECT_EQ(reused.Height(), fresh.Height());
    EXPECT_EQ(reused.Depth(), fresh.Depth());
    EXPECT_EQ(reused.Stride(), fresh.Stride());
    EXPECT_TRUE(std::equal(reused.Pixels().begin(), reused.Pixels().end(), fresh.Pixels().begin(),
                           fresh.Pixels().end()));
    EXPECT_EQ(reused.Palette(), fresh.Palette());
    std::fill(reused.Pixels().begin(), reused.Pixels().end(), 0xAB);  // dirty again
  }
  reused.Clear();
  EXPECT_TRUE(reused.Empty());
  EXPECT_EQ(reused.Pixels().size(), 0u);
  EXPECT_TRUE(reused.Palette().empty());
  EXPECT_THROW(reused.Reset(2, 2, 3), std::invalid_argument);
  EXPECT_TRUE(reused.Empty());
}

TEST(Bitmap, ACopyNeverSeesTheOriginalsLaterWrites) {
  using Write = void (*)(Bitmap&);
  const Write writes[] = {
      [](Bitmap& b) { b.Row(1)[0] = 0x11; },
      [](Bitmap& b) { b.Pixels()[5] = 0x22; },
      [](Bitmap& b) {
        b.SetPixelColor(2, 2, {1, 2, 3});
      },
      [](Bitmap& b) { b.Reset(4, 4, 32); },
      [](Bitmap& b) { b.Reset(9, 1, 24); },
      [](Bitmap& b) { b.Clear(); },
  };
  for (const Write write : writes) {
    Bitmap original = test::SamplePicture(4, 4, 32);
    const Bitmap before = original.ToBgr24();
    const Bitmap copy = original;
    EXPECT_TRUE(copy.SharesPixelsWith(original));
    write(original);
    EXPECT_FALSE(copy.SharesPixelsWith(original));
    const Bitmap after = copy.ToBgr24();
    EXPECT_TRUE(std::ranges::equal(after.Pixels(), before.Pixels()));
  }
}

TEST(Bitmap, HeldKeyFramesTakeTurnsBetweenTwoBlocks) {
  // Each frame is shared (the clipboard) until the next one replaces it there.
  Bitmap frame;
  Bitmap clipboard;
  std::vector<const std::uint8_t*> blocks;
  for (int i = 0; i < 6; ++i) {
    frame.Reset(64, 64, 32);
    frame.Row(0)[0] = static_cast<std::uint8_t>(i);
    clipboard = frame;
    blocks.push_back(std::as_const(frame).Pixels().data());
    EXPECT_EQ(std::as_const(clipboard).Row(0)[0], i);
  }
  EXPECT_EQ(blocks[2], blocks[0]);
  EXPECT_EQ(blocks[3], blocks[1]);
  EXPECT_EQ(blocks[5], blocks[1]);
  EXPECT_NE(blocks[0], blocks[1]);
}

TEST(Bitmap, RefusesImpossibleShapes) {
  EXPECT_THROW(Bitmap(-1, 2, 32), std::invalid_argument);
  EXPECT_THROW(Bitmap(2, -1, 32), std::invalid_argument);
  for (int depth : {0, 2, 15, 48})
    EXPECT_THROW(Bitmap(2, 2, depth), std::invalid_argument);
}

TEST(Bitmap, SixteenBitsAreFiveFiveFiveWidenedToFullRange) {
  Bitmap picture(3, 1, 16);
  picture.SetPixelColor(0, 0, {255, 255, 255});
  picture.SetPixelColor(1, 0, {0x84, 0x42, 0x08});
  picture.SetPixelColor(2, 0, {255, 0, 0});
  const std::uint8_t* row = picture.Row(0);
  EXPECT_EQ(row[0] | (row[1] << 8), 0x7FFF);  // bit 15 stays clear
  EXPECT_EQ(row[4] | (row[5] << 8), 0x7C00);
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{255, 255, 255}));
  EXPECT_EQ(picture.PixelColor(1, 0), (Color{0x84, 0x42, 0x08}));
  EXPECT_EQ(picture.PixelColor(2, 0), (Color{255, 0, 0}));
}

TEST(Bitmap, TwentyFourBitCopyKeepsEveryColourAtEveryDepth) {
  for (int depth : {32, 24, 16, 8, 4, 1}) {
    for (const auto& [w, h] : {std::pair{1, 1}, {7, 3}, {33, 2}}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " at " << depth);
      const Bitmap picture = test::SamplePicture(w, h, depth);
      const Bitmap copy = picture.ToBgr24();
      ASSERT_EQ(copy.Depth(), 24);
      ASSERT_EQ(copy.Width(), w);
      ASSERT_EQ(copy.Height(), h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(copy.PixelColor(x, y), picture.PixelColor(x, y)) << x << "," << y;
        }
      }
    }
  }
}

TEST(Bitmap, PaletteIndexesPutTheLeftmostPixelInTheHighBits) {
  Bitmap picture(8, 1, 1);
  picture.Palette()[1] = {255, 255, 255, 0};
  picture.Row(0)[0] = 0x80;
  EXPECT_EQ(picture.PixelColor(0, 0), (Color{255, 255, 255}));
  EXPECT_EQ(picture.PixelColor(1, 0), Color{});

  Bitmap nibbles(2, 1, 4);
  nibbles.Palette()[0xA] = {1, 2, 3, 0};
  nibbles.Row(0)[0] = 0xA0;
  EXPECT_EQ(nibbles.PixelColor(0, 0), (Color{3, 2, 1}));
  EXPECT_EQ(nibbles.PixelColor(1, 0), Color{});
}

// A backend's memory comes and goes with its connection while pictures live on: each block
// must go back to the memory it came from, whatever is installed by then.
TEST(Bitmap, EveryBlockGoesBackToTheMemoryItCameFrom) {
  struct Counted final : PixelMemory {
    std::vector<std::uint8_t*> live;
    std::uint8_t* Allocate(std::size_t bytes) override {
      live.push_back(new std::uint8_t[bytes]());
      return live.back();
    }
    void Free(std::uint8_t* block, std::size_t) override {
      const auto at = std::find(live.begin(), live.end(), block);
      ASSERT_NE(at, live.end()) << "a block this memory never gave";
      live.erase(at);
      delete[] block;
    }
  };
  const auto counted = std::make_shared<Counted>();
  {
    PixelMemory::Use(counted);
    Bitmap first(64, 64, 32);
    Bitmap second = first;
    second.Row(0)[0] = 1;  // a block of its own, from the same memory
    PixelMemory::Use(nullptr);
    first.Reset(128, 128, 32);  // bigger blocks, from the heap
    second.Reset(128, 128, 32);
    Bitmap third = second;
    third.Row(127)[511] = 1;
    EXPECT_FALSE(counted->live.empty()) << "kept as spares";
  }
  EXPECT_TRUE(counted->live.empty());
}

}  // namespace
}  // namespace pixtrel
