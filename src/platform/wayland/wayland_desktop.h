// The desktop of a Wayland session, where no program may read the screen or the keys by
// itself: captures come from the compositor (KWin) or the Screenshot portal, the active
// window's rectangles from the compositor (a KWin script, sway's tree), and the hotkey from the
// GlobalShortcuts portal. What a desktop does not give is said to the user once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

#include "platform/desktop.h"
#include "platform/shortcut_keys.h"
#include "platform/wayland/desktop_bus.h"
#include "platform/wayland/sway_ipc.h"

namespace pixtrel {

class WaylandDesktop : public Desktop {
 public:
  enum class Compositor { kKWin, kSway, kOther };

  // Needs the QGuiApplication made first. `tell` shows the user a notice from the event loop.
  WaylandDesktop(ShortcutKeys& keys, std::function<void(const std::string&)> tell);
  ~WaylandDesktop() override;

  ui::Rect PrimaryRect() override;
  int Depth() override { return 32; }
  void CopyScreen(Bitmap& into, int x, int y) override;
  WindowHandle ForegroundWindow() override;
  ui::Rect WindowRect(WindowHandle window) override;
  ui::Rect ClientRect(WindowHandle window) override;
  void CopyClient(WindowHandle window, Bitmap& into) override;
  // Keys reach the program only as the shortcuts it reserved.
  std::uint16_t AsyncKeyState(std::uint8_t) override { return 0; }
  ui::Point CursorPos() override;
  void WatchKey(std::uint8_t key) override;

  // The program's windows of that caption kept above the others, at that opacity, where the
  // compositor takes such rules: given for each window as it is made, and applied once all are.
  void KeepAbove(const std::string& caption, double opacity);
  void ApplyRules();
  // There is no notification area to show the icon in.
  void NoTray();

  Compositor compositor() const { return compositor_; }

 private:
  // The whole workspace now; throws Error when the desktop gives no picture.
  QImage Shot();
  std::optional<QImage> KWinWorkspace();
  QImage PortalShot(bool interactive);
  // Copies the part of `image`, whose top-left corner lies at `origin` in screen coordinates,
  // that falls in `into` placed at (x, y).
  void CopyFrom(const QImage& image, ui::Point origin, Bitmap& into, int x, int y);
  ui::Point WorkspaceOrigin();

  void BindShortcuts(std::uint8_t key);
  bool CreateSession(const QString& key_name);
  void SayNoShortcuts(const std::string& key_name);

  ShortcutKeys& keys_;
  std::function<void(const std::string&)> tell_;
  DesktopBus bus_;
  Compositor compositor_ = Compositor::kOther;
  bool kwin_capture_ = true;  // until KWin refuses it
  std::string sway_socket_;

  std::optional<WindowRects> active_;  // from the last ForegroundWindow
  std::optional<QImage> picked_;       // a window the user picked, for the next copy
  bool told_picking_ = false;

  std::optional<std::uint8_t> bound_key_;
  QString session_;
  bool shortcuts_ = true;  // until the portal turns out to lack them
  bool told_no_shortcuts_ = false;

  struct Rule {
    std::string caption;
    double opacity;
  };
  std::vector<Rule> rules_;
};

}  // namespace pixtrel
