#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstring>

#include "platform/win32/win32_dib.h"

namespace pixtrel::win32 {

std::vector<std::uint32_t> DibInfo(const Bitmap& picture) {
  const std::vector<PaletteEntry>& palette = picture.Palette();
  std::vector<std::uint32_t> words(sizeof(BITMAPINFOHEADER) / 4 + palette.size());
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = picture.Width();
  header.biHeight = -picture.Height();  // negative: top-down, as Bitmap keeps its rows
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(picture.Depth());
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(picture.Pixels().size());
  header.biClrUsed = static_cast<DWORD>(palette.size());
  std::memcpy(words.data(), &header, sizeof header);
  // PaletteEntry is RGBQUAD byte for byte.
  static_assert(sizeof(PaletteEntry) == sizeof(RGBQUAD));
  if (!palette.empty())
    std::memcpy(words.data() + sizeof header / 4, palette.data(), palette.size() * 4);
  return words;
}

}  // namespace pixtrel::win32
