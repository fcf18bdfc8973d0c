#include "support/pictures.h"

namespace pixtrel::test {

Bitmap SamplePicture(int width, int height, int depth) {
  Bitmap picture(width, height, depth);
  if (depth > 8) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        picture.SetPixelColor(
            x, y,
            {static_cast<std::uint8_t>(x * 37 + y * 11), static_cast<std::uint8_t>(y * 53 + 7),
             static_cast<std::uint8_t>((x ^ y) * 29 + 200)});
      }
    }
    return picture;
  }
  const int colours = 1 << depth;
  for (int i = 0; i < colours; ++i) {
    picture.Palette()[i] = {static_cast<std::uint8_t>(i * 3), static_cast<std::uint8_t>(255 - i),
                            static_cast<std::uint8_t>(i * 7 + 1), 0};
  }
  const int per_byte = 8 / depth;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      const unsigned index = static_cast<unsigned>(x * 5 + y * 3) % colours;
      const int shift = (per_byte - 1 - x % per_byte) * depth;
      row[x / per_byte] = static_cast<std::uint8_t>(row[x / per_byte] | (index << shift));
    }
  }
  return picture;
}

std::string ToPpm(const Bitmap& picture) {
  std::string ppm =
      "P6\n" + std::to_string(picture.Width()) + " " + std::to_string(picture.Height()) + "\n255\n";
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const Color c = picture.PixelColor(x, y);
      ppm += static_cast<char>(c.red);
      ppm += static_cast<char>(c.green);
      ppm += static_cast<char>(c.blue);
    }
  }
  return ppm;
}

Bitmap Crop(const Bitmap& from, ui::Rect area) {
  Bitmap part(area.width, area.height, 32);
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x)
      part.SetPixelColor(x, y, from.PixelColor(area.left + x, area.top + y));
  }
  return part;
}

int Differences(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return -1;
  int count = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x)
      count += a.PixelColor(x, y) == b.PixelColor(x, y) ? 0 : 1;
  }
  return count;
}

int NotOfColour(const Bitmap& picture, ui::Rect area, Color colour) {
  int count = 0;
  for (int y = area.top; y < area.top + area.height; ++y) {
    for (int x = area.left; x < area.left + area.width; ++x)
      count += picture.PixelColor(x, y) == colour ? 0 : 1;
  }
  return count;
}

}  // namespace pixtrel::test
