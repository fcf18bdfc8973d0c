#include "settings/about_box.h"

#include "app/application.h"

namespace pixtrel {

TForm3::TForm3(Application& app) : ui::Form("Form3"), app_(app) {}

}  // namespace pixtrel
