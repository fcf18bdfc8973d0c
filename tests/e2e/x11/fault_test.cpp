// The real program when the system fails under it: the X server dies, it is told to end, the
// disk fills while a held key records. It says so in its own words and loses nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "support/desktop.h"
#include "support/pictures.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
// A 32-bit capture of the whole screen, as a BMP file.
constexpr std::size_t kBmpBytes = 54 + std::size_t{kWidth} * kHeight * 4;

std::string AutoRecordInto(const std::string& folder) {
  return "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + folder + "\r\n";
}

// Captures that have landed in a folder: a temporary is one still being written.
std::size_t Landed(const std::string& folder) {
  const std::vector<std::string> names =
      FileExists(folder) ? ListFolder(folder) : std::vector<std::string>{};
  return static_cast<std::size_t>(std::count_if(
      names.begin(), names.end(), [](const std::string& name) { return name.front() != '.'; }));
}

bool Viewable(const Desktop& desktop, const std::string& title) {
  return desktop.Window(title).viewable;
}

// Every file must be whole: no partial capture, no temporary left beside them.
void ExpectOnlyWholeCaptures(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    EXPECT_NE(name.front(), '.') << "a temporary was left: " << name;
    EXPECT_EQ(ReadFileBytes(folder + "/" + name).size(), kBmpBytes) << name;
  }
}

TEST(Faults, ALostXServerEndsTheProgramWithOneLineAndCodeOne) {
  Desktop desktop(kWidth, kHeight, {.tray = false});
  desktop.Start();
  const auto lost = std::chrono::steady_clock::now();
  desktop.KillServer();
  const std::optional<int> code = desktop.WaitForExit(1000);
  const auto took = std::chrono::steady_clock::now() - lost;
  ASSERT_TRUE(code.has_value()) << "still running a second after its X server died";
  EXPECT_EQ(*code, 1);  // and no signal, so no core dump either
  EXPECT_LT(took, std::chrono::seconds(1));
  const std::string log = desktop.Log();
  EXPECT_TRUE(
      log.ends_with("\nPixtrel : la connexion à l'écran X est perdue ; fin du programme.\n"))
      << log;
}

TEST(Faults, TerminationSignalsEndCleanlyEvenDuringAHeldKeyRecord) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
    Desktop desktop(kWidth, kHeight);
    const std::string shots = desktop.Home() / "shots";
    std::filesystem::create_directories(shots);
    desktop.WriteSettings(AutoRecordInto(shots));
    desktop.Start();
    ASSERT_TRUE(desktop.Xdo("keydown F12"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return ListFolder(shots).size() >= 2; }));
    desktop.Signal(signal);
    const std::optional<int> code = desktop.WaitForExit(3000);
    desktop.Xdo("keyup F12");
    ASSERT_TRUE(code.has_value()) << "the held key kept it from ending";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }))
        << "its icon stayed in the tray";
    ExpectOnlyWholeCaptures(shots);
  }
}

TEST(Faults, AFullDiskStopsAHeldKeyRecordWithTheWriteErrorAndLosesNothing) {
  Desktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  // Room for three captures and a part of a fourth.
  SmallDisk disk(shots, "3400k");
  if (!disk.Mounted())
    GTEST_SKIP() << "no right to mount a small disk here";
  desktop.WriteSettings(AutoRecordInto(shots));
  desktop.Start();
  ASSERT_TRUE(desktop.Xdo("keydown F12"));
  const bool boxed = Desktop::WaitFor([&] { return desktop.Window("Pixtrel").viewable; });
  desktop.Xdo("keyup F12");
  ASSERT_TRUE(boxed) << "no error box";
  desktop.Shot("full-disk-error");
  std::vector<std::string> kept = ListFolder(shots);
  EXPECT_EQ(kept.size(), 3u);
  ExpectOnlyWholeCaptures(shots);

  // OK, then room again: the key is still polled and the next capture lands.
  ASSERT_TRUE(desktop.Xdo("key Return"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !desktop.Window("Pixtrel").viewable; }));
  std::remove((shots + "/" + kept.back()).c_str());
  kept.pop_back();
  const std::size_t before = Landed(shots);
  ASSERT_TRUE(desktop.Xdo("key F12"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return Landed(shots) == before + 1; }));
  ExpectOnlyWholeCaptures(shots);
}

