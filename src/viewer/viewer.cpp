// The viewer's handlers: dragging the window by its picture, and the save commands.
#include "app/application.h"
#include "capture/bmp_writer.h"
#include "capture/jpeg_writer.h"
#include "core/int_text.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace {

// The save menu opens over the "Save as..." button, from the window's top-left corner.
constexpr ui::Point kSaveMenuOffset{57, 17};

}  // namespace

void TForm1::attrape(ui::MouseButton) {
  if (drag_open_)
    return;
  drag_open_ = true;
  DragOrigin = {bounds.left, bounds.top};
  DragCursor = app_.platform().CursorPos();
}

void TForm1::bouge() {
  if (!drag_open_)
    return;
  const ui::Point p = app_.platform().CursorPos();
  ui::Rect moved = bounds;
  moved.left = DragOrigin.left + (p.x - DragCursor.x);
  SetBounds(moved);
  moved.top = DragOrigin.top + (p.y - DragCursor.y);
  SetBounds(moved);
}

void TForm1::lache() {
  drag_open_ = false;
  DragOrigin.left = -1;
}

void TForm1::SaveAs() {
  app_.PopupMenu(PopupMenu1, {bounds.left + kSaveMenuOffset.x, bounds.top + kSaveMenuOffset.y});
}

void TForm1::SaveAsBMP() {
  const std::optional<std::string> path = app_.platform().RunSaveDialog(SaveDialogBMP);
  if (!path)
    return;
  SaveDialogBMP.file_name = *path;
  SaveBmp(Image1.Picture(), *path, app_.platform().FileSystem());
}

void TForm1::SaveAsJPG() {
  const std::optional<std::string> path = app_.platform().RunSaveDialog(SaveDialogJPG);
  if (!path)
    return;
  SaveDialogJPG.file_name = *path;
  std::string quality;
  {
    OpenSettings settings(app_.platform().Settings());
    quality = ReadSetting(settings, kViewerQualityRead);
  }
  SaveJpeg(Image1.Picture(), *path, StrToInt(quality), app_.platform().FileSystem());
}

}  // namespace pixtrel
