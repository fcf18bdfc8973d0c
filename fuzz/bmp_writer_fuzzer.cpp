// SaveBmp on random pictures, read back by a decoder of its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/bmp_writer.h"
#include "check.h"
#include "core/error.h"
#include "picture_input.h"

namespace pixtrel {
namespace {

using fuzz::Disk;
using fuzz::Refusal;

std::uint32_t Get(std::string_view file, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | static_cast<std::uint8_t>(file[at + static_cast<std::size_t>(i)]);
  return value;
}

std::uint8_t Widen5(unsigned v) {
  return static_cast<std::uint8_t>(v << 3 | v >> 2);
}

// One pixel of a BI_RGB row, as any BMP reader sees it.
Color Decode(std::string_view row, std::string_view table, int x, int depth) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(row[i]); };
  const auto at = static_cast<std::size_t>(x);
  switch (depth) {
    case 32:
      return {byte(at * 4 + 2), byte(at * 4 + 1), byte(at * 4)};
    case 24:
      return {byte(at * 3 + 2), byte(at * 3 + 1), byte(at * 3)};
    case 16: {
      const unsigned word = byte(at * 2) | byte(at * 2 + 1) << 8;
      return {Widen5(word >> 10 & 31), Widen5(word >> 5 & 31), Widen5(word & 31)};
    }
    default: {
      // The leftmost pixel sits in the high bits of its byte.
      const std::size_t bit = at * static_cast<std::size_t>(depth);
      const unsigned index = byte(bit / 8) >> (8 - depth - bit % 8) & ((1u << depth) - 1);
      const std::string_view entry = table.substr(index * 4, 4);
      return {static_cast<std::uint8_t>(entry[2]), static_cast<std::uint8_t>(entry[1]),
              static_cast<std::uint8_t>(entry[0])};
    }
  }
}

void CheckFile(std::string_view file, const Bitmap& picture) {
  const int width = picture.Width();
  const int height = picture.Height();
  const int depth = picture.Depth();
  const std::string shape =
      std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  if (width == 0 || height == 0) {
    FUZZ_CHECK(file.empty(), {"shape", shape});
    return;
  }
  const std::size_t stride = (static_cast<std::size_t>(width) * depth + 31) / 32 * 4;
  const std::size_t block = stride * static_cast<std::size_t>(height);
  const std::uint32_t colours = depth <= 8 ? 1u << depth : 0;
  const std::size_t offset = 14 + 40 + 4 * colours;
  FUZZ_CHECK(file.size() == offset + block, {"shape", shape}, {"file", file});
  FUZZ_CHECK(file.substr(0, 2) == "BM" && Get(file, 2, 4) == file.size() && Get(file, 6, 4) == 0 &&
                 Get(file, 10, 4) == offset,
             {"shape", shape}, {"file header", file.substr(0, 14)});
  // Positive height: bottom-up rows. Compression 0: BI_RGB, which makes 16 bits 5-5-5.
  FUZZ_CHECK(Get(file, 14, 4) == 40 && Get(file, 18, 4) == static_cast<std::uint32_t>(width) &&
                 Get(file, 22, 4) == static_cast<std::uint32_t>(height) && Get(file, 26, 2) == 1 &&
                 Get(file, 28, 2) == static_cast<std::uint32_t>(depth) && Get(file, 30, 4) == 0 &&
                 Get(file, 34, 4) == block && Get(file, 46, 4) == colours && Get(file, 50, 4) == 0,
             {"shape", shape}, {"info header", file.substr(14, 40)});

  // Entries the picture lacks are written black.
  const std::string_view table = file.substr(54, 4 * colours);
  const auto& palette = picture.Palette();
  for (std::size_t i = 0; i < colours; ++i) {
    const PaletteEntry entry = i < palette.size() ? palette[i] : PaletteEntry{};
    const std::string expected = {static_cast<char>(entry.blue), static_cast<char>(entry.green),
                                  static_cast<char>(entry.red), 0};
    FUZZ_CHECK(table.substr(i * 4, 4) == expected, {"shape", shape}, {"table", table});
  }

  for (int y = 0; y < height; ++y) {
    const std::size_t from_bottom = static_cast<std::size_t>(height - 1 - y);
    const std::string_view row = file.substr(offset + from_bottom * stride, stride);
    // The picture's row as it is, but for a 32-bit pixel's fourth byte, which a file holds as 0.
    std::string own(reinterpret_cast<const char*>(picture.Row(y)), stride);
    if (depth == 32) {
      for (std::size_t i = 3; i < own.size(); i += 4)
        own[i] = 0;
    }
    FUZZ_CHECK(row == own, {"shape", shape}, {"row in file", row}, {"row", own});
    if (palette.size() < colours)
      continue;
    for (int x = 0; x < width; ++x) {
      const Color got = Decode(row, table, x, depth);
      const Color expected = picture.PixelColor(x, y);
      FUZZ_CHECK(got == expected, {"shape", shape}, {"row", row});
    }
  }
}

}  // namespace
}  // namespace pixtrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pixtrel;
  FuzzedDataProvider in(data, size);
  Disk disk;
  fuzz::ConsumeDisk(in, disk);
  const Bitmap picture = fuzz::ConsumePicture(in, fuzz::PaletteSize::kAny);

  bool refused = false;
  try {
    SaveBmp(picture, disk.path, disk.files);
  } catch (const Error&) {
    refused = true;
  }
  const std::string& file = disk.files.files[disk.path];
  if (picture.Empty()) {
    FUZZ_CHECK(!refused && disk.files.started == 0 && file == disk.old_content);
    return 0;
  }
  const bool whole = picture.Width() > 0 && picture.Height() > 0;
  const std::size_t length =
      whole ? 54 + (picture.Depth() <= 8 ? 4u << picture.Depth() : 0) + picture.Pixels().size() : 0;
  const bool expect_refusal =
      disk.refusal == Refusal::kStart || disk.refusal == Refusal::kCommit ||
      (disk.refusal == Refusal::kShortWrite && disk.files.accept_bytes < length);
  FUZZ_CHECK(refused == expect_refusal, {"file", file});
  // A refused file leaves the old one whole.
  if (refused)
    FUZZ_CHECK(file == disk.old_content, {"file", file});
  else
    CheckFile(file, picture);
  return 0;
}