// The folder is moved away while a held key records into it, then the folder above it too: the
// program makes the last level again and goes on, then says it cannot create the file. Every
// capture, wherever its folder went, is whole.
TEST(Faults, AFolderMovedAwayDuringAHeldKeyRecordIsMadeAgainOrReported) {
  Desktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  const std::string folder = shots + "/rec";
  std::filesystem::create_directories(shots);
  desktop.WriteSettings(AutoRecordInto(folder));
  desktop.Start();
  ASSERT_TRUE(desktop.Xdo("keydown F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Landed(folder) >= 2; }));
  std::filesystem::rename(folder, shots + "/moved");
  const bool resumed = Desktop::WaitFor([&] { return Landed(folder) >= 2; });
  const bool boxed = Viewable(desktop, "Pixtrel");
  std::filesystem::rename(shots, desktop.Home() / "shots.moved");
  const bool refused = Desktop::WaitFor([&] { return Viewable(desktop, "Pixtrel"); });
  desktop.Xdo("keyup F12");
  EXPECT_TRUE(resumed) << "the folder was not made again";
  EXPECT_FALSE(boxed) << "an error box when only the last level was gone";
  ASSERT_TRUE(refused) << "no error box once the folder above was gone";
  desktop.Shot("moved-folder-error");
  for (const char* moved : {"shots.moved/moved", "shots.moved/rec"}) {
    SCOPED_TRACE(moved);
    EXPECT_GE(ListFolder(desktop.Home() / moved).size(), 2u);
    ExpectOnlyWholeCaptures(desktop.Home() / moved);
  }

  // OK, and the folders back: the key is still polled and the next capture lands.
  ASSERT_TRUE(desktop.Xdo("key Return"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, "Pixtrel"); }));
  EXPECT_FALSE(FileExists(shots));
  std::filesystem::create_directories(shots);
  ASSERT_TRUE(desktop.Xdo("key F12"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return Landed(folder) == 1; }));
  ExpectOnlyWholeCaptures(folder);
}

const std::string kViewer = "  Pixtrel v1.2";
const std::string kPreferences = "  Préférences...";
// Both first show centred; no window manager, so neither has a frame.
constexpr ui::Rect kViewerRect{220, 116, 200, 167};
constexpr ui::Rect kPreferencesRect{155, 63, 329, 273};

