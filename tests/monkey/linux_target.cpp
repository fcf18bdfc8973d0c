// The Linux program on a virtual desktop with a tray host and a window manager, driven through
// xdotool.
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "monkey/monkey.h"
#include "support/desktop.h"

namespace pixtrel::monkey {

// A shell command's standard output.
std::string Output(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      out.append(buffer, read);
    ::pclose(pipe);
  }
  return out;
}

// A value of /proc/PID/status, in kB, or -1.
long StatusKb(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + ":", 0) == 0)
      return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

long OpenDescriptors(pid_t pid) {
  std::error_code error;
  long count = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error))
    ++count;
  return error ? -1 : count;
}

std::string ScreenPoint(ui::Point p, ui::Rect screen) {
  const int x = std::clamp(p.x, screen.left, screen.left + screen.width - 1);
  const int y = std::clamp(p.y, screen.top, screen.top + screen.height - 1);
  return std::to_string(x) + " " + std::to_string(y);
}

// A string for a shell's single quotes.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

class Linux : public Target {
 public:
  Linux() : desktop_(kWidth, kHeight, {.tray = true, .window_manager = true}) {}

  void Start() override { desktop_.Start(); }
  std::optional<int> Exited() override { return desktop_.WaitForExit(0); }
  std::string Log() const override { return desktop_.Log(); }
  std::string Fault(const std::string& log) const override {
    for (const char* word : {"Sanitizer", "runtime error:", "SUMMARY:"}) {
      const std::size_t at = log.find(word);
      if (at != std::string::npos) {
        const std::size_t start = log.rfind('\n', at);
        return log.substr(start == std::string::npos ? 0 : start + 1, 300);
      }
    }
    return "";
  }

  ui::Rect ScreenRect() const override { return {0, 0, kWidth, kHeight}; }
  std::vector<Shown> Windows() const override { return ProgramWindows("pixtrel"); }
  std::string CrashBox() const override { return ""; }
  ui::Point TrayIcon() const override { return desktop_.TrayIconCentre(); }

  void Key(const std::string& key, const std::vector<std::string>& modifiers,
           int hold_ms) override {
    if (hold_ms <= 0) {
      // Modifiers held over the next poll, as a hand holds them.
      std::string down, up;
      for (const std::string& modifier : modifiers) {
        down += " keydown " + Keysym(modifier);
        up = " keyup " + Keysym(modifier) + up;
      }
      desktop_.Xdo((down.empty() ? "" : down + " sleep 0.15") + " key " + key +
                   (up.empty() ? "" : " sleep 0.15" + up));
      return;
    }
    std::string down, up;
    for (const std::string& modifier : modifiers) {
      down += " keydown " + Keysym(modifier);
      up = " keyup " + Keysym(modifier) + up;
    }
    desktop_.Xdo(down + " keydown " + key + " sleep " + Seconds(hold_ms) + " keyup " + key + up);
  }
  void Type(const std::string& utf8) override { desktop_.Xdo("type --delay 2 -- " + Quoted(utf8)); }
  void Click(ui::Point at, bool right, int count) override {
    desktop_.Xdo("mousemove " + At(at) + " click " +
                 (count > 1 ? "--repeat " + std::to_string(count) + " --delay 80 " : "") +
                 (right ? "3" : "1"));
  }
  void Drag(ui::Point from, ui::Point to) override {
    const ui::Point middle{(from.x + to.x) / 2, (from.y + to.y) / 2};
    desktop_.Xdo("mousemove " + At(from) + " mousedown 1 sleep 0.15 mousemove " + At(middle) +
                 " sleep 0.15 mousemove " + At(to) + " sleep 0.15 mouseup 1");
  }
  void TakeClipboard() override {
    // xclip stays until another client takes the selection back; gone with the desktop.
    Output("echo monkey | timeout 30 xclip -selection clipboard -i -loops 1 >/dev/null 2>&1 &");
  }

  std::string Home() const override { return desktop_.Home().Path(); }
  std::string SettingsPath() const override { return desktop_.SettingsPath(); }
  std::string ProgramPath(const std::string& unix_path) const override { return unix_path; }
  std::string DefaultFolder() const override { return desktop_.Home() / "Documents/Pixtrel"; }

  Resources Measure() const override {
    const pid_t pid = desktop_.Pid();
    if (pid <= 0)
      return {};
    Resources at{{"rss_kb", StatusKb(pid, "VmRSS")}, {"fds", OpenDescriptors(pid)}};
    // Both of its connections, Qt's and the Xlib one that copies the screen, as xrestop counts
    // them.
    const std::string counts =
        Output("bases=\" $(" PIXTREL_X_CLIENTS " " + std::to_string(pid) +
               " | tr '\\n' ' ')\"; xrestop -b -m 1 | awk -F: -v bases=\"$bases\" '"
               "/^[0-9]+ - / { mine = 0; next }"
               "{ key = $1; gsub(/^[ \\t]+|[ \\t]+$/, \"\", key); value = $2;"
               "  gsub(/[ \\t~]/, \"\", value) }"
               "key == \"res_base\" { mine = index(bases, \" \" value \" \") > 0 }"
               "!mine { next }"
               "key == \"windows\" { w += value } key == \"pixmaps\" { p += value }"
               "key == \"GCs\" { g += value }"
               "key ~ /^(fonts|pictures|glyphsets|colormaps|passive grabs|cursors|unknowns)$/ "
               "{ o += value }"
               "END { print w + 0, p + 0, g + 0, o + 0 }'");
    std::istringstream in(counts);
    long windows = -1, pixmaps = -1, gcs = -1, other = -1;
    if (in >> windows >> pixmaps >> gcs >> other) {
      at["x_windows"] = windows;
      at["x_pixmaps"] = pixmaps;
      at["x_gcs"] = gcs;
      at["x_other"] = other;
    }
    return at;
  }
  Resources Margins() const override {
    // Under AddressSanitizer freed memory waits in quarantine before it is reused.
    return {{"rss_kb", 64 * 1024}, {"fds", 4},   {"x_windows", 4},
            {"x_pixmaps", 8},      {"x_gcs", 8}, {"x_other", 16}};
  }
  void Shot(const std::string& name) const override { desktop_.Shot(name); }

 private:
  static std::string Keysym(const std::string& modifier) {
    return modifier == "alt" ? "Alt_L" : modifier == "ctrl" ? "Control_L" : "Shift_L";
  }
  static std::string Seconds(int ms) {
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) +
           std::to_string(ms % 100 / 10);
  }
  std::string At(ui::Point p) const { return ScreenPoint(p, ScreenRect()); }

  test::Desktop desktop_;
};

}  // namespace

std::unique_ptr<Target> LinuxTarget() {
  return std::make_unique<Linux>();
}

}  // namespace pixtrel::monkey
