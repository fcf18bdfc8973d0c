#include "settings/about_box.h"

#include <functional>
#include <map>
#include <string>

#include "app/application.h"

namespace pixtrel {

TForm3::TForm3(Application& app) : ui::Form("Form3"), app_(app) {
  handlers = {
      {"ContactClick", [this] { ContactClick(); }},
      {"ContactMouseMove", [this] { ContactMouseMove(); }},
      {"ContactMouseLeave", [this] { ContactMouseLeave(); }},
      {"Button1Click", [this] { Button1Click(); }},
  };

  SetCaption("  About...");
  border = ui::FormBorder::kNone;
  bounds = {0, 0, 265, 96};
  topmost = true;
  centred_once = true;

  Lay({
      {&GroupBox1, nullptr, {0, 0, 265, 97}, "  Infos  ", 0},
      {&Image2, &GroupBox1, {8, 24, 48, 48}, "", -1},
      {&Name, &GroupBox1, {72, 16, 145, 20}, "Pixtrel v2.0.2.1.", -1},
      {&Pub, &GroupBox1, {72, 40, 172, 13}, "For all who need one more shot.", -1},
      {&Contact, &GroupBox1, {8, 80, 86, 13}, std::string(kContactAddress), -1},
      {&Button1, &GroupBox1, {128, 64, 105, 25}, "Ok", 0},
  });

  // The picture's background colour is its transparency mask.
  Image2.picture_file = std::string(kAboutPictureFile);
  Image2.transparent = true;

  Name.parent_font = false;
  Name.font.height = -16;
  Name.font.bold = true;

  Contact.parent_font = false;
  Contact.font.height = -8;
  Contact.font.color = ui::kBlue;
  Contact.cursor = ui::Cursor::kHand;
  Bind(Contact, "ContactClick");
  Bind(Contact, "ContactMouseMove", kMouseMove);
  Bind(Contact, "ContactMouseLeave", kMouseLeave);

  Bind(Button1, "Button1Click");
}

void TForm3::ContactClick() {
  // The shell's answer is not looked at: no mail program simply means nothing happens.
  app_.platform().OpenMailLink("mailto:" + std::string(kContactAddress));
}

void TForm3::ContactMouseMove() {
  SetContactLook(ui::kBlue, true);
}

void TForm3::ContactMouseLeave() {
  // The window-text colour, not the first blue: after one hover the address stays dark.
  SetContactLook(ui::kWindowText, false);
}

void TForm3::Button1Click() {
  app_.HideForm(*this);
  app_.ShowForm(*Form2);
}

void TForm3::SetContactLook(ui::ColorRef color, bool underline) {
  ui::Font font = Contact.font;
  font.color = color;
  font.bold = false;
  font.underline = underline;
  Contact.SetFont(font);
}

}  // namespace pixtrel
