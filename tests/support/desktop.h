// A whole desktop for one end-to-end test: its own X server, a tray host, a temporary HOME,
// and the real program started on them. Driven the way a user would, through xdotool.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "support/picture_files.h"
#include "support/temp_folder.h"
#include "support/xvfb.h"
#include "ui/ui.h"

namespace pixtrel::test {

struct WindowState {
  bool viewable = false;
  ui::Rect rect;  // in root coordinates
};

class Desktop {
 public:
  struct Setup {
    bool tray = true;             // without a tray host there is no notification area at all
    bool window_manager = false;  // openbox, framing and iconifying windows
  };
  Desktop(int width, int height, Setup setup);
  Desktop(int width, int height) : Desktop(width, height, Setup{}) {}
  ~Desktop();

  const TempFolder& Home() const { return home_; }
  std::string SettingsPath() const { return home_ / ".config/Pixtrel.cfg"; }
  void WriteSettings(const std::string& text) const;

  // Starts the program in HOME, with these NAME=VALUE variables besides its own, and waits
  // until its icon sits in the tray, or until it has said that there is no tray.
  void Start(const std::vector<std::string>& environment = {});
  // Waits for the program to end by itself; its exit code, or nothing after the timeout.
  std::optional<int> WaitForExit(int timeout_ms = 5000);
  // Sends the program a signal, as the system or a user's kill would.
  void Signal(int signal) const;
  // Ends the X server under the program, as a crash would. Nothing of the desktop can be
  // looked at after it.
  void KillServer();
  pid_t Pid() const { return program_; }  // -1 when it is not running
  // What the program wrote on its standard output and error.
  std::string Log() const { return ReadFileBytes(home_ / "pixtrel.log"); }

  // xdotool with these arguments; false if it failed.
  bool Xdo(const std::string& args) const;
  // Keeps checking until true or the timeout.
  static bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000);

  // The first window of that title (WM_NAME) anywhere in the tree.
  WindowState Window(const std::string& title) const;
  bool TrayIconShown() const;
  // Opens the tray icon's menu and picks its nth item from the keyboard; false if no menu came.
  bool ChooseFromTrayMenu(int item) const;
  bool MenuShown() const;
  ui::Rect Menu() const;  // the pop-up menu that is up, or an empty rectangle
  ui::Point TrayIconCentre() const;
  // The screen as it is now.
  Bitmap Screen() const;
  // The clipboard's image/png, decoded; an empty bitmap when it holds none.
  Bitmap ClipboardImage() const;
  // Saves the screen as build/tests/shots/NAME.png and says where, for the test log.
  void Shot(const std::string& name) const;

 private:
  Xvfb server_;
  TempFolder home_;
  void* display_ = nullptr;
  bool with_tray_;
  pid_t tray_ = -1;
  pid_t window_manager_ = -1;
  pid_t program_ = -1;
};

// Paints the root window of an X connection (a Display*) so that every pixel differs from its
// neighbours, and a shifted or scaled copy shows. The server must not reset while it is used.
void PaintPatternedRoot(void* display);

}  // namespace pixtrel::test
