// The full-screen overlay on which a rectangle is dragged over a frozen copy of the screen.
#pragma once

#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm4 : public ui::Form {
 public:
  explicit TForm4(Application& app);
  ui::Image Image2{"Image2"};  // the frozen screen

  // Creation and every activation.
  void FormCreate();
  void Image2MouseDown(ui::MouseButton button, ui::Point at);
  void Image2MouseMove(unsigned held, ui::Point at);
  void Image2MouseUp(ui::MouseButton button, ui::Point at);

 private:
  Application& app_;
};

}  // namespace pixtrel
