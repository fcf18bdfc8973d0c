#include "platform/qt/qt_convert.h"

#include <algorithm>
#include <cstring>

namespace pixtrel {
namespace {

// Qt's RGB32 wants the unused byte set; the picture leaves it at zero.
void CopyRow32(const std::uint8_t* from, int width, std::uint8_t* to) {
  std::memcpy(to, from, static_cast<std::size_t>(width) * 4);
  auto* pixels = reinterpret_cast<std::uint32_t*>(to);
  for (int x = 0; x < width; ++x)
    pixels[x] |= 0xFF000000u;
}

}  // namespace

QImage ToQImage(const Bitmap& picture) {
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return {};
  if (picture.Depth() == 32) {
    QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.Height(); ++y)
      CopyRow32(picture.Row(y), picture.Width(), image.scanLine(y));
    return image;
  }
  // 16-bit 5-5-5 rows are Qt's RGB555 as they stand; the rest go through 24 bits.
  const bool rgb555 = picture.Depth() == 16;
  const Bitmap bgr = rgb555 ? Bitmap() : picture.ToBgr24();
  const Bitmap& rows = rgb555 ? picture : bgr;
  QImage image(picture.Width(), picture.Height(),
               rgb555 ? QImage::Format_RGB555 : QImage::Format_BGR888);
  const std::size_t row_bytes = static_cast<std::size_t>(picture.Width()) * (rgb555 ? 2 : 3);
  for (int y = 0; y < picture.Height(); ++y)
    std::memcpy(image.scanLine(y), rows.Row(y), row_bytes);
  return image;
}

void CopyArea(const Bitmap& picture, ui::Rect area, QImage& image) {
  if (image.isNull() || image.width() != picture.Width() || image.height() != picture.Height() ||
      picture.Depth() != 32) {
    image = ToQImage(picture);
    return;
  }
  const int left = std::clamp(area.left, 0, picture.Width());
  const int top = std::clamp(area.top, 0, picture.Height());
  const int right = std::clamp(area.left + area.width, left, picture.Width());
  const int bottom = std::clamp(area.top + area.height, top, picture.Height());
  for (int y = top; y < bottom; ++y)
    CopyRow32(picture.Row(y) + left * 4, right - left, image.scanLine(y) + left * 4);
}

QColor ToQColor(ui::ColorRef color, const QColor& window_text, const QColor& button_face) {
  if (color == ui::kWindowText)
    return window_text;
  if (color == ui::kButtonFace)
    return button_face;
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QFont ToQFont(const ui::Font& font) {
  QFont result;
  // Bitmap faces of that name are rare here; these sans faces come closest at small sizes.
  result.setFamilies({QString::fromStdString(font.name), "Microsoft Sans Serif", "Liberation Sans",
                      "Arial", "Nimbus Sans", "DejaVu Sans"});
  result.setPixelSize(std::max(1, font.height < 0 ? -font.height : font.height));
  result.setBold(font.bold);
  result.setUnderline(font.underline);
  result.setStyleHint(QFont::SansSerif);
  // Those faces run about 4% wider than the one the layouts were measured with.
  if (font.name == "MS Sans Serif")
    result.setLetterSpacing(QFont::PercentageSpacing, 95);
  return result;
}

Qt::CursorShape ToQtCursor(ui::Cursor cursor) {
  switch (cursor) {
    case ui::Cursor::kSizeAll:
      return Qt::SizeAllCursor;
    case ui::Cursor::kHand:
      return Qt::PointingHandCursor;
    case ui::Cursor::kDrag:
      return Qt::DragMoveCursor;
    case ui::Cursor::kCross:
      return Qt::CrossCursor;
    case ui::Cursor::kDefault:
      break;
  }
  return Qt::ArrowCursor;
}

QImage OpaqueMask(const QImage& image, QRgb key) {
  return image.convertToFormat(QImage::Format_RGB32)
      .createMaskFromColor(key | 0xFF000000u, Qt::MaskInColor);
}

}  // namespace pixtrel
