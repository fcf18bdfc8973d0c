#include "capture/bmp_writer.h"

#include <gtest/gtest.h>

#include "support/memory_files.h"
#include "support/pictures.h"

namespace pixtrel {
namespace {

using test::MemoryFiles;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values)
    bytes += static_cast<char>(v);
  return bytes;
}

std::uint32_t Read32(const std::string& file, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(file.data()) + at;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Read16(const std::string& file, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(file.data()) + at;
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// A reader written from the file format alone, to check what the writer produced.
struct DecodedBmp {
  int width = 0, height = 0, depth = 0;
  std::vector<Color> pixels;  // top row first
};

DecodedBmp DecodeBmp(const std::string& file) {
  DecodedBmp bmp;
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(Read32(file, 2), file.size());
  EXPECT_EQ(Read32(file, 14), 40u);
  EXPECT_EQ(Read16(file, 26), 1);
  EXPECT_EQ(Read32(file, 30), 0u);
  bmp.width = static_cast<int>(Read32(file, 18));
  bmp.height = static_cast<int>(Read32(file, 22));
  bmp.depth = Read16(file, 28);
  const std::uint32_t colours = Read32(file, 46);
  EXPECT_EQ(colours, bmp.depth <= 8 ? 1u << bmp.depth : 0u);
  const std::uint32_t offset = Read32(file, 10);
  EXPECT_EQ(offset, 54 + 4 * colours);
  const std::size_t stride = (static_cast<std::size_t>(bmp.width) * bmp.depth + 31) / 32 * 4;
  EXPECT_EQ(Read32(file, 34), stride * bmp.height);
  EXPECT_EQ(file.size(), offset + stride * bmp.height);
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(file[at]); };
  for (int y = 0; y < bmp.height; ++y) {
    const std::size_t row = offset + stride * (bmp.height - 1 - y);
    for (int x = 0; x < bmp.width; ++x) {
      Color c;
      if (bmp.depth == 32 || bmp.depth == 24) {
        const std::size_t at = row + x * (bmp.depth / 8);
        c = {byte(at + 2), byte(at + 1), byte(at)};
      } else if (bmp.depth == 16) {
        const unsigned w = Read16(file, row + x * 2);
        auto widen = [](unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); };
        c = {widen(w >> 10 & 31), widen(w >> 5 & 31), widen(w & 31)};
      } else {
        const std::size_t bit = static_cast<std::size_t>(x) * bmp.depth;
        const unsigned index =
            byte(row + bit / 8) >> (8 - bmp.depth - bit % 8) & ((1u << bmp.depth) - 1);
        const std::size_t entry = 54 + 4 * index;
        c = {byte(entry + 2), byte(entry + 1), byte(entry)};
        EXPECT_EQ(byte(entry + 3), 0);
      }
      bmp.pixels.push_back(c);
    }
    for (std::size_t pad = row + (static_cast<std::size_t>(bmp.width) * bmp.depth + 7) / 8;
         pad < row + stride; ++pad) {
      EXPECT_EQ(byte(pad), 0) << "padding of row " << y;
    }
  }
  return bmp;
}

TEST(SaveBmp, OnePixelAtThirtyTwoBitsIsTheFiftyEightByteFile) {
  Bitmap picture(1, 1, 32);
  picture.SetPixelColor(0, 0, {0x30, 0x20, 0x10});
  MemoryFiles files;
  SaveBmp(picture, "/p/one.bmp", files);
  const std::string expected =
      Bytes({0x42, 0x4D, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0}) +
      Bytes({0x28, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0x20, 0, 0, 0, 0, 0, 4, 0, 0, 0}) +
      std::string(16, '\0') + Bytes({0x10, 0x20, 0x30, 0});
  EXPECT_EQ(files.files.at("/p/one.bmp"), expected);
}

TEST(SaveBmp, ThreeByTwoAtTwentyFourBitsPadsEachRowAndStartsAtTheBottom) {
  Bitmap picture(3, 2, 24);
  for (int x = 0; x < 3; ++x) {
    picture.SetPixelColor(x, 0, {static_cast<std::uint8_t>(x + 1), 0, 0});     // top row
    picture.SetPixelColor(x, 1, {0, 0, static_cast<std::uint8_t>(x + 0x11)});  // bottom row
  }
  MemoryFiles files;
  SaveBmp(picture, "/p/small.bmp", files);
  const std::string& file = files.files.at("/p/small.bmp");
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(Read32(file, 2), 78u);
  EXPECT_EQ(Read32(file, 34), 24u);
  EXPECT_EQ(file.substr(54), Bytes({0x11, 0, 0, 0x12, 0, 0, 0x13, 0, 0, 0, 0, 0,  // bottom
                                    0,    0, 1, 0,    0, 2, 0,    0, 3, 0, 0, 0}));
}

TEST(SaveBmp, EveryDepthDecodesToThePictureItWasGiven) {
  for (int depth : {32, 24, 16, 8, 4, 1}) {
    for (const auto& [w, h] : {std::pair{1, 1}, {3, 2}, {5, 7}, {33, 4}, {64, 1}}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " at " << depth);
      const Bitmap picture = test::SamplePicture(w, h, depth);
      MemoryFiles files;
      SaveBmp(picture, "/p/x.bmp", files);
      const DecodedBmp bmp = DecodeBmp(files.files.at("/p/x.bmp"));
      ASSERT_EQ(bmp.width, w);
      ASSERT_EQ(bmp.height, h);
      ASSERT_EQ(bmp.depth, depth);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(bmp.pixels[static_cast<std::size_t>(y * w + x)], picture.PixelColor(x, y))
              << x << "," << y;
        }
      }
    }
  }
}

TEST(SaveBmp, WritesThePixelBlockInAFewLargeWritesOfWholeRows) {
  MemoryFiles files;
  SaveBmp(test::SamplePicture(1920, 1080, 32), "/p/screen.bmp", files);
  ASSERT_GE(files.write_sizes.size(), 2u);
  EXPECT_EQ(files.write_sizes.front(), 54u);
  std::size_t block = 0;
  for (std::size_t i = 1; i < files.write_sizes.size(); ++i) {
    const std::size_t size = files.write_sizes[i];
    EXPECT_EQ(size % 7680, 0u) << "write " << i << " splits a row";
    // All but the last are as large as a band allows.
    if (i + 1 < files.write_sizes.size()) {
      EXPECT_GE(size, 512u * 1024) << "write " << i;
    }
    EXPECT_LE(size, 1024u * 1024) << "write " << i;
    block += size;
  }
  EXPECT_EQ(block, 8294400u);
  EXPECT_LE(files.write_sizes.size(), 1u + 9);
  EXPECT_EQ(files.files.at("/p/screen.bmp").size(), 8294454u);

  files.write_sizes.clear();
  SaveBmp(test::SamplePicture(10, 10, 8), "/p/palette.bmp", files);
  EXPECT_EQ(files.write_sizes, (std::vector<std::size_t>{54 + 1024, 120}));
}

TEST(SaveBmp, WithoutAPictureDoesNothingAtAll) {
  MemoryFiles files;
  files.files["/p/old.bmp"] = "old";
  SaveBmp(Bitmap(), "/p/old.bmp", files);
  EXPECT_EQ(files.started, 0);
  EXPECT_EQ(files.files.at("/p/old.bmp"), "old");
}

}  // namespace
}  // namespace pixtrel