bool Click(const Desktop& desktop, int x, int y) {
  return desktop.Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

bool ClickPreferencesOk(const Desktop& desktop) {
  return Click(desktop, kPreferencesRect.left + 288, kPreferencesRect.top + 260);
}

// Whatever even root cannot write to, undone whatever happens: the file made immutable where
// the file system can, else its folder mounted again read-only.
class Unwritable {
 public:
  explicit Unwritable(const std::string& file) : file_(file) {
    if (Run("chattr +i '" + file_ + "'")) {
      undo_ = "chattr -i '" + file_ + "'";
      return;
    }
    folder_ = std::filesystem::path(file_).parent_path();
    if (Run("mount --bind '" + folder_ + "' '" + folder_ + "'")) {
      undo_ = "umount '" + folder_ + "'";
      if (!Run("mount -o remount,bind,ro '" + folder_ + "'"))
        Undo();
    }
  }
  ~Unwritable() { Undo(); }
  bool Holds() const { return !undo_.empty(); }
  void Undo() {
    if (!undo_.empty())
      Run(undo_);
    undo_.clear();
  }

 private:
  static bool Run(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
  }
  std::string file_, folder_, undo_;
};

std::string RandomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream("/dev/urandom", std::ios::binary)
      .read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

// A file's bytes, or what a folder standing in its place holds.
std::string Contents(const std::string& path) {
  if (!std::filesystem::is_directory(path))
    return ReadFileBytes(path);
  std::string names = "folder:";
  for (const std::string& name : ListFolder(path))
    names += " " + name;
  return names;
}

// Another client takes the clipboard back each time the program takes it. On X taking it never
// fails, so a capture goes to the viewer as ever, with no error box; once that client is gone,
// the next capture is on the clipboard.
TEST(Faults, ACaptureGoesOnWhileAnotherClientKeepsTakingTheClipboard) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  const auto capture = [&] {
    ASSERT_TRUE(desktop.Xdo("key F12"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
    EXPECT_FALSE(Viewable(desktop, "Pixtrel")) << "an error box";
  };
  const auto run = [&] {
    ASSERT_TRUE(Click(desktop, kViewerRect.left + 28, kViewerRect.top + 8));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  };
  {
    ClipboardGrabber grabber;
    for (int round = 0; round < 2; ++round) {
      capture();
      ASSERT_TRUE(Desktop::WaitFor([&] { return grabber.Taken() > round; }))
          << "the program did not take the clipboard";
      run();
    }
    EXPECT_EQ(desktop.ClipboardImage().Width(), 0);
  }
  const Bitmap before = desktop.Screen();
  capture();
  Bitmap picture;
  EXPECT_TRUE(Desktop::WaitFor([&] {
    picture = desktop.ClipboardImage();
    return picture.Width() == kWidth;
  }));
  EXPECT_EQ(Differences(picture, before), 0);
}

// The hotkey pressed while the viewer's save dialog is open: polling is off while the viewer is
// up, so the picture being saved stays the one the dialog was opened for, and the dialog goes on.
TEST(Faults, TheHotkeyDuringTheViewersSaveDialogLeavesItsPictureAndTheDialogAlone) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  // "Save as...", then "*.BMP".
  ASSERT_TRUE(Click(desktop, kViewerRect.left + 84, kViewerRect.top + 8));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.MenuShown(); }));
  ASSERT_TRUE(desktop.Xdo("sleep 0.3 key Down Return"));
  const auto dialog_up = [&] {
    return desktop.Xdo("search --onlyvisible --name '^Save' >/dev/null");
  };
  ASSERT_TRUE(Desktop::WaitFor(dialog_up));
  ASSERT_TRUE(desktop.Xdo("sleep 0.8 key F12 sleep 0.5"));
  desktop.Shot("save_dialog_after_f12");
  EXPECT_TRUE(dialog_up());
  EXPECT_FALSE(Viewable(desktop, "Pixtrel")) << "an error box";
  ASSERT_TRUE(desktop.Xdo("type shot"));
  ASSERT_TRUE(desktop.Xdo("key Return"));
  const std::string file = desktop.Home() / "shot.bmp";
  ASSERT_TRUE(Desktop::WaitFor([&] { return FileExists(file); }));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !dialog_up(); }));
  EXPECT_TRUE(
      Desktop::WaitFor([&] { return Differences(DecodeImage(ReadFileBytes(file)), before) == 0; }));
  EXPECT_TRUE(Viewable(desktop, kViewer));
  // Nothing asked for the key's state while polling was off, so the press made in the dialog
  // counts at the first poll after "Run": a capture, and the viewer again.
  ASSERT_TRUE(Click(desktop, kViewerRect.left + 28, kViewerRect.top + 8));  // "Run"
  ASSERT_TRUE(desktop.Xdo("sleep 0.6"));
  EXPECT_TRUE(Viewable(desktop, kViewer));
  EXPECT_FALSE(desktop.TrayIconShown());
}

