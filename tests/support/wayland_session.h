// A headless Wayland desktop for one end-to-end test: a compositor (KWin, sway or GNOME Shell)
// with its portals on a private session bus, in a HOME of its own, and the real program started
// in it. Driven the way a user would: keys and the pointer through the compositor, the tray
// through the notification area's D-Bus calls.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "support/temp_folder.h"
#include "ui/ui.h"

class QJsonObject;

namespace pixtrel::test {

class WaylandSession {
 public:
  enum class Kind { kKWin, kSway, kGnome };
  // What our GlobalShortcuts backend on sway does with the shortcuts a client asks for.
  enum class ShortcutMode {
    kBind,      // binds those of CreateSession's options, and those of BindShortcuts
    kBindOnly,  // ignores CreateSession's; only BindShortcuts binds
    kRefuse,    // answers every request 2
  };
  struct Setup {
    Kind kind = Kind::kKWin;
    int width = 1024, height = 768;
    bool tray = true;             // our StatusNotifierWatcher, the notification area
    bool mock_shortcuts = false;  // sway: our GlobalShortcuts backend, which it lacks
    ShortcutMode shortcut_mode = ShortcutMode::kBind;
    bool screenshot_permission = true;  // GNOME: screenshots allowed without asking
    bool grant_program = true;          // KWin: the program may use ScreenShot2
  };
  // A window as the compositor has it, in screen coordinates.
  struct WindowGeometry {
    ui::Rect frame;   // with the decoration the compositor draws
    ui::Rect client;  // the program's own surface
  };
  static constexpr int kLeftButton = 0x110;  // BTN_LEFT
  static constexpr int kRightButton = 0x111;

  // Starts the whole desktop and waits until every part of it answers; throws naming the part
  // that did not. Run as root, sway and GNOME Shell run as the user pixtrel-wayland
  // (tools/lib/common.sh, need_wayland_user) in a runtime folder of their own.
  explicit WaylandSession(const Setup& setup);
  ~WaylandSession();
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;

  Kind GetKind() const { return setup_.kind; }
  const TempFolder& Home() const { return home_; }
  // How long the constructor took to have everything up.
  double StartSeconds() const { return start_seconds_; }

  // What a program in this session gets, as NAME=VALUE.
  std::vector<std::string> Environment() const;
  // Starts a program in the session, in HOME, with these variables besides Environment(); its
  // output to that file (none if empty). Stopped with the session if still running.
  pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
              const std::string& log_path);

  // Starts the Linux program with these arguments and variables; its output in
  // HOME/pixtrel.log. On KWin it may call ScreenShot2 unless the setup said not to.
  void StartProgram(const std::vector<std::string>& args = {},
                    const std::vector<std::string>& extra_env = {});
  std::string Log() const { return ReadFileBytes(home_ / "pixtrel.log"); }
  // Waits for the program to end by itself; its exit code, or nothing after the timeout.
  std::optional<int> WaitForExit(int timeout_ms = 5000);
  void Signal(int signal) const;
  // KWin: lets the program at that path call org.kde.KWin.ScreenShot2, as its desktop file
  // would on a real desktop. Once KWin runs, it takes 2 s to see it.
  void GrantProgram(const std::string& path) const;

  // Keys by evdev code (KEY_F12 is 88, KEY_LEFTALT 56, KEY_LEFTCTRL 29, KEY_LEFTSHIFT 42):
  // pressed in order, released in reverse. KWin: its fake-input protocol; sway: a virtual
  // keyboard with a US layout; GNOME: Mutter's remote-desktop session. A key held down stays
  // down until KeyUp.
  void Key(const std::vector<int>& codes);
  void KeyDown(int code);
  void KeyUp(int code);
  // The pointer, in screen coordinates, and its buttons by evdev code.
  void Pointer(int x, int y);
  void Click(int button = kLeftButton);
  void Drag(ui::Point from, ui::Point to);

  // The screen as the compositor has it, without the pointer: KWin's ScreenShot2 (this test
  // program is granted it), grim on sway, GNOME Shell's own Screenshot call.
  Bitmap Screen();
  // The clipboard's image/png, decoded; an empty bitmap when it holds none.
  Bitmap ClipboardImage() const;
  // Saves the screen as build/tests/shots/NAME.png and says where, for the test log.
  void Shot(const std::string& name);

