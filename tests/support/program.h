// The whole program on the fake platform, and a one-line picture of its state.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "app/application.h"
#include "support/fake_platform.h"

namespace pixtrel::ui {

inline void PrintTo(const Rect& r, std::ostream* out) {
  *out << "{" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << "}";
}
inline void PrintTo(const Point& p, std::ostream* out) {
  *out << "(" << p.x << ", " << p.y << ")";
}

}  // namespace pixtrel::ui

namespace pixtrel::test {

struct State {
  bool viewer, overlay, preferences, icon, timer, in_tray, region_mode;
  friend bool operator==(const State&, const State&) = default;
  friend std::ostream& operator<<(std::ostream& out, const State& s) {
    return out << "viewer " << s.viewer << " overlay " << s.overlay << " preferences "
               << s.preferences << " icon " << s.icon << " timer " << s.timer << " in_tray "
               << s.in_tray << " region " << s.region_mode;
  }
};

// The states of the transition table.
inline constexpr State kTray{false, false, false, true, true, true, false};
inline constexpr State kViewer{true, false, false, false, false, false, false};
inline constexpr State kSelection{true, true, false, false, false, false, true};
inline constexpr State kPrefsFromViewer{false, false, true, false, false, false, false};
inline constexpr State kPrefsFromTray{false, false, true, true, true, true, false};

constexpr std::uint8_t kF12 = 0x7B;
constexpr std::uint8_t kAlt = 0x12;
constexpr std::uint8_t kCtrl = 0x11;
constexpr std::uint8_t kShift = 0x10;

class Program {
 public:
  FakePlatform platform;
  std::unique_ptr<Application> app;

  void Start() {
    app.reset();  // one program at a time: the windows are global
    app = std::make_unique<Application>(platform);
  }
  void Settings(const std::string& text) {
    platform.files.files[platform.files.settings_path] = text;
  }
  State Now() const {
    return {Form1->Visible(),
            Form4->Visible(),
            Form2->Visible(),
            platform.TrayShown(),
            Form1->Timer1.Enabled() && platform.timer_on,
            Form1->InTray,
            Form1->RegionMode};
  }
  // A user's actions, each delivered as one event.
  void Tick() { platform.FireTimers(); }
  void Click(ui::Control& control) {
    app->Dispatch([&] { control.Click(); });
  }
  void TrayMouse(int message) {
    app->Dispatch([&] { Form1->MouseOverTray(message, 0); });
  }
  void PressHotkey(std::uint8_t modifier = 0) {
    platform.Press(kF12);
    if (modifier != 0)
      platform.down[modifier] = true;
    Tick();
    if (modifier != 0)
      platform.down[modifier] = false;
  }
};

}  // namespace pixtrel::test