// The hotkey pressed while the preferences opened from the tray are up: polling goes on there,
// so the capture shows the viewer beside the dialog, whose edits survive; its "Ok" then saves
// them and leaves the viewer up instead of going back to the tray.
TEST(Faults, TheHotkeyDuringThePreferencesFromTheTrayKeepsTheirEdits) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  ASSERT_TRUE(desktop.ChooseFromTrayMenu(2));  // "Config"
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kPreferences); }));
  ASSERT_TRUE(Click(desktop, kPreferencesRect.left + 24, kPreferencesRect.top + 32));  // "Actif"
  ASSERT_TRUE(desktop.Xdo("sleep 0.2 key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  EXPECT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }));
  EXPECT_TRUE(Viewable(desktop, kPreferences));
  desktop.Xdo("sleep 0.3");
  desktop.Shot("preferences_after_f12");

  ASSERT_TRUE(ClickPreferencesOk(desktop));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, kPreferences); }));
  EXPECT_EQ(
      ReadFileBytes(desktop.SettingsPath()),
      "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + desktop.Home().Path() +
          "/Documents/Pixtrel\r\nCompression=100\r\nPixtrel=F12\r\nBordBlanc=oui\r\n");
  EXPECT_TRUE(Viewable(desktop, kViewer));
  EXPECT_FALSE(desktop.TrayIconShown());

  // "Run", and the next capture is recorded as the dialog said.
  ASSERT_TRUE(Click(desktop, kViewerRect.left + 28, kViewerRect.top + 8));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  const std::string folder = desktop.Home() / "Documents/Pixtrel";
  std::filesystem::create_directories(desktop.Home() / "Documents");
  ASSERT_TRUE(desktop.Xdo("key F12"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return FileExists(folder) && !ListFolder(folder).empty(); }));
  EXPECT_FALSE(Viewable(desktop, kViewer));
}

// What a row does to the system, undone before the desktop's folder goes.
struct Obstacles {
  std::optional<Unwritable> locked;
  std::optional<SmallDisk> disk;
};

// The program starts on the settings file as it is, and its hotkey works; "Ok" in the
// preferences opened from the tray either writes what the dialog shows, or says it could not and
// leaves the file as it was and the dialog open, to write once the trouble is gone.
struct SettingsTrouble {
  const char* name;
  const char* hotkey;  // the one the file names, or F12
  // Puts the trouble in place; why not, when it cannot be made here.
  std::function<std::optional<std::string>(Desktop&, Obstacles&)> make;
  // Takes it away again; null when the file can be written as it is.
  std::function<void(Desktop&, Obstacles&)> mend;
  // The file that "Ok" writes, from the one before.
  std::function<std::string(const Desktop&, const std::string&)> written;
};

void ExpectHandled(const SettingsTrouble& trouble) {
  SCOPED_TRACE(trouble.name);
  Desktop desktop(kWidth, kHeight);
  Obstacles obstacles;
  if (const std::optional<std::string> why = trouble.make(desktop, obstacles)) {
    std::cout << trouble.name << " left out: " << *why << "\n";
    return;
  }
  const std::string config = desktop.Home() / ".config";
  const std::string before = Contents(desktop.SettingsPath());
  const std::vector<std::string> entries = ListFolder(config);
  desktop.Start();
  EXPECT_FALSE(Viewable(desktop, "Pixtrel")) << "an error box at start";

  ASSERT_TRUE(desktop.Xdo(std::string("key ") + trouble.hotkey));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  ASSERT_TRUE(Click(desktop, kViewerRect.left + 28, kViewerRect.top + 8));  // "Run"
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));

  ASSERT_TRUE(desktop.ChooseFromTrayMenu(2));  // "Config"
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kPreferences); }));
  desktop.Xdo("sleep 0.3");
  desktop.Shot(std::string("settings_") + trouble.name);
  ASSERT_TRUE(ClickPreferencesOk(desktop));
  if (trouble.mend) {
    ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, "Pixtrel"); })) << "no error box";
    desktop.Shot(std::string("settings_") + trouble.name + "_refused");
    ASSERT_TRUE(desktop.Xdo("key Return"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, "Pixtrel"); }));
    EXPECT_TRUE(Viewable(desktop, kPreferences));
    EXPECT_TRUE(Contents(desktop.SettingsPath()) == before) << "the file changed";
    EXPECT_EQ(ListFolder(config), entries) << "a temporary was left";
    trouble.mend(desktop, obstacles);
    ASSERT_TRUE(ClickPreferencesOk(desktop));
  }
  ASSERT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, kPreferences); }));
  const std::string after = ReadFileBytes(desktop.SettingsPath());
  EXPECT_TRUE(after == trouble.written(desktop, before))
      << after.size()
      << " bytes: " << after.substr(after.size() - std::min<std::size_t>(300, after.size()));
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
}