  // The notification area: the first item registered with our watcher.
  bool TrayItemShown();
  bool TrayActivate();     // a left click
  bool TrayContextMenu();  // a right click
  // The labels of the item's menu, in order, and a click on the entry of that label.
  std::vector<std::string> TrayMenuLabels();
  bool TrayMenuClick(const std::string& label);

  // Shows another program's window whose content is the pattern of colour_pattern.h; what it
  // receives goes to WindowLog(title). With "--tray" among the options it puts a tray icon up.
  pid_t ShowColours(const std::string& title, int width, int height,
                    const std::vector<std::string>& options = {});
  std::string WindowLog(const std::string& title) const;
  bool WaitForWindow(const std::string& title, int timeout_ms = 5000);
  // The active window; nothing on GNOME, whose shell tells no other program.
  std::optional<WindowGeometry> ActiveWindow();
  // KWin: every window as it stacks them, the lowest first.
  struct WindowInfo {
    std::string caption;
    ui::Rect frame;
    bool keep_above = false;
    double opacity = 1;
  };
  std::vector<WindowInfo> Windows();

  // Our GlobalShortcuts backend (Setup::mock_shortcuts): the user presses a bound shortcut
  // (Activated then Deactivated), or holds and lets it go; false if no session bound it.
  bool Trigger(const std::string& id);
  bool ShortcutPress(const std::string& id);
  bool ShortcutRelease(const std::string& id);
  // The requests the backend received, in order, as "Method id:trigger id:trigger...".
  std::vector<std::string> ShortcutCalls();

  // Keeps checking until true or the timeout.
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000);

 private:
  struct Bus;
  struct Process {
    pid_t pid;
    std::string name;
  };

  void StopAll();
  void StartBuses();
  // The command that runs a compositor as our unprivileged user when we are root, and that
  // user's id.
  std::vector<std::string> AsSessionUser(uid_t& uid);
  void StartKWin();
  void StartSway();
  void StartGnome();
  void StartPortal(const std::string& backend, const std::string& backend_name);
  pid_t StartHelper(const std::string& name, const std::vector<std::string>& argv,
                    const std::vector<std::string>& extra_env);
  void WaitForName(const std::string& name, const std::string& what);
  void WaitForSocket(const std::string& path, pid_t pid, const std::string& what);
  void Fail(const std::string& what) const;
  // WAYLAND_DISPLAY for the compositor's socket of that name.
  std::string DisplayName(const std::string& socket) const;
  std::string TrayItem();
  std::string WindowLogPath(const std::string& title) const;
  void FakeInput(const std::string& command);
  void RemoteDesktop(const std::string& method, const std::vector<int>& args);
  Bitmap KWinScreen();
  Bitmap GnomeScreen();
  // Runs a KWin script whose body returns a string; that string.
  std::string KWinScript(const std::string& body);
  QJsonObject SwayTree();
  void Button(int button, bool down);

  Setup setup_;
  TempFolder home_;
  std::string runtime_;             // the clients'
  std::string compositor_runtime_;  // the compositor's, another when it runs as another user
  std::string wayland_display_;
  std::string swaysock_;
  std::vector<Process> processes_;  // in the order started, stopped the other way round
  std::unique_ptr<Bus> bus_;
  pid_t program_ = -1;
  bool kwin_started_ = false;
  // Our input client (KWin, sway), fed through a socket.
  pid_t fake_input_ = -1;
  int fake_input_in_ = -1;
  std::string remote_desktop_;  // GNOME: the Mutter remote-desktop session
  // The tray menu as last read: its object, and each label's id.
  std::string menu_path_;
  std::vector<std::pair<std::string, int>> menu_ids_;
  double start_seconds_ = 0;
};

// Where the colour window's content lies on a screen: its exact pattern, at its full size;
// an empty rectangle when it is nowhere.
ui::Rect FindColours(const Bitmap& screen, int width, int height);

}  // namespace pixtrel::test
