#include "settings/preferences.h"

#include "app/application.h"

namespace pixtrel {

TForm2::TForm2(Application& app) : ui::Form("Form2"), app_(app) {}

}  // namespace pixtrel
