// The viewer's window and controls, built once when Form1 is created.
#include <map>

#include "app/application.h"

namespace pixtrel {
namespace {

ui::Font SystemBold() {
  ui::Font font;
  font.name = "System";
  font.bold = true;
  font.ansi_charset = true;
  return font;
}

}  // namespace

TForm1::TForm1(Application& app) : ui::Form("Form1"), app_(app) {
  handlers = {
      {"Run", [this] { Run(); }},
      {"SaveAs", [this] { SaveAs(); }},
      {"Quit", [this] { Quit(); }},
      {"Params", [this] { Params(); }},
      {"SaveAsBMP", [this] { SaveAsBMP(); }},
      {"SaveAsJPG", [this] { SaveAsJPG(); }},
      {"Restore", [this] { Restore(); }},
      {"ParamsFromTray", [this] { ParamsFromTray(); }},
  };

  SetCaption("  Pixtrel v1.2");
  border = ui::FormBorder::kNone;
  bounds = {0, 0, 200, 167};
  color = ui::kBlack;
  topmost = true;
  layered = true;
  transparent_color = ui::kFuchsia;
  alpha = 200;
  centred_once = true;
  parent_font = false;

  on_form_mouse_move_name = "MouseOverTray";
  on_form_mouse_move = [this](ui::Point at) { MouseOverTray(at.x, at.y); };

  Image1.bounds = {0, 17, 200, 150};
  Image1.stretch = Image1.proportional = Image1.center = true;
  Image1.cursor = ui::Cursor::kSizeAll;
  Image1.mouse.down_name = "attrape";
  Image1.mouse.down = [this](ui::MouseButton button, ui::Point) { attrape(button); };
  Image1.mouse.move_name = "bouge";
  Image1.mouse.move = [this](unsigned, ui::Point) { bouge(); };
  Image1.mouse.up_name = "lache";
  Image1.mouse.up = [this](ui::MouseButton, ui::Point) { lache(); };
  controls.push_back(&Image1);

  // A band of the key colour behind the buttons: invisible, and clicks go through it.
  ActionToolBar1.bounds = {0, 0, 200, 17};
  ActionToolBar1.color = ui::kFuchsia;
  controls.push_back(&ActionToolBar1);

  Lay({
      {&Button1, nullptr, {0, 0, 57, 17}, "Run", 0},
      {&Button2, nullptr, {56, 0, 57, 17}, "Save as...", 1},
      {&Button4, nullptr, {185, 0, 15, 13}, "x", 3},
      {&Button5, nullptr, {170, 0, 15, 13}, "-", 4},
      {&Button3, nullptr, {112, 0, 25, 17}, "Set", 5},
  });
  Button1.cursor = ui::Cursor::kHand;
  Bind(Button1, "Run");
  Button2.cursor = ui::Cursor::kHand;
  Bind(Button2, "SaveAs");
  Button4.parent_font = false;
  Button4.font = SystemBold();
  Button4.right_to_left = true;
  Bind(Button4, "Quit");
  Button5.parent_font = false;
  Button5.font = SystemBold();
  Button5.font.ansi_charset = false;
  Button5.right_to_left = true;
  Bind(Button5, "Run");
  Button3.cursor = ui::Cursor::kDrag;
  Bind(Button3, "Params");

  BMP1.SetCaption("*.BMP");
  Bind(BMP1, "SaveAsBMP");
  JPG1.SetCaption("*.JPG");
  Bind(JPG1, "SaveAsJPG");
  PopupMenu1.entries = {&BMP1, &JPG1};

  Restore1.SetCaption("Restore");
  Bind(Restore1, "Restore");
  Config1.SetCaption("Config");
  Bind(Config1, "ParamsFromTray");
  Close1.SetCaption("Close...");
  Bind(Close1, "Quit");
  PopupMenu2.entries = {&Restore1, &Config1, &Close1};

  Timer1.interval_ms = 100;
  Timer1.SetEnabled(false);
  Timer1.on_timer_name = "CheckKey";
  Timer1.on_timer = [this] { CheckKey(); };
  controls.push_back(&Timer1);

  SaveDialogBMP.default_ext = "bmp";
  SaveDialogBMP.filter = "Image Bitmap (*.bmp)|*.bmp";
  SaveDialogJPG.default_ext = "jpg";
  SaveDialogJPG.filter = "Image Jpeg (*.jpg)|*.jpg";
}

}  // namespace pixtrel
