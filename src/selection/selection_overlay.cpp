#include "selection/selection_overlay.h"

#include <algorithm>
#include <new>

#include "app/application.h"
#include "capture/clipboard.h"
#include "core/error.h"
#include "selection/frame.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace {

// Zero when the overlay is made, and never reset after, so a rectangle carries over between
// showings.
Edges SelectionRect;
ui::Point SelectionAnchor;
std::uint8_t BorderMargin = 0;
Bitmap FrozenScreen;

ui::Rect AsRect(const Edges& e) {
  return {e.left, e.top, e.right - e.left, e.bottom - e.top};
}

}  // namespace

TForm4::TForm4(Application& app) : ui::Form("Form4"), app_(app) {
  SelectionRect = {};
  SelectionAnchor = {};
  BorderMargin = 0;
  FrozenScreen = Bitmap();

  SetCaption("Form4");
  border = ui::FormBorder::kNone;
  topmost = true;
  window_state = ui::WindowState::kMaximized;
  Image2.cursor = ui::Cursor::kCross;
  Image2.mouse.down_name = "Image2MouseDown";
  Image2.mouse.down = [this](ui::MouseButton b, ui::Point p) { Image2MouseDown(b, p); };
  Image2.mouse.move_name = "Image2MouseMove";
  Image2.mouse.move = [this](unsigned held, ui::Point p) { Image2MouseMove(held, p); };
  Image2.mouse.up_name = "Image2MouseUp";
  Image2.mouse.up = [this](ui::MouseButton b, ui::Point p) { Image2MouseUp(b, p); };
  controls.push_back(&Image2);
  on_activate = [this] { FormCreate(); };
}

void TForm4::FormCreate() {
  FrozenScreen = Image2.Picture();
}

void TForm4::Image2MouseDown(ui::MouseButton, ui::Point at) {
  app_.Raise(*Form1);
  {
    OpenSettings settings(app_.platform().Settings());
    BorderMargin = ReadSetting(settings, kOverlayBorderRead) == kNo ? 1 : 0;
  }
  SelectionAnchor = at;
  RestoreArea(Image2.Picture(), FrozenScreen, SelectionRect);
  Image2.PictureChanged(AsRect(SelectionRect));
}

void TForm4::Image2MouseMove(unsigned held, ui::Point at) {
  if ((held & ui::kHeldLeft) == 0)
    return;
  RestoreArea(Image2.Picture(), FrozenScreen, SelectionRect);
  Image2.PictureChanged(AsRect(SelectionRect));
  if (at.x == SelectionAnchor.x || at.y == SelectionAnchor.y)
    return;
  const int c = BorderMargin;
  SelectionRect = {std::min(at.x, SelectionAnchor.x) - c, std::min(at.y, SelectionAnchor.y) - c,
                   std::max(at.x, SelectionAnchor.x) + 2 * c,
                   std::max(at.y, SelectionAnchor.y) + 2 * c};
  DrawFrame(Image2.Picture(), SelectionRect, {255, 255, 255});
  Image2.PictureChanged(AsRect(SelectionRect));
}

void TForm4::Image2MouseUp(ui::MouseButton, ui::Point) {
  Platform& platform = app_.platform();
  const int c = BorderMargin;
  int width = SelectionRect.right - SelectionRect.left - 2 * c;
  int height = SelectionRect.bottom - SelectionRect.top - 2 * c;
  // A rectangle framed under margin 0 and released under margin 1 can come out negative:
  // that selects nothing, like a zero size.
  if (width < 0 || height < 0)
    width = height = 0;

  Bitmap& capture = Form1->Image1.Picture();
  try {
    capture = Bitmap(width, height, platform.ScreenDepth());
  } catch (const std::bad_alloc&) {
    throw Error("Ressources système insuffisantes");
  }
  // The last move's frame must be on the screen the copy reads.
  platform.RepaintNow(*this);
  platform.CopyScreen(capture, SelectionRect.left + c, SelectionRect.top + c);
  RestoreArea(Image2.Picture(), FrozenScreen, SelectionRect);
  Image2.PictureChanged(AsRect(SelectionRect));
  Form1->Image1.PictureChanged();
  PlaceOnClipboard(platform, capture);
}

}  // namespace pixtrel
