#include "capture/bmp_writer.h"

#include <cstdint>
#include <vector>

#include "capture/file_output.h"

namespace pixtrel {
namespace {

constexpr std::size_t kHeadersSize = 14 + 40;

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
    // The picture already has the file's row layout: one write, no per-pixel work.
    WriteOrFail(*file, pixels.data(), pixels.size());
  }
  CommitOrFail(*file);
}

}  // namespace pixtrel
