#include "support/picture_files.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pixtrel::test {

Bitmap DecodeImage(const std::string& bytes) {
  QImage image;
  if (!image.loadFromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))))
    return Bitmap();
  image = image.convertToFormat(QImage::Format_RGB32);
  Bitmap picture(image.width(), image.height(), 32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      picture.SetPixelColor(
          x, y,
          {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
           static_cast<std::uint8_t>(qBlue(p))});
    }
  }
  return picture;
}

bool SavePng(const Bitmap& picture, const std::string& path) {
  QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const Color c = picture.PixelColor(x, y);
      image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
    }
  }
  return image.save(QString::fromStdString(path), "PNG");
}

}  // namespace pixtrel::test
