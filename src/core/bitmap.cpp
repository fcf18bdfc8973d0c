#include "core/bitmap.h"

#include <algorithm>
#include <stdexcept>

namespace pixtrel {
namespace {

bool IsDepth(int depth) {
  return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// The same widening GDI applies when it converts 5-5-5 pixels: 31 becomes 255.
std::uint8_t Widen5(unsigned v) {
  return static_cast<std::uint8_t>((v << 3) | (v >> 2));
}

class HeapMemory final : public PixelMemory {
 public:
  std::uint8_t* Allocate(std::size_t bytes) override { return new std::uint8_t[bytes](); }
  void Free(std::uint8_t* block, std::size_t) override { delete[] block; }
};

std::shared_ptr<PixelMemory>& MemoryInUse() {
  static std::shared_ptr<PixelMemory> memory = std::make_shared<HeapMemory>();
  return memory;
}

}  // namespace

void PixelMemory::Use(std::shared_ptr<PixelMemory> memory) {
  MemoryInUse() = memory ? std::move(memory) : std::make_shared<HeapMemory>();
}

void Bitmap::Block::Grow(std::size_t bytes) {
  Release();
  memory_ = MemoryInUse();
  data_ = memory_->Allocate(bytes);
  size_ = bytes;
}

void Bitmap::Block::Release() {
  if (data_ != nullptr)
    memory_->Free(data_, size_);
  data_ = nullptr;
  size_ = 0;
  memory_.reset();
}

std::size_t Bitmap::StrideFor(int width, int depth) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 31) / 32 * 4;
}

Bitmap::Bitmap(int width, int height, int depth) {
  Reset(width, height, depth);
}

void Bitmap::Clear() {
  width_ = height_ = depth_ = 0;
  stride_ = 0;
  if (pixels_.use_count() > 1)
    TakeUnsharedBlock();
  palette_.clear();
}

void Bitmap::TakeUnsharedBlock() {
  std::shared_ptr<Block> shared = std::move(pixels_);
  if (spare_.block && spare_.block.use_count() == 1)
    pixels_ = std::move(spare_.block);
  else
    pixels_ = std::make_shared<Block>();
  spare_.block = std::move(shared);
}

void Bitmap::Unshare() {
  const std::shared_ptr<const Block> shared = pixels_;
  TakeUnsharedBlock();
  if (pixels_->size() < Size())
    pixels_->Grow(Size());
  std::copy_n(shared->data(), Size(), pixels_->data());
}

void Bitmap::Reset(int width, int height, int depth) {
  Reshape(width, height, depth);
  std::fill_n(pixels_->data(), Size(), 0);
}

void Bitmap::Reshape(int width, int height, int depth) {
  if (width < 0 || height < 0 || !IsDepth(depth)) {
    throw std::invalid_argument("Bitmap: bad size or depth");
  }
  width_ = width;
  height_ = height;
  depth_ = depth;
  stride_ = StrideFor(width, depth);
  if (!pixels_ || pixels_.use_count() > 1)
    TakeUnsharedBlock();
  if (pixels_->size() < Size())
    pixels_->Grow(Size());
  if (depth <= 8)
    palette_.assign(std::size_t{1} << depth, PaletteEntry{});
  else
    palette_.clear();
}

Color Bitmap::PixelColor(int x, int y) const {
  const std::uint8_t* row = Row(y);
  switch (depth_) {
    case 32:
      return {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]};
    case 24:
      return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    case 16: {
      const unsigned word = row[x * 2] | (row[x * 2 + 1] << 8);
      return {Widen5((word >> 10) & 31), Widen5((word >> 5) & 31), Widen5(word & 31)};
    }
    default: {
      const int per_byte = 8 / depth_;
      const int shift = (per_byte - 1 - x % per_byte) * depth_;
      const unsigned index = (row[x / per_byte] >> shift) & ((1u << depth_) - 1);
      const PaletteEntry& entry = palette_[index];
      return {entry.red, entry.green, entry.blue};
    }
  }
}

void Bitmap::SetPixelColor(int x, int y, Color color) {
  std::uint8_t* row = Row(y);
  switch (depth_) {
    case 32:
      row[x * 4 + 3] = 0;
      [[fallthrough]];
    case 24: {
      std::uint8_t* pixel = row + x * (depth_ / 8);
      pixel[0] = color.blue;
      pixel[1] = color.green;
      pixel[2] = color.red;
      break;
    }
    case 16: {
      const unsigned word =
          ((color.red >> 3) << 10) | ((color.green >> 3) << 5) | (color.blue >> 3);
      row[x * 2] = static_cast<std::uint8_t>(word);
      row[x * 2 + 1] = static_cast<std::uint8_t>(word >> 8);
      break;
    }
    default:
      throw std::logic_error("Bitmap::SetPixelColor on a palette picture");
  }
}

Bitmap Bitmap::ToBgr24() const {
  if (Empty())
    return {};
  Bitmap copy(width_, height_, 24);
  for (int y = 0; y < height_; ++y) {
    std::uint8_t* out = copy.Row(y);
    if (depth_ == 24) {
      std::copy(Row(y), Row(y) + stride_, out);
    } else if (depth_ == 32) {
      const std::uint8_t* in = Row(y);
      for (int x = 0; x < width_; ++x, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
    } else {
      for (int x = 0; x < width_; ++x, out += 3) {
        const Color c = PixelColor(x, y);
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
      }
    }
  }
  return copy;
}

}  // namespace pixtrel
