// A whole desktop for one end-to-end test of a Windows program under wine: its own X server
// with a tray host, the shared prefix's wineserver started again on it, and
// pixtrel_driver.exe to act as a user and read back what other programs see.
//
// Wine's explorer, which docks tray icons and paints the desktop, binds to the display of the
// first program of a server session: each desktop stops the server and starts its own, so
// these tests run one at a time. The prefix comes from $WINEPREFIX (start_wine_session).
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "support/temp_folder.h"
#include "support/xvfb.h"
#include "ui/ui.h"

namespace pixtrel::test {

// One line of the driver's reply: TAB-separated key=value fields.
class Fields {
 public:
  Fields() = default;
  explicit Fields(const std::string& line);
  bool Has(const std::string& key) const { return values_.count(key) != 0; }
  std::string Text(const std::string& key) const;  // empty when absent
  int Number(const std::string& key) const;        // -1 when absent
  bool Flag(const std::string& key) const { return Number(key) == 1; }
  ui::Rect Rect() const;        // left, top, width, height
  ui::Rect ClientRect() const;  // client_left, ... in screen coordinates

 private:
  std::map<std::string, std::string> values_;
};

struct DriverResult {
  int exit_code = -1;  // -1: killed after the timeout
  std::string out, err;
  bool Ok() const { return exit_code == 0; }
  Fields Reply() const;  // the first line
  std::vector<Fields> Lines() const;
};

// A program running beside the test; stopped with it at the latest.
class Process {
 public:
  Process(pid_t pid, std::string output) : pid_(pid), output_(std::move(output)) {}
  ~Process();
  Process(Process&& other) noexcept;
  Process& operator=(Process&&) = delete;
  Process(const Process&) = delete;

  std::string Output() const { return ReadFileBytes(output_); }
  // The first line of its output with that key, once it has come.
  std::optional<Fields> WaitForLine(const std::string& key, int timeout_ms = 5000) const;
  // Its exit code once it ends by itself, or nothing after the timeout.
  std::optional<int> WaitForExit(int timeout_ms = 5000);
  bool Running() { return !WaitForExit(0); }

 private:
  pid_t pid_;
  std::string output_;
};

class WineDesktop {
 public:
  // `locale`: the Unix locale every program of the desktop runs in, which sets wine's ANSI code
  // page (ru_RU.UTF-8: 1251, ja_JP.UTF-8: 932); C.UTF-8 gives 1252.
  WineDesktop(int width, int height, std::string locale = "C.UTF-8");
  ~WineDesktop();
  WineDesktop(const WineDesktop&) = delete;
  WineDesktop& operator=(const WineDesktop&) = delete;

  const TempFolder& Home() const { return home_; }
  // C:\windows\Pixtrel.cfg in the prefix, removed before and after the test.
  std::string SettingsPath() const;
  void WriteSettings(const std::string& text) const;
  // The user's "My Documents": a fresh empty folder for this test.
  const std::string& DocumentsPath() const { return documents_; }
  // Z:\ is the Unix root.
  static std::string WindowsPath(const std::string& unix_path);

  // Starts the program from Home() and waits until one more icon sits in the tray.
  // `environment`: NAME=VALUE entries for the program alone, over the desktop's own.
  void Start(const std::string& exe, const std::vector<std::string>& args = {},
             const std::vector<std::string>& environment = {});
  std::optional<int> WaitForExit(int timeout_ms = 5000);
  std::string Log() const { return ReadFileBytes(home_ / "program.log"); }

  // pixtrel_driver.exe with these arguments, to its end.
  DriverResult Driver(const std::vector<std::string>& args, int timeout_ms = 15000) const;
  // One that keeps running (colour-window, poll-key, tray-icon), once it has said "ready".
  Process DriverInBackground(const std::vector<std::string>& args) const;
  // The driver's view of a top-level window; exists=0 when there is none.
  Fields Window(const std::string& title) const;
  // The screen as a Windows program copies it, and the clipboard's CF_DIB; empty if none.
  Bitmap WindowsScreen() const;
  Bitmap Clipboard() const;
  bool SetClipboard(const Bitmap& picture) const;

  // xdotool with these arguments; false if it failed.
  bool Xdo(const std::string& args) const;
  // The docked tray icons' rectangles, in docking order.
  std::vector<ui::Rect> TrayIcons() const;
  bool TrayIconShown() const { return !TrayIcons().empty(); }
  ui::Point TrayIconCentre() const;  // the first icon's, or (-1, -1)
  // The X server's root window, as the Linux tests take it.
  Bitmap Screen() const;
  // Saves the screen as build/tests/shots/NAME.png and says where, for the test log.
  void Shot(const std::string& name) const;

 private:
  std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const;
  pid_t Run(const std::vector<std::string>& args, const std::string& out, const std::string& err,
            const std::vector<std::string>& environment = {}) const;
  void StartServer();
  void FreshDocuments();

  Xvfb server_;
  std::string locale_;
  TempFolder home_;
  void* display_ = nullptr;
  std::string prefix_;
  std::optional<Process> tray_;
  std::optional<Process> wineserver_;
  std::optional<Process> program_;
  std::string documents_link_;  // the prefix's link, pointed at documents_ meanwhile
  std::string documents_link_was_;
  std::string documents_;
  mutable int runs_ = 0;
};

}  // namespace pixtrel::test
