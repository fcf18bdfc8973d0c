// A picture in memory, held in the device-independent layout that BMP files and DIB
// sections share: rows bottom-up, each padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pixtrel {

struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

// One colour-table entry as BMP files store it.
struct PaletteEntry {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

class Bitmap {
 public:
  // No picture at all, which is not the same as a 0 x 0 picture.
  Bitmap() = default;
  // Black pixels; depths 8, 4 and 1 get a colour table of 2^depth black entries.
  // Depth 16 is 5-5-5 with bit 15 unused; 32 is blue, green, red, unused.
  Bitmap(int width, int height, int depth);
  // The same as assigning Bitmap() or Bitmap(width, height, depth), but the pixel memory is
  // kept for reuse: a capture a frame makes no new pages to fault in.
  void Clear();
  void Reset(int width, int height, int depth);

  bool Empty() const { return depth_ == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Depth() const { return depth_; }
  std::size_t Stride() const { return stride_; }
  static std::size_t StrideFor(int width, int depth);

  // Row y counted from the top of the picture.
  std::uint8_t* Row(int y) { return pixels_.data() + RowOffset(y); }
  const std::uint8_t* Row(int y) const { return pixels_.data() + RowOffset(y); }
  // The whole pixel block, bottom row first.
  std::span<const std::uint8_t> Pixels() const { return pixels_; }
  std::span<std::uint8_t> Pixels() { return pixels_; }

  std::vector<PaletteEntry>& Palette() { return palette_; }
  const std::vector<PaletteEntry>& Palette() const { return palette_; }

  Color PixelColor(int x, int y) const;
  // Depths above 8 only; palette pictures are written by index.
  void SetPixelColor(int x, int y, Color color);

  // A 24-bit copy (blue, green, red) of any depth: 16-bit channels widened to 8 bits,
  // palette indexes replaced by their colours.
  Bitmap ToBgr24() const;

 private:
  std::size_t RowOffset(int y) const { return static_cast<std::size_t>(height_ - 1 - y) * stride_; }

  int width_ = 0;
  int height_ = 0;
  int depth_ = 0;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> pixels_;
  std::vector<PaletteEntry> palette_;
};

}  // namespace pixtrel
