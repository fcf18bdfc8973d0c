// The about box, reached from the preferences' "Infos".
#pragma once

#include <string_view>

#include "ui/ui.h"

namespace pixtrel {

class Application;

// Shown by the contact label and used in its mail link: one address for both.
inline constexpr std::string_view kContactAddress = "pixtrel@users.noreply.example";
// The picture Image2 shows, as tools/make_icons writes it under resources/.
inline constexpr std::string_view kAboutPictureFile = "laptop48.bmp";

class TForm3 : public ui::Form {
 public:
  explicit TForm3(Application& app);

  // Controls, in creation order; all but the group box sit on it.
  ui::Control GroupBox1{ui::Kind::kGroupBox, "GroupBox1"};
  ui::Image Image2{"Image2"};
  // Hides the inherited Name() here; reach it through ui::Control where needed.
  ui::Control Name{ui::Kind::kLabel, "Name"};
  ui::Control Pub{ui::Kind::kLabel, "Pub"};
  ui::Control Contact{ui::Kind::kLabel, "Contact"};
  ui::Control Button1{ui::Kind::kButton, "Button1"};

  void ContactClick();
  void ContactMouseMove();
  void ContactMouseLeave();
  void Button1Click();

 private:
  void SetContactLook(ui::ColorRef color, bool underline);

  Application& app_;
};

}  // namespace pixtrel
