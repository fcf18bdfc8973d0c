#include "ui/placement.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pixtrel {

ui::Rect PlacePicture(int width, int height, int area_width, int area_height) {
  int w = area_width;
  int h = area_height;
  if (width > 0 && height > 0) {
    const double aspect = static_cast<double>(width) / height;
    if (width > height) {
      w = area_width;
      h = static_cast<int>(area_width / aspect);
      if (h > area_height) {
        h = area_height;
        w = static_cast<int>(area_height * aspect);
      }
    } else {
      h = area_height;
      w = static_cast<int>(area_height * aspect);
      if (w > area_width) {
        w = area_width;
        h = static_cast<int>(area_width / aspect);
      }
    }
  }
  return {(area_width - w) / 2, (area_height - h) / 2, w, h};
}

Bitmap RenderViewerImage(const Bitmap& picture, int area_width, int area_height) {
  Bitmap canvas(area_width, area_height, 32);
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return canvas;
  const ui::Rect place = PlacePicture(picture.Width(), picture.Height(), area_width, area_height);
  std::vector<int> source_x(static_cast<std::size_t>(place.width));
  for (int x = 0; x < place.width; ++x) {
    source_x[static_cast<std::size_t>(x)] =
        static_cast<int>(static_cast<long long>(x) * picture.Width() / place.width);
  }
  for (int y = 0; y < place.height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * picture.Height() / place.height);
    std::uint8_t* out = canvas.Row(place.top + y) + place.left * 4;
    if (picture.Depth() == 32) {
      const std::uint8_t* in = picture.Row(sy);
      for (int x = 0; x < place.width; ++x, out += 4) {
        std::memcpy(out, in + source_x[static_cast<std::size_t>(x)] * 4, 3);
      }
    } else {
      for (int x = 0; x < place.width; ++x, out += 4) {
        const Color c = picture.PixelColor(source_x[static_cast<std::size_t>(x)], sy);
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
      }
    }
  }
  return canvas;
}

ui::Rect PlaceOverlayPicture(int width, int height, int client_width, int client_height) {
  int w = width;
  int h = height;
  if (w > client_width || h > client_height) {
    const double scale = std::min(static_cast<double>(client_width) / width,
                                  static_cast<double>(client_height) / height);
    w = static_cast<int>(width * scale);
    h = static_cast<int>(height * scale);
  }
  return {(client_width - w) / 2, (client_height - h) / 2, w, h};
}

namespace ui {

Rect PictureRect(const Image& image, int client_width, int client_height) {
  const Bitmap& picture = image.Picture();
  return ScalesPicture(image)
             ? PlacePicture(picture.Width(), picture.Height(), client_width, client_height)
             : PlaceOverlayPicture(picture.Width(), picture.Height(), client_width, client_height);
}

Rect RepaintRect(const Image& image, int client_width, int client_height) {
  const Rect whole{0, 0, client_width, client_height};
  const Rect area = image.changed_area;
  if (ScalesPicture(image) || area.width < 0)
    return whole;
  // Only an unscaled picture maps its pixels one to one onto the client.
  const Rect place = PictureRect(image, client_width, client_height);
  if (place.width != image.Picture().Width() || place.height != image.Picture().Height())
    return whole;
  return {place.left + area.left, place.top + area.top, area.width, area.height};
}

}  // namespace ui
}  // namespace pixtrel
