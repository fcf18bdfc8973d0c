// The full-screen overlay on which a rectangle is dragged over a frozen copy of the screen.
#pragma once

#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm4 : public ui::Form {
 public:
  explicit TForm4(Application& app);
  ui::Image Image2{"Image2"};  // the frozen screen

  void FormCreate();

 private:
  Application& app_;
};

}  // namespace pixtrel
