// Pixtrel.exe under wine on a virtual desktop with a tray host, with wine's heap checks on. Keys
// and typing go through pixtrel_driver.exe's SendInput, which is what GetAsyncKeyState sees; the
// mouse through xdotool, which is quicker and which wine takes as any X client's.
#include "monkey/monkey.h"

#ifdef PIXTREL_WIN32_PROGRAM

#include <signal.h>
#include <sys/types.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/desktop.h"
#include "support/wine_desktop.h"

namespace pixtrel::monkey {

std::string Output(const std::string& command);
long StatusKb(pid_t pid, const std::string& key);

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
// The small disk, as a drive of its own.
constexpr char kDiskDrive[] = "m:";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The driver's name for a key that the monkey names as X does.
std::string VirtualKey(const std::string& key) {
  static const std::map<std::string, std::string> kNames = {
      {"Escape", "ESCAPE"}, {"Print", "SNAPSHOT"}, {"BackSpace", "BACK"}, {"space", "SPACE"},
      {"Prior", "PRIOR"},   {"Next", "NEXT"},      {"Return", "RETURN"},  {"alt", "ALT"},
      {"ctrl", "CTRL"},     {"shift", "SHIFT"}};
  const auto it = kNames.find(key);
  if (it != kNames.end())
    return it->second;
  std::string upper;
  for (const char c : key)
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

class Wine : public Target {
 public:
  Wine() : desktop_(kWidth, kHeight) {
    drive_ = std::string(std::getenv("WINEPREFIX")) + "/dosdevices/" + kDiskDrive;
    std::error_code ignored;
    fs::remove(drive_, ignored);
    fs::create_directory_symlink(Home() + "/out/disk", drive_, ignored);
  }
  ~Wine() override {
    std::error_code ignored;
    fs::remove(drive_, ignored);
  }

  void Start() override {
    desktop_.Start(PIXTREL_WIN32_PROGRAM, {}, {"WINEDEBUG=-all,warn+heap,err+heap"});
    pid_ = -1;
    clients_.clear();
  }
  std::optional<int> Exited() override { return desktop_.WaitForExit(0); }
  std::string Log() const override { return desktop_.Log(); }
  std::string Fault(const std::string& log) const override {
    for (const char* word : {"heap:", "Unhandled", "Backtrace", "err:seh"}) {
      const std::size_t at = log.find(word);
      if (at != std::string::npos) {
        const std::size_t start = log.rfind('\n', at);
        return log.substr(start == std::string::npos ? 0 : start + 1, 300);
      }
    }
    return "";
  }

  ui::Rect ScreenRect() const override { return {0, 0, kWidth, kHeight}; }
  std::vector<Shown> Windows() const override {
    std::vector<Shown> shown = ProgramWindows("pixtrel");
    // Wine draws the frames itself: the X window is the whole window, and the driver tells once
    // where its client area lies.
    for (Shown& window : shown) {
      if (window.title.empty())
        continue;
      const std::string key = window.title + "@" + std::to_string(window.rect.width) + "x" +
                              std::to_string(window.rect.height);
      auto it = clients_.find(key);
      if (it == clients_.end()) {
        const test::Fields fields = desktop_.Window(window.title);
        if (fields.Number("exists") == 0 || fields.Rect().width != window.rect.width)
          continue;
        const ui::Rect outer = fields.Rect(), client = fields.ClientRect();
        it = clients_
                 .emplace(key, ui::Rect{client.left - outer.left, client.top - outer.top,
                                        client.width, client.height})
                 .first;
      }
      window.rect = {window.rect.left + it->second.left, window.rect.top + it->second.top,
                     it->second.width, it->second.height};
    }
    return shown;
  }
  std::string CrashBox() const override {
    for (const char* word : {"Program Error", "winedbg"}) {
      if (std::string title = WindowWith(word); !title.empty())
        return title;
    }
    return "";
  }
  ui::Point TrayIcon() const override { return desktop_.TrayIconCentre(); }

  void Key(const std::string& key, const std::vector<std::string>& modifiers,
           int hold_ms) override {
    if (hold_ms <= 0) {
      std::vector<std::string> args{"key", VirtualKey(key)};
      for (const std::string& modifier : modifiers)
        args.push_back(VirtualKey(modifier));
      desktop_.Driver(args);
      return;
    }
    for (const std::string& modifier : modifiers)
      desktop_.Driver({"keydown", VirtualKey(modifier)});
    desktop_.Driver({"keydown", VirtualKey(key)});
    test::Desktop::WaitFor([] { return false; }, hold_ms);
    desktop_.Driver({"keyup", VirtualKey(key)});
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
      desktop_.Driver({"keyup", VirtualKey(*it)});
  }
  void Type(const std::string& utf8) override { desktop_.Driver({"type", utf8}); }
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
    // Held open a while, as a slow clipboard reader does: the program cannot open it meanwhile.
    holder_.reset();
    holder_.emplace(desktop_.DriverInBackground({"hold-clipboard", "2000"}));
  }

  std::string Home() const override { return desktop_.Home().Path(); }
  std::string SettingsPath() const override { return desktop_.SettingsPath(); }
  std::string ProgramPath(const std::string& unix_path) const override {
    const std::string disk = Home() + "/out/disk";
    if (unix_path.rfind(disk, 0) == 0)
      return "M:" + test::WineDesktop::WindowsPath(unix_path.substr(disk.size())).substr(2) +
             (unix_path.size() == disk.size() ? "\\" : "");
    return test::WineDesktop::WindowsPath(unix_path);
  }
  std::string DefaultFolder() const override { return desktop_.DocumentsPath() + "/Pixtrel"; }

  Resources Measure() const override {
    const test::DriverResult result = desktop_.Driver({"process", "  Pixtrel v1.2"});
    if (!result.Ok())
      return {};
    const test::Fields fields = result.Reply();
    Resources at{{"handles", fields.Number("handles_listed")},
                 {"gdi", fields.Number("wine_gdi")},
                 {"windows", fields.Number("windows")},
                 {"private_kb", fields.Number("private") / 1024}};
    // GetGuiResources is 0 under wine; counted where it is not, as on Windows.
    if (fields.Number("gdi") > 0)
      at["gui_gdi"] = fields.Number("gdi");
    if (fields.Number("user") > 0)
      at["gui_user"] = fields.Number("user");
    if (const pid_t pid = UnixPid(); pid > 0)
      at["rss_kb"] = StatusKb(pid, "VmRSS");
    return at;
  }
  Resources Margins() const override {
    return {{"handles", 8},        {"gdi", 8},     {"windows", 2}, {"private_kb", 16 * 1024},
            {"rss_kb", 24 * 1024}, {"gui_gdi", 8}, {"gui_user", 4}};
  }
  void Shot(const std::string& name) const override { desktop_.Shot(name); }

 private:
  std::string At(ui::Point p) const { return ScreenPoint(p, ScreenRect()); }

  // The wine process of our Pixtrel.exe: its command line names it, and it runs on our display.
  pid_t UnixPid() const {
    if (pid_ > 0 && ::kill(pid_, 0) == 0)
      return pid_;
    const std::string display = std::string("DISPLAY=") + std::getenv("DISPLAY");
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0])))
        continue;
      const std::string command = ReadAll(it->path().string() + "/cmdline");
      if (command.find("Pixtrel.exe") == std::string::npos ||
          command.find("pixtrel_driver") != std::string::npos)
        continue;
      const std::string environment = ReadAll(it->path().string() + "/environ");
      if (environment.find(display + '\0') == std::string::npos)
        continue;
      pid_ = static_cast<pid_t>(std::stol(name));
      return pid_;
    }
    return -1;
  }

  test::WineDesktop desktop_;
  std::string drive_;
  std::optional<test::Process> holder_;
  mutable pid_t pid_ = -1;
  mutable std::map<std::string, ui::Rect> clients_;
};

}  // namespace

std::unique_ptr<Target> WineTarget() {
  return std::make_unique<Wine>();
}

}  // namespace pixtrel::monkey

#else

namespace pixtrel::monkey {

std::unique_ptr<Target> WineTarget() {
  return nullptr;
}

}  // namespace pixtrel::monkey

#endif
