// A random user for the whole program, for as long as asked; every choice comes from one
// seeded generator, so a seed replays its stream of actions.
//   monkey [--windows] [--seed N] [--minutes M | --seconds S]
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "monkey/monkey.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "support/picture_files.h"
#include "support/temp_folder.h"

namespace pixtrel::monkey {

std::string Output(const std::string& command);
std::string Quoted(const std::string& text);

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Ctrl+C or a kill ends the run at the next step, with its folders unlocked and unmounted.
volatile std::sig_atomic_t stopped = 0;
void Stop(int) {
  stopped = 1;
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Run(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  // std::system ignores Ctrl+C while its command runs: the command's end by it says it came.
  if ((WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) ||
      (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT))
    stopped = 1;
  return status == 0;
}

// The draws of one step: always as many, whatever the step does with them, so that the stream
// of a seed stays the same when the program answers differently.
class Draws {
 public:
  explicit Draws(std::mt19937& generator) {
    for (std::uint32_t& value : values_)
      value = generator();
  }
  std::uint32_t Next() { return values_[next_++ % values_.size()]; }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  double Fraction() { return Next() / 4294967296.0; }
  // Weighted: the index of the chosen weight.
  int Weighted(const std::vector<int>& weights) {
    int total = 0;
    for (const int w : weights)
      total += w;
    int pick = Below(total);
    for (std::size_t i = 0; i < weights.size(); ++i) {
      if (pick < weights[i])
        return static_cast<int>(i);
      pick -= weights[i];
    }
    return 0;
  }

 private:
  std::array<std::uint32_t, 12> values_{};
  std::size_t next_ = 0;
};

// The key names the preferences offer, with the keys they stand for (mouse buttons as
// "button1".."button3").
struct HotkeyName {
  const char* name;
  const char* key;
};
constexpr HotkeyName kHotkeys[] = {
    {"Echap", "Escape"},    {"F1", "F1"},           {"F2", "F2"},          {"F3", "F3"},
    {"F4", "F4"},           {"F5", "F5"},           {"F6", "F6"},          {"F7", "F7"},
    {"F8", "F8"},           {"F9", "F9"},           {"F10", "F10"},        {"F11", "F11"},
    {"F12", "F12"},         {"Impr.Ecr", "Print"},  {"Fin", "End"},        {"Inser", "Insert"},
    {"Suppr", "Delete"},    {"Pg.UP", "Prior"},     {"Pg.DW", "Next"},     {"Arrow.UP", "Up"},
    {"Arrow.DW", "Down"},   {"Arrow.LT", "Left"},   {"Arrow.RT", "Right"}, {"Mouse.L", "button1"},
    {"Mouse.R", "button3"}, {"Mouse.M", "button2"},
};

const std::string kViewer = "  Pixtrel v1.2";
const std::string kOverlay = "Form4";
const std::string kPreferences = "  Préférences...";
const std::string kAbout = "  About...";
const std::string kBox = "Pixtrel";

// Where a user would click in each of the program's windows, relative to its client area:
// weight, x, y, and whether the click may end the program.
struct Spot {
  int weight, x, y;
  bool quits = false;
};
const std::map<std::string, std::vector<Spot>> kSpots = {
    {kViewer,
     {{20, 28, 8}, {20, 84, 8}, {14, 124, 8}, {8, 177, 6}, {1, 192, 6, true}, {6, 100, 90}}},
    {kPreferences,
     {{8, 24, 32},  // Actif
      {4, 88, 24},  // *.bmp
      {4, 88, 32 + 8},
      {6, 250, 24},    // the slider
      {8, 56, 82},     // the hotkey's box
      {4, 98, 82},     // its arrow
      {3, 24, 104},    // Bord blanc
      {8, 140, 218},   // the folder's box
      {2, 296, 218},   // Browse
      {14, 288, 260},  // Ok
      {8, 200, 260},   // Annuler
      {4, 112, 260},   // Set default
      {3, 32, 260}}},  // Infos
    {kAbout, {{10, 180, 76}, {2, 40, 40}}},
};
// The about box's contact label opens another program, the mail client, which is not ours to
// watch: no click lands there.
constexpr ui::Rect kContact{8, 80, 86, 13};

bool IsSaveDialog(const Shown& window) {
  return window.title.rfind("Save", 0) == 0 ||
         window.title.find("Enregistrer") != std::string::npos;
}

bool Inside(ui::Rect r, ui::Point p) {
  return p.x >= r.left && p.y >= r.top && p.x < r.left + r.width && p.y < r.top + r.height;
}

// Texts a user types into a field, of each kind that has tripped programs.
std::string SomeText(Draws& draws) {
  std::mt19937 letters(draws.Next());
  const auto pick = [&](const std::vector<std::string>& from) {
    return from[letters() % from.size()];
  };
  switch (draws.Below(8)) {
    case 0:
      return std::to_string(static_cast<int>(letters() % 400) - 100);
    case 1:
      return pick({"abc", "1O0", "12,5", "0x7FFFFFFF", "99999999999", "-", " 42 ", "$FF", "+"});
    case 2:
      return kHotkeys[letters() % std::size(kHotkeys)].name;
    case 3:
      return pick({"F13", "Echap ", "f12", "Mouse.X", "Ctrl", "Pg.Up", "ImprEcr", ""});
    case 4: {
      std::string long_text;
      const std::size_t size = 200 + letters() % 2200;
      while (long_text.size() < size)
        long_text += static_cast<char>('a' + letters() % 26);
      return long_text;
    }
    case 5:
      return pick({"é", "àçüß", "Жёлтый", "日本語", "ﬁ", "Ωμέγα", "e\xcc\x81", "🙂"});
    case 6:
      return pick({"/tmp", "/nonexistent/deeper", "..", "/", "~/x", "a/b/c"});
    default:
      return pick({"\t", " ", "x", "F1", "Mo", "A"});
  }
}

std::string RandomBytes(std::mt19937& bytes, std::size_t size) {
  std::string text(size, '\0');
  for (char& c : text)
    c = static_cast<char>(bytes() & 0xFF);
  return text;
}

class Monkey {
 public:
  Monkey(Target& target, unsigned seed, std::chrono::seconds length)
      : target_(target), seed_(seed), length_(length), generator_(seed) {}

  int RunAll();

 private:
  struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
  };

  void Step();
  void Note(const std::string& action) {
    history_.push_back(std::to_string(step_) + ": " + action);
    if (history_.size() > 20)
      history_.pop_front();
  }
  void Fail(const std::string& what) { throw Failure(what); }
  // Waits a moment for a pop-up menu; whether one came.
  bool MenuUp() const {
    for (int i = 0; i < 20; ++i) {
      for (const Shown& window : target_.Windows()) {
        if (window.menu)
          return true;
      }
      Pause(100);
    }
    return false;
  }
  void StartProgram();

  // The actions.
  void Hotkey(Draws& draws);
  void OtherKey(Draws& draws);
  void ClickWindow(Draws& draws, const std::vector<Shown>& shown);
  void DragWindow(Draws& draws, const std::vector<Shown>& shown);
  void Tray(Draws& draws);
  void TypeText(Draws& draws);
  void SaveDialog(Draws& draws, const std::vector<Shown>& shown);
  void Outside(Draws& draws);
  void Wait(Draws& draws);

  // The obstacles outside the program.
  void ChangeSettings(Draws& draws);
  void ChangeFolders(Draws& draws);
  void Lock(const std::string& path);
  void UnlockAll();
  std::string SomeFolder(Draws& draws) const;
  std::string CurrentHotkey() const;

  // The invariants.
  void Check(bool final_check);
  void CheckFiles(bool final_check);
  std::string FileFault(const std::string& path, bool decode) const;
  void CheckSettings();
  void CheckResources(bool final_check);

  std::string Out() const { return target_.Home() + "/out"; }

  Target& target_;
  unsigned seed_;
  std::chrono::seconds length_;
  std::mt19937 generator_;
  long step_ = 0;
  std::deque<std::string> history_;
  long may_quit_until_ = -1;  // the last step whose exit is the stream's own
  bool viewer_was_up_ = false;
  bool viewer_keys_quit_ = false;
  std::optional<std::string> settings_;  // the file as the monkey or the program left it
  std::set<std::string> locked_;
  std::optional<test::SmallDisk> disk_;
  std::map<std::string, std::string> checked_;        // path -> size and time of a whole file
  std::map<std::string, Clock::time_point> suspect_;  // first seen not whole
  std::optional<Resources> baseline_;
  Resources last_resources_;
  long instance_steps_ = 0;
  // What the closing lines report.
  long events_ = 0, captures_ = 0, files_ = 0, restarts_ = 0;
  Resources first_figures_, last_figures_;
};

int Monkey::RunAll() {
  std::cout << "monkey: seed " << seed_ << ", " << length_.count() << " s" << std::endl;
  fs::create_directories(Out() + "/saves");
  fs::create_directories(Out() + "/disk");
  disk_.emplace(Out() + "/disk", "6m");
  if (!disk_->Mounted())
    std::cout << "monkey: no right to mount a small disk here; no full disk then" << std::endl;
  int code = 0;
  try {
    StartProgram();
    const auto end = Clock::now() + length_;
    while (Clock::now() < end && stopped == 0) {
      ++step_;
      Step();
      Check(false);
    }
    Note("the end: every window closed");
    // At rest for the last look.
    for (int i = 0; i < 8 && !target_.Windows().empty(); ++i) {
      target_.Key("Escape", {}, 0);
      Pause(300);
    }
    Check(true);
  } catch (const std::exception& failure) {
    std::cout << "\nmonkey: FAILED at step " << step_ << " of seed " << seed_ << ": "
              << failure.what() << "\nthe last actions:\n";
    for (const std::string& line : history_)
      std::cout << "  " << line << "\n";
    std::cout << "windows up:";
    for (const Shown& window : target_.Windows())
      std::cout << " '" << window.title << "'";
    std::cout << "\n";
    target_.Shot("monkey-failure-" + std::to_string(seed_));
    std::cout << "program log (end):\n";
    const std::string log = target_.Log();
    std::cout << log.substr(log.size() > 4000 ? log.size() - 4000 : 0) << std::endl;
    code = 1;
  }
  UnlockAll();
  std::cout << "monkey: seed " << seed_ << ": " << step_ << " steps, " << events_
            << " events sent, " << captures_ << " captures seen, " << files_ << " files written, "
            << restarts_ << " restarts\n";
  const auto figures = [](const Resources& r) {
    std::string out;
    for (const auto& [name, value] : r)
      out += " " + name + "=" + std::to_string(value);
    return out;
  };
  std::cout << "monkey: resources at the first rest:" << figures(first_figures_) << "\n"
            << "monkey: resources at the last rest: " << figures(last_figures_) << "\n"
            << "monkey: " << (code == 0 ? "PASSED" : "FAILED") << " (seed " << seed_ << ")"
            << std::endl;
  return code;
}

void Monkey::StartProgram() {
  target_.Start();
  baseline_.reset();
  instance_steps_ = 0;
}

void Monkey::Step() {
  Draws draws(generator_);
  const std::vector<Shown> shown = target_.Windows();
  ++instance_steps_;
  // Tab moves the viewer's focus onto its "x", which Return or space then presses: a key may
  // end the program while the viewer is up.
  viewer_keys_quit_ = false;
  for (const Shown& window : shown)
    viewer_keys_quit_ = viewer_keys_quit_ || window.title == kViewer;
  // A modal dialog or box holds every other window until it is answered: answered more often.
  bool dialog = false, box = false;
  for (const Shown& window : shown) {
    dialog = dialog || IsSaveDialog(window);
    box = box || window.title == kBox;
  }
  const int answer = dialog ? 30 : 0;
  switch (
      draws.Weighted({22, 6 + (box ? 10 : 0), 26 + (box ? 20 : 0), 6, 8, 9, 7 + answer, 6, 4})) {
    case 0:
      return Hotkey(draws);
    case 1:
      return OtherKey(draws);
    case 2:
      return ClickWindow(draws, shown);
    case 3:
      return DragWindow(draws, shown);
    case 4:
      return Tray(draws);
    case 5:
      return TypeText(draws);
    case 6:
      return SaveDialog(draws, shown);
    case 7:
      return Outside(draws);
    default:
      return Wait(draws);
  }
}

std::string Monkey::CurrentHotkey() const {
  const std::string name =
      settings_ ? settings_text::ReadValue(*settings_, kSettingsSection, kHotkeyKey, "F12") : "F12";
  for (const HotkeyName& key : kHotkeys) {
    if (name == key.name)
      return key.key;
  }
  return "F12";
}

void Monkey::Hotkey(Draws& draws) {
  const int which = draws.Below(100);
  std::string key = which < 60   ? CurrentHotkey()
                    : which < 85 ? "F12"
                                 : kHotkeys[draws.Below(23)].key;
  static const std::vector<std::vector<std::string>> kModifiers = {
      {}, {"alt"}, {"ctrl"}, {"shift"}, {"alt", "ctrl"}, {"shift", "ctrl"}};
  const std::vector<std::string>& modifiers = kModifiers[draws.Weighted({40, 18, 18, 18, 3, 3})];
  const int hold = draws.Chance(25) ? 150 + draws.Below(1800) : 0;
  std::string chord;
  for (const std::string& m : modifiers)
    chord += m + "+";
  Note("hotkey " + chord + key + (hold > 0 ? " held " + std::to_string(hold) + " ms" : ""));
  ++events_;
  if (key.rfind("button", 0) == 0) {
    // A mouse button as the hotkey: pressed where the pointer is.
    target_.Click(
        {draws.Below(target_.ScreenRect().width), draws.Below(target_.ScreenRect().height)},
        key == "button3", 1);
    return;
  }
  target_.Key(key, modifiers, hold);
}

void Monkey::OtherKey(Draws& draws) {
  static const std::vector<std::string> kKeys = {"Escape", "Return", "Tab",   "space",     "Up",
                                                 "Down",   "Left",   "Right", "BackSpace", "Prior",
                                                 "Next",   "Home",   "End",   "a"};
  const std::string key = kKeys[draws.Below(static_cast<int>(kKeys.size()))];
  const bool ctrl = draws.Chance(10);
  Note(std::string("key ") + (ctrl ? "ctrl+" : "") + key);
  ++events_;
  if (viewer_keys_quit_)
    may_quit_until_ = step_ + 3;
  target_.Key(key, ctrl ? std::vector<std::string>{"ctrl"} : std::vector<std::string>{}, 0);
}

void Monkey::ClickWindow(Draws& draws, const std::vector<Shown>& shown) {
  if (shown.empty())
    return Tray(draws);
  const Shown& window = shown[draws.Below(static_cast<int>(shown.size()))];
  const ui::Rect r = window.rect;
  ui::Point at{r.left + draws.Below(std::max(1, r.width)),
               r.top + draws.Below(std::max(1, r.height))};
  bool quits = false;
  std::string what = "somewhere";
  const auto spots = kSpots.find(window.title);
  const bool on_spot = draws.Chance(75);
  if (window.menu) {
    // A pop-up menu: one of its rows. The tray's holds "Close...", the last.
    const int rows = 3;
    const int row = draws.Below(rows);
    at = {r.left + r.width / 2, r.top + r.height * (2 * row + 1) / (2 * rows)};
    what = "menu row " + std::to_string(row);
    quits = true;
  } else if (spots != kSpots.end() && on_spot) {
    std::vector<int> weights;
    for (const Spot& spot : spots->second)
      weights.push_back(spot.weight);
    const Spot& spot = spots->second[draws.Weighted(weights)];
    at = {r.left + spot.x, r.top + spot.y};
    quits = spot.quits;
    what = "spot " + std::to_string(spot.x) + "," + std::to_string(spot.y);
  } else if (window.title == kBox && on_spot) {
    // Its one button sits at the bottom right.
    at = {r.left + r.width - 50, r.top + r.height - 22};
    what = "its button";
  }
  if (window.title == kAbout && Inside(kContact, {at.x - r.left, at.y - r.top}))
    at.y = r.top + kContact.top + kContact.height + 2;
  // The viewer's "x" wherever the click lands on it.
  if (window.title == kViewer && at.x - r.left >= 184 && at.y - r.top < 14)
    quits = true;
  const bool right = draws.Chance(8);
  const int count = draws.Chance(6) ? 2 : 1;
  Note((count == 2 ? "double-click "
        : right    ? "right-click "
                   : "click ") +
       what + " in '" + window.title + "' at " + std::to_string(at.x) + "," + std::to_string(at.y));
  if (quits)
    may_quit_until_ = step_ + 3;
  ++events_;
  target_.Click(at, right, count);
}

void Monkey::DragWindow(Draws& draws, const std::vector<Shown>& shown) {
  if (shown.empty())
    return Wait(draws);
  const Shown& window = shown[draws.Below(static_cast<int>(shown.size()))];
  const ui::Rect r = window.rect;
  const ui::Rect screen = target_.ScreenRect();
  ui::Point from{r.left + draws.Below(std::max(1, r.width)),
                 r.top + draws.Below(std::max(1, r.height))};
  if (window.title == kViewer && draws.Chance(60))
    from = {r.left + 20 + draws.Below(160), r.top + 20 + draws.Below(140)};  // its picture
  const ui::Point to{draws.Below(screen.width), draws.Below(screen.height)};
  if (window.title == kAbout && Inside(kContact, {from.x - r.left, from.y - r.top}))
    from.y = r.top + 10;
  // Across the viewer's "x", a release there is a click on it.
  if (window.menu || (window.title == kViewer && (to.x - r.left >= 184 || from.x - r.left >= 184)))
    may_quit_until_ = step_ + 3;
  Note("drag in '" + window.title + "' from " + std::to_string(from.x) + "," +
       std::to_string(from.y) + " to " + std::to_string(to.x) + "," + std::to_string(to.y));
  ++events_;
  target_.Drag(from, to);
}

void Monkey::Tray(Draws& draws) {
  const bool right = draws.Chance(50);
  const bool keyboard = draws.Chance(40);
  const int item = draws.Below(3);
  const ui::Point icon = target_.TrayIcon();
  if (icon.x < 0) {
    Note("the tray icon: none to click");
    return;
  }
  Note(std::string(right ? "right" : "left") + "-click the tray icon" +
       (right && keyboard ? ", then menu item " + std::to_string(item) + " by keys" : ""));
  ++events_;
  target_.Click(icon, right, 1);
  if (!right || !keyboard || !MenuUp())
    return;
  for (int i = 0; i < item; ++i)
    target_.Key("Down", {}, 0);
  target_.Key("Return", {}, 0);
  if (item == 2)
    may_quit_until_ = step_ + 3;
}

void Monkey::TypeText(Draws& draws) {
  const bool select_all = draws.Chance(50);
  const std::string text = SomeText(draws);
  const int then = draws.Below(4);  // nothing, Tab, Return, Escape
  Note(std::string("type ") + (select_all ? "over everything " : "") + "'" +
       (text.size() > 40 ? text.substr(0, 40) + "...' (" + std::to_string(text.size()) + ")"
                         : text + "'") +
       (then == 1   ? " Tab"
        : then == 2 ? " Return"
        : then == 3 ? " Escape"
                    : ""));
  ++events_;
  if (viewer_keys_quit_)
    may_quit_until_ = step_ + 3;
  if (select_all)
    target_.Key("a", {"ctrl"}, 0);
  if (!text.empty())
    target_.Type(text);
  if (then > 0)
    target_.Key(then == 1 ? "Tab" : then == 2 ? "Return" : "Escape", {}, 0);
}

void Monkey::SaveDialog(Draws& draws, const std::vector<Shown>& shown) {
  const Shown* viewer = nullptr;
  const Shown* dialog = nullptr;
  for (const Shown& window : shown) {
    if (window.title == kViewer)
      viewer = &window;
    if (IsSaveDialog(window))
      dialog = &window;
  }
  const int kind = draws.Below(7);
  const bool jpg = draws.Chance(50);
  const bool cancel = draws.Chance(20);
  std::mt19937 letters(draws.Next());
  if (dialog == nullptr) {
    if (viewer == nullptr)
      return Wait(draws);
    // "Save as...", then "*.BMP" or "*.JPG" from its menu.
    Note(std::string("Save as... ") + (jpg ? "*.JPG" : "*.BMP"));
    ++events_;
    target_.Click({viewer->rect.left + 84, viewer->rect.top + 8}, false, 1);
    if (!MenuUp())
      return;
    if (viewer_keys_quit_)
      may_quit_until_ = step_ + 3;
    target_.Key("Down", {}, 0);
    if (jpg)
      target_.Key("Down", {}, 0);
    target_.Key("Return", {}, 0);
    return;
  }
  std::string name;
  const std::string saves = Out() + "/saves";
  switch (kind) {
    case 0:
    case 1:
      name = target_.ProgramPath(saves + "/shot" + std::to_string(letters() % 50));
      break;
    case 2:
      name = target_.ProgramPath(saves + "/shot" + std::to_string(letters() % 50) +
                                 (letters() % 2 ? ".bmp" : ".jpg"));
      break;
    case 3:  // a folder that is not there
      name = target_.ProgramPath(Out() + "/missing/deeper/shot.bmp");
      break;
    case 4:  // names the system refuses
      name = target_.ProgramPath(saves) + std::vector<std::string>{"/a\\b:c*d?e\"f<g>h|i",
                                                                   "/" + std::string(300, 'n'),
                                                                   "/",
                                                                   "/.",
                                                                   "/con",
                                                                   "/nul.bmp"}[letters() % 6];
      break;
    case 5:  // the small disk, which may be full
      name = target_.ProgramPath(Out() + "/disk/shot" + std::to_string(letters() % 20));
      break;
    default:
      name = target_.ProgramPath(saves + "/ünï " + std::to_string(letters() % 20));
  }
  Note("save dialog: " + (cancel ? std::string("Escape") : "'" + name + "' Return"));
  ++events_;
  if (viewer_keys_quit_)
    may_quit_until_ = step_ + 3;
  if (cancel) {
    target_.Key("Escape", {}, 0);
    return;
  }
  target_.Key("a", {"ctrl"}, 0);
  target_.Type(name);
  target_.Key("Return", {}, 0);
}

std::string Monkey::SomeFolder(Draws& draws) const {
  static const std::vector<std::string> kFolders = {"saves",  "disk",   "gone/deeper",
                                                    "locked", "a-file", "saves/sub"};
  return Out() + "/" + kFolders[draws.Below(static_cast<int>(kFolders.size()))];
}

void Monkey::Outside(Draws& draws) {
  switch (draws.Weighted({10, 6, 2})) {
    case 0:
      return ChangeSettings(draws);
    case 1:
      return ChangeFolders(draws);
    default:
      Note("another program takes the clipboard");
      return target_.TakeClipboard();
  }
}

void Monkey::Lock(const std::string& path) {
  if (Run("chattr +i " + Quoted(path)))
    locked_.insert(path);
}

void Monkey::UnlockAll() {
  for (const std::string& path : locked_)
    Run("chattr -i " + Quoted(path));
  locked_.clear();
}

void Monkey::ChangeSettings(Draws& draws) {
  const std::string path = target_.SettingsPath();
  std::mt19937 bytes(draws.Next());
  const int kind = draws.Weighted({12, 3, 3, 2, 2, 2});
  const bool auto_rec = draws.Chance(45);
  const bool jpg = draws.Chance(40);
  const std::string folder = SomeFolder(draws);
  const int quality = draws.Below(10) == 0 ? -1 : draws.Below(101);
  const int hotkey = draws.Below(100);
  const bool border = draws.Chance(70);
  UnlockAll();
  std::error_code ignored;
  if (fs::is_directory(path))
    fs::remove_all(path, ignored);
  std::string text;
  switch (kind) {
    case 0: {  // what another program, or a hand, writes
      const std::string name = hotkey < 70   ? "F12"
                               : hotkey < 90 ? kHotkeys[hotkey % 23].name
                                             : std::string("Bogus");
      text = "[Settings]\r\nAutoRec=" + std::string(YesNo(auto_rec)) +
             "\r\nAutoRecFormat=" + (jpg ? "jpg" : "bmp") +
             "\r\nSaveFilePath=" + target_.ProgramPath(folder) +
             "\r\nCompression=" + (quality < 0 ? "beaucoup" : std::to_string(quality)) +
             "\r\nPixtrel=" + name + "\r\nBordBlanc=" + std::string(YesNo(border)) + "\r\n";
      Note("settings: auto-record " + std::string(YesNo(auto_rec)) + " " + (jpg ? "jpg" : "bmp") +
           " into " + folder + ", quality " + std::to_string(quality) + ", hotkey " + name);
      break;
    }
    case 1:  // random bytes
      text = RandomBytes(bytes, bytes() % 3000);
      Note("settings: " + std::to_string(text.size()) + " random bytes");
      break;
    case 2: {  // cut short
      const std::string before = settings_.value_or("[Settings]\r\nPixtrel=F11\r\n");
      text = before.substr(0, before.empty() ? 0 : bytes() % before.size());
      Note("settings: cut to " + std::to_string(text.size()) + " bytes");
      break;
    }
    case 3:  // read-only as it is
      Note("settings: made read-only");
      if (fs::exists(path))
        Lock(path);
      return;
    case 4:  // a folder in its place
      Note("settings: a folder in its place");
      fs::remove(path, ignored);
      fs::create_directories(path, ignored);
      settings_.reset();
      return;
    default:
      Note("settings: removed");
      fs::remove(path, ignored);
      settings_.reset();
      return;
  }
  ++events_;
  // Written beside and renamed, as an editor saves: the program never meets half a file.
  test::WriteFileBytes(path + ".monkey", text);
  fs::rename(path + ".monkey", path, ignored);
  settings_ = text;
}

void Monkey::ChangeFolders(Draws& draws) {
  const std::string folder = SomeFolder(draws);
  const int kind = draws.Below(5);
  std::error_code ignored;
  ++events_;
  switch (kind) {
    case 0:
      Note("folder " + folder + " removed");
      Run("chattr -i " + Quoted(folder));
      locked_.erase(folder);
      if (folder.ends_with("/disk")) {
        Run("find " + Quoted(folder) + " -mindepth 1 -delete");
      } else {
        fs::remove_all(folder, ignored);
      }
      break;
    case 1:
      Note("folder " + folder + " made again");
      fs::create_directories(folder, ignored);
      break;
    case 2:
      Note("folder " + folder + " made read-only");
      fs::create_directories(folder, ignored);
      Lock(folder);
      break;
    case 3:
      Note("the small disk filled up");
      if (disk_ && disk_->Mounted())
        Run("dd if=/dev/zero bs=64k count=160 of=" +
            Quoted(Out() + "/disk/monkey-filler-" + std::to_string(step_)));
      break;
    default:
      Note("a file stands where folder " + folder + " was");
      if (!fs::exists(folder) && !folder.ends_with("/disk")) {
        fs::create_directories(fs::path(folder).parent_path(), ignored);
        test::WriteFileBytes(folder, "monkey");
      }
  }
}

void Monkey::Wait(Draws& draws) {
  const int ms = 100 + draws.Below(1400);
  Note("wait " + std::to_string(ms) + " ms");
  Pause(ms);
}

// The invariants, after each step.
void Monkey::Check(bool final_check) {
  Pause(final_check ? 1000 : 150);
  const std::string log = target_.Log();
  if (const std::string fault = target_.Fault(log); !fault.empty())
    Fail("the program's log: " + fault);
  if (const std::string box = target_.CrashBox(); !box.empty())
    Fail("a crash box: " + box);
  // An exit under way shows nothing while it finishes, and the sanitizers' last look at the
  // heap can take seconds: still the stream's own.
  if (step_ <= may_quit_until_ && target_.TrayIcon().x < 0 && target_.Windows().empty())
    may_quit_until_ = step_ + 3;
  if (const std::optional<int> code = target_.Exited()) {
    if (step_ > may_quit_until_)
      Fail("the program ended by itself, code " + std::to_string(*code));
    if (*code != 0)
      Fail("the program ended with code " + std::to_string(*code));
    Note("the program ended with 0; started again");
    ++restarts_;
    StartProgram();
    return;
  }
  const std::vector<Shown> shown = target_.Windows();
  int boxes = 0;
  bool viewer = false;
  for (const Shown& window : shown) {
    boxes += window.title == kBox ? 1 : 0;
    viewer = viewer || window.title == kViewer;
  }
  if (boxes > 1)
    Fail(std::to_string(boxes) + " error boxes at once");
  if (step_ % 50 == 0) {
    std::cout << "monkey: step " << step_ << ", windows up:";
    for (const Shown& window : shown)
      std::cout << " '" << window.title << (window.menu ? "' (menu)" : "'");
    std::cout << std::endl;
    target_.Shot("monkey-" + std::to_string(seed_) + "-step-" + std::to_string(step_));
  }
  if (viewer && !viewer_was_up_)
    ++captures_;
  viewer_was_up_ = viewer;
  CheckFiles(final_check);
  CheckSettings();
  if (shown.empty() && target_.TrayIcon().x >= 0 && (final_check || step_ % 20 == 0))
    CheckResources(final_check);
}

// Whether a file is a whole BMP or JPEG of a size a capture can have; why not, or "". A picture
// with no pixels, such as Alt or Ctrl make with no window in front, is written as 0 bytes.
std::string Monkey::FileFault(const std::string& path, bool decode) const {
  const std::string bytes = test::ReadFileBytes(path);
  const ui::Rect screen = target_.ScreenRect();
  const auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
  };
  if (bytes.size() >= 54 && bytes[0] == 'B' && bytes[1] == 'M') {
    const auto width = static_cast<std::int32_t>(u32(18));
    const auto height = static_cast<std::int32_t>(u32(22));
    const int bits = static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29])
                                                                 << 8;
    const std::uint64_t row = (static_cast<std::uint64_t>(std::abs(width)) * bits + 31) / 32 * 4;
    if (u32(2) != bytes.size())
      return "a BMP whose header says " + std::to_string(u32(2)) + " bytes, of " +
             std::to_string(bytes.size());
    if (width <= 0 || std::abs(height) <= 0 || width > screen.width ||
        std::abs(height) > screen.height)
      return "a BMP of " + std::to_string(width) + " x " + std::to_string(height);
    if (u32(10) + row * std::abs(height) != bytes.size())
      return "a BMP whose pixels do not fill it";
  } else if (bytes.size() >= 4 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
             static_cast<unsigned char>(bytes[1]) == 0xD8) {
    if (static_cast<unsigned char>(bytes[bytes.size() - 2]) != 0xFF ||
        static_cast<unsigned char>(bytes.back()) != 0xD9)
      return "a JPEG cut short";
  } else if (!bytes.empty()) {
    return "neither BMP nor JPEG (" + std::to_string(bytes.size()) + " bytes)";
  }
  if (!decode || bytes.empty())
    return "";
  const Bitmap picture = test::DecodeImage(bytes);
  if (picture.Width() <= 0 || picture.Width() > screen.width || picture.Height() <= 0 ||
      picture.Height() > screen.height)
    return "a picture that decodes to " + std::to_string(picture.Width()) + " x " +
           std::to_string(picture.Height());
  return "";
}

