// The preferences dialog: the only writer of the settings file.
#pragma once

#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm2 : public ui::Form {
 public:
  explicit TForm2(Application& app);
  void Initialize() {}

 private:
  Application& app_;
};

}  // namespace pixtrel
