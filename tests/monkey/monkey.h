// A random user for the whole program: what one program (the Linux one, or Pixtrel.exe under
// wine) offers the monkey, and what the monkey reads back from the desktop around it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace pixtrel::monkey {

// One of the program's windows that is up, found through the X window tree.
struct Shown {
  std::string title;
  ui::Rect rect;  // the client area, in screen coordinates
  bool menu = false;
};

// What the program holds, by name ("rss_kb", "fds", "x_windows", "gdi", ...).
using Resources = std::map<std::string, long>;

class Target {
 public:
  virtual ~Target() = default;

  virtual void Start() = 0;
  // Its exit code once it has ended (-1: by a signal), or nothing while it runs.
  virtual std::optional<int> Exited() = 0;
  virtual std::string Log() const = 0;
  // A line of the log that a sanitizer, wine's heap checks or a crash wrote, or "".
  virtual std::string Fault(const std::string& log) const = 0;

  virtual ui::Rect ScreenRect() const = 0;
  virtual std::vector<Shown> Windows() const = 0;
  // A crash dialog's title, or "".
  virtual std::string CrashBox() const = 0;
  virtual ui::Point TrayIcon() const = 0;  // (-1, -1) when there is none

  // Keys by their X keysym names ("F12", "Escape", "Prior"); modifiers "alt", "ctrl", "shift".
  virtual void Key(const std::string& key, const std::vector<std::string>& modifiers,
                   int hold_ms) = 0;
  virtual void Type(const std::string& utf8) = 0;
  virtual void Click(ui::Point at, bool right, int count) = 0;
  virtual void Drag(ui::Point from, ui::Point to) = 0;
  virtual void TakeClipboard() = 0;

  // The folder the monkey keeps its files and the program's in, as a Unix path.
  virtual std::string Home() const = 0;
  virtual std::string SettingsPath() const = 0;
  // A Unix path as the program names it in its settings and dialogs.
  virtual std::string ProgramPath(const std::string& unix_path) const = 0;
  // The default auto-record folder, as a Unix path.
  virtual std::string DefaultFolder() const = 0;
  // What the program holds now; empty when it cannot be read.
  virtual Resources Measure() const = 0;
  // How far each resource may grow over a run.
  virtual Resources Margins() const = 0;
  virtual void Shot(const std::string& name) const = 0;
};

std::unique_ptr<Target> LinuxTarget();
std::unique_ptr<Target> WineTarget();  // null where the Windows build was not named

// A point as xdotool takes it, moved onto the screen: a window partly off the screen has points
// nobody can click, and xdotool reads a negative number as an option.
std::string ScreenPoint(ui::Point p, ui::Rect screen);

// The program's viewable top-level windows and menus on $DISPLAY: those whose WM_CLASS begins
// with `program_class`, ignoring case, and that are larger than a tray icon.
std::vector<Shown> ProgramWindows(const std::string& program_class);
// The title of a viewable window whose title or class holds `word`, or "".
std::string WindowWith(const std::string& word);

}  // namespace pixtrel::monkey