void Monkey::CheckFiles(bool final_check) {
  std::vector<std::string> folders{Out(), target_.DefaultFolder()};
  int decoded = 0;
  std::set<std::string> seen;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, error),
         end;
         !error && it != end; it.increment(error)) {
      std::error_code ignored;
      if (!it->is_regular_file(ignored))
        continue;
      const std::string path = it->path().string();
      const std::string name = it->path().filename().string();
      if (name.rfind("monkey-", 0) == 0 || name == "a-file" || name == "deeper" ||
          name == "locked" || name == "sub" || name == "saves" || name == "disk")
        continue;
      seen.insert(path);
      const std::string stamp =
          std::to_string(it->file_size(ignored)) + "@" +
          std::to_string(it->last_write_time(ignored).time_since_epoch().count());
      if (checked_.count(path) && checked_[path] == stamp)
        continue;
      std::string fault = name.front() == '.' || name.find(".tmp") != std::string::npos
                              ? "a temporary file"
                              : FileFault(path, decoded < 3);
      ++decoded;
      if (fault.empty()) {
        if (!checked_.count(path))
          ++files_;
        checked_[path] = stamp;
        suspect_.erase(path);
        continue;
      }
      // A held key may be writing it this moment: it must be whole a little later.
      const auto first = suspect_.emplace(path, Clock::now()).first->second;
      if (final_check || Clock::now() - first > std::chrono::seconds(3))
        Fail(path + ": " + fault);
    }
  }
  for (auto it = suspect_.begin(); it != suspect_.end();)
    it = seen.count(it->first) ? std::next(it) : suspect_.erase(it);
}

