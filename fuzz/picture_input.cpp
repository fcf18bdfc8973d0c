#include "picture_input.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace pixtrel::fuzz {

Bitmap ConsumePicture(FuzzedDataProvider& in, PaletteSize palette) {
  if (in.ConsumeIntegralInRange(0, 15) == 0)
    return Bitmap();
  constexpr std::array<int, 6> kDepths = {32, 24, 16, 8, 4, 1};
  const int width = in.ConsumeIntegralInRange(0, kMaxSide);
  const int height = in.ConsumeIntegralInRange(0, kMaxSide);
  const int depth = kDepths[in.ConsumeIntegralInRange<std::size_t>(0, kDepths.size() - 1)];
  Bitmap picture(width, height, depth);

  std::size_t entries = picture.Palette().size();
  if (palette == PaletteSize::kAny) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0:
        entries = in.ConsumeIntegralInRange<std::size_t>(0, entries);
        break;
      case 1:
        entries += in.ConsumeIntegralInRange<std::size_t>(1, 16);
        break;
      default:
        break;
    }
  }
  picture.Palette().resize(entries);
  for (PaletteEntry& entry : picture.Palette()) {
    entry = {in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>(),
             in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>()};
  }

  // Short inputs still give busy pictures: their bytes repeat over the whole block.
  const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
  const auto pixels = picture.Pixels();
  for (std::size_t i = 0; i < pixels.size() && !bytes.empty(); ++i)
    pixels[i] = static_cast<std::uint8_t>(bytes[i % bytes.size()] + i / bytes.size());
  return picture;
}

void ConsumeDisk(FuzzedDataProvider& in, Disk& disk) {
  disk.files.files[disk.path] = disk.old_content;
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      disk.refusal = Refusal::kStart;
      disk.files.refuse_reason = "Permission denied";
      break;
    case 1:
      disk.refusal = Refusal::kShortWrite;
      disk.files.accept_bytes = in.ConsumeIntegralInRange<std::size_t>(0, 20000);
      break;
    case 2:
      disk.refusal = Refusal::kCommit;
      disk.files.refuse_commit = true;
      break;
    default:
      break;
  }
}

}  // namespace pixtrel::fuzz
