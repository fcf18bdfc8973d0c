#include "capture/bmp_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "capture/file_output.h"
#include "capture/screen_copy.h"

namespace pixtrel {
namespace {

constexpr std::size_t kHeadersSize = 14 + 40;
// About what a write of the page cache takes at its best, and still in the processor's cache.
constexpr std::size_t kBandBytes = 1 << 20;

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

}  // namespace

void SaveBmp(const Bitmap& capture, const std::string& path, Files& files) {
  if (capture.Empty())
    return;
  const std::unique_ptr<OutputFile> file = CreateImageFile(files, path);
  if (capture.Width() > 0 && capture.Height() > 0) {
    const std::size_t colours = capture.Depth() <= 8 ? std::size_t{1} << capture.Depth() : 0;
    const auto pixels = capture.Pixels();
    const auto offset = static_cast<std::uint32_t>(kHeadersSize + 4 * colours);

    std::vector<std::uint8_t> head(offset, 0);
    std::uint8_t* h = head.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, offset + static_cast<std::uint32_t>(pixels.size()));
    Put32(h + 10, offset);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<std::uint32_t>(capture.Width()));
    Put32(h + 22, static_cast<std::uint32_t>(capture.Height()));
    Put16(h + 26, 1);
    Put16(h + 28, static_cast<std::uint32_t>(capture.Depth()));
    Put32(h + 34, static_cast<std::uint32_t>(pixels.size()));
    Put32(h + 46, static_cast<std::uint32_t>(colours));
    for (std::size_t i = 0; i < colours && i < capture.Palette().size(); ++i) {
      const PaletteEntry& entry = capture.Palette()[i];
      std::uint8_t* at = h + kHeadersSize + 4 * i;
      at[0] = entry.blue;
      at[1] = entry.green;
      at[2] = entry.red;
    }
    WriteOrFail(*file, head.data(), head.size());
    // The file's rows go bottom-up, the picture's top-down: bands of whole rows, gathered from
    // the bottom into one buffer each, make a few large writes and no per-pixel work.
    const std::size_t stride = capture.Stride();
    const int band_rows = static_cast<int>(std::max<std::size_t>(1, kBandBytes / stride));
    std::vector<std::uint8_t> band(
        std::min<std::size_t>(pixels.size(), static_cast<std::size_t>(band_rows) * stride));
    for (int last = capture.Height() - 1; last >= 0; last -= band_rows) {
      const int rows = std::min(band_rows, last + 1);
      for (int i = 0; i < rows; ++i) {
        std::uint8_t* out = band.data() + static_cast<std::size_t>(i) * stride;
        // A 32-bit picture's fourth byte may hold what the screen had there (a window's
        // alpha); a file's is always 0.
        if (capture.Depth() == 32)
          CopyOpaquePixels(out, capture.Row(last - i), capture.Width());
        else
          std::memcpy(out, capture.Row(last - i), stride);
      }
      WriteOrFail(*file, band.data(), static_cast<std::size_t>(rows) * stride);
    }
  }
  CommitOrFail(*file);
}

}  // namespace pixtrel
