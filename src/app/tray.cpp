// Living in the notification area, polling the hotkey, and moving to and from the viewer.
#include <algorithm>
#include <cstring>

#include "app/application.h"
#include "core/error.h"
#include "core/key_names.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace {

constexpr std::uint32_t kTrayFlags = 1 | 2 | 4;  // message, icon, tip

}  // namespace

void TForm1::Run() {
  std::string name;
  {
    OpenSettings settings(app_.platform().Settings());
    name = ReadSetting(settings, kRunHotkeyRead);
  }
  app_.platform().TrayDelete(TrayIconData);

  TrayIconData = {};
  TrayIconData.size = kNotifyIconDataSize;
  TrayIconData.window = this;
  TrayIconData.flags = kTrayFlags;
  TrayIconData.callback_message = kTrayCallbackMessage;
  TrayIconData.icon = true;
  const std::string tip = name + " to snap...";
  std::memcpy(TrayIconData.tip, tip.data(), std::min(tip.size(), kTipLength));

  on_minimize = [this] { MinimizeToTray(); };
  DragOrigin = {-1, -1};
  DragCursor = {-1, -1};
  drag_open_ = false;
  HotkeyCode = HotkeyCodeFor(name);
  app_.platform().WatchKey(HotkeyCode);
  if (RegionMode) {
    app_.HideForm(*Form4);
    RegionMode = false;
  }
  MinimizeToTray();
}

void TForm1::MinimizeToTray() {
  if (!Timer1.Enabled()) {
    // A timer already running keeps its phase.
    if (!app_.platform().EnableTimer(Timer1, true))
      throw Error("Pas assez de timers disponibles");
    Timer1.SetEnabled(true);
  }
  app_.platform().TrayAdd(TrayIconData);
  app_.HideForm(*this);
  InTray = true;
}

void TForm1::RestoreMainForm() {
  Timer1.SetEnabled(false);
  app_.platform().EnableTimer(Timer1, false);
  app_.ShowForm(*this);
  app_.BringToFront();
  if (window_state == ui::WindowState::kMinimized) {
    window_state = ui::WindowState::kNormal;
    app_.platform().RestoreApplication();
  }
  app_.platform().TrayDelete(TrayIconData);
  InTray = false;
}

void TForm1::CheckKey() {
  // An auto-record capture leaves the program in the tray and polls again at once: a held key
  // records one capture after another, here, so holding it for an hour does not deepen the
  // stack. A capture shown in the viewer or the overlay leaves the tray, and ends the polling.
  while (app_.platform().AsyncKeyState(HotkeyCode) != 0) {
    TakeCapture();
    if (!InTray)
      return;
  }
}

void TForm1::MouseOverTray(int x, int) {
  const int message = static_cast<std::int16_t>(x);
  if (message == kTrayLeftButtonUp) {
    RestoreMainForm();
  } else if (message == kTrayRightButtonUp) {
    app_.platform().SetForeground(*this);
    DragCursor = app_.platform().CursorPos();
    app_.PopupMenu(PopupMenu2, DragCursor);
    app_.platform().PostNull(*this);
  }
}

void TForm1::Restore() {
  RestoreMainForm();
}

void TForm1::ParamsFromTray() {
  app_.ShowForm(*Form2);
}

void TForm1::Quit() {
  app_.platform().TrayDelete(TrayIconData);
  app_.platform().Quit();
}

void TForm1::Params() {
  app_.HideForm(*this);
  app_.ShowForm(*Form2);
}

}  // namespace pixtrel