// The preferences as "Ok" writes them into a new file when the dialog showed the defaults.
std::string Defaults(const Desktop& desktop, const std::string&) {
  return "[Settings]\r\nAutoRec=non\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + desktop.Home().Path() +
         "/Documents/Pixtrel\r\nCompression=100\r\nPixtrel=F12\r\nBordBlanc=oui\r\n";
}

// The keys a file naming only the hotkey and the quality gets from "Ok", after them.
std::string WithTheOtherKeys(const Desktop& desktop, const std::string& before) {
  return before + "AutoRec=non\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + desktop.Home().Path() +
         "/Documents/Pixtrel\r\nBordBlanc=oui\r\n";
}

const std::string kHotkeyAndQuality = "[Settings]\r\nPixtrel=F11\r\nCompression=75\r\n";

TEST(Faults, ASettingsFileThatCannotBeWrittenIsReadAndLeftAsItWas) {
  const std::vector<SettingsTrouble> troubles = {
      {"read_only", "F11",
       [](Desktop& d, Obstacles& o) -> std::optional<std::string> {
         d.WriteSettings(kHotkeyAndQuality);
         if (!o.locked.emplace(d.SettingsPath()).Holds())
           return "no way to make a file that root cannot write";
         return std::nullopt;
       },
       [](Desktop&, Obstacles& o) { o.locked->Undo(); }, WithTheOtherKeys},
      {"folder", "F12",
       [](Desktop& d, Obstacles&) -> std::optional<std::string> {
         std::filesystem::create_directories(d.SettingsPath());
         WriteFileBytes(d.SettingsPath() + "/kept", "kept");
         return std::nullopt;
       },
       [](Desktop& d, Obstacles&) { std::filesystem::remove_all(d.SettingsPath()); }, Defaults},
      // No settings file is that large: it reads as absent and is never replaced.
      {"random_100MB", "F12",
       [](Desktop& d, Obstacles&) -> std::optional<std::string> {
         d.WriteSettings(RandomBytes(100 << 20));
         return std::nullopt;
       },
       [](Desktop& d, Obstacles&) { std::filesystem::remove(d.SettingsPath()); }, Defaults},
      // The new file does not fit beside the old one: the old one must stay whole.
      {"full_disk", "F11",
       [](Desktop& d, Obstacles& o) -> std::optional<std::string> {
         if (!o.disk.emplace(d.Home() / ".config", "64k").Mounted())
           return "no right to mount a small disk here";
         d.WriteSettings("; " + std::string(40000, '-') + "\r\n" + kHotkeyAndQuality);
         return std::nullopt;
       },
       [](Desktop&, Obstacles& o) { o.disk->Resize("1m"); }, WithTheOtherKeys},
  };
  for (const SettingsTrouble& trouble : troubles)
    ExpectHandled(trouble);
}

// As Windows hands values over, a NUL ends each; "Ok" rewrites no line it need not.
TEST(Faults, NulBytesInTheSettingsEndTheirValuesAndAreKeptByAWrite) {
  using namespace std::string_literals;
  const std::string with_nuls =
      "; kept\0 as it is\r\n[Settings]\r\nAutoRec=non\0\0\0\0\r\nPixtrel=F11\0F5\r\n"
      "Compression=75\0\r\nBordBlanc=non\0oui\r\n\0\0\0\0\0\0\0\0\r\n[Other]\r\nKey=\0value\r\n"s;
  ExpectHandled({"nul_bytes", "F11",
                 [&](Desktop& d, Obstacles&) -> std::optional<std::string> {
                   d.WriteSettings(with_nuls);
                   return std::nullopt;
                 },
                 nullptr,
                 [](const Desktop& d, const std::string& before) {
                   const std::string last = "BordBlanc=non\0oui\r\n"s;
                   std::string after = before;
                   return after.insert(after.find(last) + last.size(),
                                       "AutoRecFormat=bmp\r\nSaveFilePath=" + d.Home().Path() +
                                           "/Documents/Pixtrel\r\n");
                 }});
}

}  // namespace
}  // namespace pixtrel::test
