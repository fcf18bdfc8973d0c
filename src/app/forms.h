// The program's four windows and the state they share.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "selection/selection_overlay.h"
#include "settings/about_box.h"
#include "settings/preferences.h"
#include "ui/ui.h"

namespace pixtrel {

// The viewer and main window: owner of the tray icon, the hotkey timer and the current
// capture (Image1's picture).
class TForm1 : public ui::Form {
 public:
  explicit TForm1(Application& app);

  // Controls, in creation order.
  ui::Image Image1{"Image1"};
  ui::Control ActionToolBar1{ui::Kind::kToolStrip, "ActionToolBar1"};
  ui::Control Button1{ui::Kind::kButton, "Button1"};
  ui::Control Button2{ui::Kind::kButton, "Button2"};
  ui::Control Button4{ui::Kind::kButton, "Button4"};
  ui::Control Button5{ui::Kind::kButton, "Button5"};
  ui::Control Button3{ui::Kind::kButton, "Button3"};
  ui::PopupMenu PopupMenu1{"PopupMenu1"};
  ui::MenuItem BMP1{"BMP1"};
  ui::MenuItem JPG1{"JPG1"};
  ui::PopupMenu PopupMenu2{"PopupMenu2"};
  ui::MenuItem Restore1{"Restore1"};
  ui::MenuItem Config1{"Config1"};
  ui::MenuItem Close1{"Close1"};
  ui::Timer Timer1{"Timer1"};
  ui::SaveDialog SaveDialogBMP{"SaveDialogBMP"};
  ui::SaveDialog SaveDialogJPG{"SaveDialogJPG"};

  // State, zero when the window is created.
  struct {
    std::int32_t left = 0;
    std::int32_t top = 0;
  } DragOrigin;
  ui::Point DragCursor;
  NotifyIconData TrayIconData;
  bool RegionMode = false;
  bool InTray = false;

  // Tray residency and polling.
  void Run();
  void MinimizeToTray();
  void RestoreMainForm();
  void CheckKey();
  void MouseOverTray(int x, int y);
  void Restore();
  void ParamsFromTray();
  void Quit();
  void Params();

  // Capture.
  void TakeCapture();

  // Viewer.
  void attrape(ui::MouseButton button);
  void bouge();
  void lache();
  void SaveAs();
  void SaveAsBMP();
  void SaveAsJPG();

 private:
  void AutoRecord(const std::string& format, const std::string& folder, const std::string& quality);

  Application& app_;
  // A window whose left edge is at -1 is still dragged: DragOrigin alone cannot tell.
  bool drag_open_ = false;
  std::string last_stamp_;
};

// The polled key's Windows code: 0 until Run first maps the hotkey's name.
extern std::uint8_t HotkeyCode;

extern TForm1* Form1;
extern TForm2* Form2;
extern TForm3* Form3;
extern TForm4* Form4;

}  // namespace pixtrel
