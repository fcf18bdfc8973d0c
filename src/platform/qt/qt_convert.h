// Between the core's pictures, colours, fonts and cursors and Qt's.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QImage>

#include "core/bitmap.h"
#include "ui/ui.h"

namespace pixtrel {

// A copy of the picture, top row first; a picture of no size gives a null image.
QImage ToQImage(const Bitmap& picture);
// Copies one area of the picture into an image made from it by ToQImage.
void CopyArea(const Bitmap& picture, ui::Rect area, QImage& image);

// A colour of the layouts; system colours come from the palette given.
QColor ToQColor(ui::ColorRef color, const QColor& window_text, const QColor& button_face);
// The face asked for, or the closest one installed, at the layout's pixel height.
QFont ToQFont(const ui::Font& font);
Qt::CursorShape ToQtCursor(ui::Cursor cursor);

// A window mask that keeps every pixel of the image except those exactly `key`.
QImage OpaqueMask(const QImage& image, QRgb key);

}  // namespace pixtrel