// The settings file is the one the monkey put there, or one the program made of it: the same
// text with its keys set, or without its section after "Set default".
void Monkey::CheckSettings() {
  const std::string path = target_.SettingsPath();
  std::error_code ignored;
  if (fs::is_directory(path, ignored))
    return;
  if (!fs::exists(path, ignored)) {
    if (settings_)
      Fail("the settings file is gone");
    return;
  }
  const std::string now = test::ReadFileBytes(path);
  if (settings_ && now == *settings_)
    return;
  const std::string before = settings_.value_or("");
  std::string made = before;
  for (const std::string_view key : kWrittenKeys) {
    if (const std::optional<std::string> value =
            settings_text::FindValue(now, kSettingsSection, key))
      made = settings_text::WriteValue(made, kSettingsSection, key, *value);
  }
  bool keys = true;
  for (const std::string_view key : kWrittenKeys)
    keys = keys && settings_text::FindValue(now, kSettingsSection, key).has_value();
  if (made != now && settings_text::EraseSection(before, kSettingsSection) != now && !keys)
    Fail("a settings file neither the monkey's nor one the program made of it (" +
         std::to_string(now.size()) + " bytes): " + now.substr(0, 200));
  settings_ = now;
}

void Monkey::CheckResources(bool final_check) {
  const Resources now = target_.Measure();
  if (now.empty())
    return;
  last_figures_ = now;
  // Warmed up first: the first captures, dialogs and fonts take what they keep.
  if (!baseline_) {
    if (instance_steps_ < 60 && !final_check)
      return;
    baseline_ = now;
    if (first_figures_.empty())
      first_figures_ = now;
    return;
  }
  const Resources margins = target_.Margins();
  for (const auto& [name, value] : now) {
    const auto base = baseline_->find(name);
    const auto margin = margins.find(name);
    if (base == baseline_->end() || margin == margins.end() || base->second < 0 || value < 0)
      continue;
    if (value > base->second + margin->second)
      Fail(name + " grew from " + std::to_string(base->second) + " to " + std::to_string(value) +
           " (margin " + std::to_string(margin->second) + ")");
  }
}

}  // namespace
}  // namespace pixtrel::monkey

