#include "selection/selection_overlay.h"

#include "app/application.h"

namespace pixtrel {

TForm4::TForm4(Application& app) : ui::Form("Form4"), app_(app) {
  SetCaption("Form4");
  border = ui::FormBorder::kNone;
  topmost = true;
  window_state = ui::WindowState::kMaximized;
  Image2.cursor = ui::Cursor::kCross;
  controls.push_back(&Image2);
}

void TForm4::FormCreate() {}

}  // namespace pixtrel
