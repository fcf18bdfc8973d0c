// A picture in memory, in the device-independent layout of DIB sections: rows top-down (a
// negative-height DIB, the order in which screens hand their pixels over), each padded to a
// multiple of 4 bytes. Code that reads or writes pixels goes through Row(), never counting rows
// itself; a BMP file's bottom-up rows are its writer's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// Where pictures' pixel blocks come from. The heap unless a backend installs memory that its
// screen copies can write into directly (X's shared memory): a capture then lands in the
// picture with no copy.
class PixelMemory {
 public:
  virtual ~PixelMemory() = default;
  // `bytes` of zeroes; never null.
  virtual std::uint8_t* Allocate(std::size_t bytes) = 0;
  virtual void Free(std::uint8_t* block, std::size_t bytes) = 0;

  // Blocks allocated from now on come from `memory` (nullptr: the heap); each goes back to the
  // one it came from.
  static void Use(std::shared_ptr<PixelMemory> memory);
};

// Copies share their pixel memory until one of them writes, so that a capture can be both the
// picture on screen and the one on the clipboard without being copied. Every writing accessor
// first takes a block of its own.
class Bitmap {
 public:
  // No picture at all, which is not the same as a 0 x 0 picture.
  Bitmap() = default;
  // Black pixels; depths 8, 4 and 1 get a colour table of 2^depth black entries.
  // Depth 16 is 5-5-5 with bit 15 unused; 32 is blue, green, red, unused (which may hold
  // anything: a screen's alpha).
  Bitmap(int width, int height, int depth);
  // The same as assigning Bitmap() or Bitmap(width, height, depth), but the pixel memory is
  // kept for reuse: a capture a frame makes no new pages to fault in.
  void Clear();
  void Reset(int width, int height, int depth);
  // Reset for a caller about to write every pixel: they keep whatever the memory held.
  void Reshape(int width, int height, int depth);

  bool Empty() const { return depth_ == 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Depth() const { return depth_; }
  std::size_t Stride() const { return stride_; }
  static std::size_t StrideFor(int width, int depth);

  // Row y counted from the top of the picture.
  std::uint8_t* Row(int y) { return Own() + RowOffset(y); }
  const std::uint8_t* Row(int y) const { return pixels_->data() + RowOffset(y); }
  // The whole pixel block, top row first.
  std::span<const std::uint8_t> Pixels() const {
    return pixels_ ? std::span<const std::uint8_t>(pixels_->data(), Size())
                   : std::span<const std::uint8_t>();
  }
  std::span<std::uint8_t> Pixels() {
    return pixels_ ? std::span<std::uint8_t>(Own(), Size()) : std::span<std::uint8_t>();
  }
  // Whether the two share one pixel block.
  bool SharesPixelsWith(const Bitmap& other) const {
    return pixels_ != nullptr && pixels_ == other.pixels_;
  }

  std::vector<PaletteEntry>& Palette() { return palette_; }
  const std::vector<PaletteEntry>& Palette() const { return palette_; }

  Color PixelColor(int x, int y) const;
  // Depths above 8 only; palette pictures are written by index.
  void SetPixelColor(int x, int y, Color color);

  // A 24-bit copy (blue, green, red) of any depth: 16-bit channels widened to 8 bits,
  // palette indexes replaced by their colours.
  Bitmap ToBgr24() const;

 private:
  // Pixel memory that only grows, and forgets its bytes when it does.
  class Block {
   public:
    Block() = default;
    ~Block() { Release(); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    void Grow(std::size_t bytes);

   private:
    void Release();
    std::shared_ptr<PixelMemory> memory_;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
  };
  // A block this picture wrote away from while another held it. It comes back into use once the
  // other lets go: a held key's frames take turns between two blocks instead of faulting in
  // fresh pages for every frame. Copies do not inherit it.
  struct Spare {
    std::shared_ptr<Block> block;
    Spare() = default;
    Spare(const Spare&) {}
    Spare& operator=(const Spare&) { return *this; }
    Spare(Spare&&) = default;
    Spare& operator=(Spare&&) = default;
  };

  std::size_t RowOffset(int y) const { return static_cast<std::size_t>(y) * stride_; }
  std::size_t Size() const { return stride_ * static_cast<std::size_t>(height_); }
  std::uint8_t* Own() {
    if (pixels_.use_count() > 1)
      Unshare();
    return pixels_->data();
  }
  void Unshare();
  void TakeUnsharedBlock();

  int width_ = 0;
  int height_ = 0;
  int depth_ = 0;
  std::size_t stride_ = 0;
  // At least Size() bytes: a block only grows, so that a smaller picture, or none, keeps the
  // pages of a bigger one for the next.
  std::shared_ptr<Block> pixels_;
  Spare spare_;
  std::vector<PaletteEntry> palette_;
};

}  // namespace pixtrel
