// The about box, reached from the preferences' "Infos".
#pragma once

#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm3 : public ui::Form {
 public:
  explicit TForm3(Application& app);

 private:
  Application& app_;
};

}  // namespace pixtrel