int main(int argc, char** argv) {
  using namespace pixtrel::monkey;
  bool windows = false;
  std::optional<unsigned> seed;
  long seconds = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--windows") {
      windows = true;
    } else if (arg == "--seed" && has_value) {
      seed = static_cast<unsigned>(std::stoul(argv[++i]));
    } else if (arg == "--minutes" && has_value) {
      seconds = std::stol(argv[++i]) * 60;
    } else if (arg == "--seconds" && has_value) {
      seconds = std::stol(argv[++i]);
    } else {
      std::cerr << "usage: monkey [--windows] [--seed N] [--minutes M | --seconds S]\n";
      return 2;
    }
  }
  if (!seed)
    seed = std::random_device()();
  std::signal(SIGINT, Stop);
  std::signal(SIGTERM, Stop);
  try {
    std::unique_ptr<Target> target = windows ? WineTarget() : LinuxTarget();
    if (!target) {
      std::cerr << "monkey: this build names no Windows build (PIXTREL_WIN32_BUILD)\n";
      return 2;
    }
    return Monkey(*target, *seed, std::chrono::seconds(seconds)).RunAll();
  } catch (const std::exception& error) {
    std::cerr << "monkey: " << error.what() << " (seed " << *seed << ")\n";
    return 1;
  }
}
