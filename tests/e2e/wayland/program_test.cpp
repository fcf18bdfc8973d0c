// The Linux program on headless Wayland desktops, driven as a user would: keys through the
// compositor, the tray through the notification area's calls, pictures read back from the
// compositor's own capture, the files and the clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/picture_files.h"
#include "support/pictures.h"
#include "support/temp_folder.h"
#include "support/wayland_session.h"

namespace pixtrel::test {
namespace {

constexpr int kF12 = 88, kAlt = 56, kCtrl = 29, kShift = 42, kDown = 108, kEnter = 28, kEscape = 1;
// The compositor shows captions without their leading blanks.
const std::string kViewer = "Pixtrel v1.2";
const std::string kOverlay = "Form4";
const std::string kBox = "Pixtrel";
const std::string kPreferences = "Préférences...";

WaylandSession::Setup OnKWin() {
  return {};
}

std::string AutoRecordInto(const std::string& folder, const std::string& format) {
  return "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=" + format + "\r\nSaveFilePath=" + folder +
         "\r\nCompression=100\r\n";
}

void WriteSettings(const WaylandSession& session, const std::string& text) {
  std::filesystem::create_directories(session.Home() / ".config");
  WriteFileBytes(session.Home() / ".config/Pixtrel.cfg", text);
}

// The files of the folder, decoded, once there are `count` of them.
std::vector<Bitmap> WaitForFiles(const std::string& folder, std::size_t count) {
  std::vector<Bitmap> pictures;
  WaylandSession::WaitFor([&] {
    if (!FileExists(folder) || ListFolder(folder).size() < count)
      return false;
    pictures.clear();
    std::vector<std::string> names = ListFolder(folder);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
      pictures.push_back(DecodeImage(ReadFileBytes(folder + "/" + name)));
    return std::all_of(pictures.begin(), pictures.end(),
                       [](const Bitmap& picture) { return !picture.Empty(); });
  });
  return pictures;
}

// The largest difference of a colour channel between two pictures of one size; -1 otherwise.
int LargestDifference(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return -1;
  int largest = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const Color p = a.PixelColor(x, y), q = b.PixelColor(x, y);
      largest = std::max({largest, std::abs(p.red - q.red), std::abs(p.green - q.green),
                          std::abs(p.blue - q.blue)});
    }
  }
  return largest;
}

std::optional<WaylandSession::WindowInfo> Find(
    const std::vector<WaylandSession::WindowInfo>& windows, const std::string& caption) {
  const auto it = std::find_if(windows.begin(), windows.end(),
                               [&](const auto& window) { return window.caption == caption; });
  if (it == windows.end())
    return std::nullopt;
  return *it;
}

// Where the window of that caption lies in the stacking order, the lowest first; -1 if absent.
int Level(const std::vector<WaylandSession::WindowInfo>& windows, const std::string& caption) {
  const auto it = std::find_if(windows.begin(), windows.end(),
                               [&](const auto& window) { return window.caption == caption; });
  return it == windows.end() ? -1 : static_cast<int>(it - windows.begin());
}

TEST(OnKWin, F12ShowsTheScreenKeptAboveANewerWindowAndPutsItOnTheClipboard) {
  WaylandSession session(OnKWin());
  session.ShowColours("Couleurs", 320, 200);
  ASSERT_TRUE(session.WaitForWindow("Couleurs"));
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  const Bitmap before = session.Screen();

  session.Key({kF12});
  ASSERT_TRUE(session.WaitForWindow(kViewer));
  // The clipboard is the viewer's once it has the focus: the whole screen, as KWin has it.
  Bitmap clipboard;
  EXPECT_TRUE(WaylandSession::WaitFor([&] {
    clipboard = session.ClipboardImage();
    return Differences(clipboard, before) == 0;
  })) << clipboard.Width()
      << "x" << clipboard.Height();
  session.Shot("wayland_kwin_viewer");

  // A window opened after it stays under it.
  session.ShowColours("Plus récente", 400, 300);
  ASSERT_TRUE(session.WaitForWindow("Plus récente"));
  const std::vector<WaylandSession::WindowInfo> windows = session.Windows();
  const auto viewer = Find(windows, kViewer);
  ASSERT_TRUE(viewer.has_value());
  ASSERT_GE(Level(windows, "Plus récente"), 0);
  EXPECT_TRUE(viewer->keep_above);
  EXPECT_GT(Level(windows, kViewer), Level(windows, "Plus récente")) << "the viewer is under it";
  EXPECT_NEAR(viewer->opacity, 200 / 255.0, 0.01);
  EXPECT_EQ(viewer->frame.width, 200);
  EXPECT_EQ(viewer->frame.height, 167);

  // Dragged by its picture, the compositor moves it: from where the pointer is when the move
  // begins, a few pixels into the drag.
  const ui::Rect was = viewer->frame;
  session.Drag({was.left + 100, was.top + 90}, {was.left + 160, was.top + 130});
  ui::Rect now;
  EXPECT_TRUE(WaylandSession::WaitFor([&] {
    const auto moved = Find(session.Windows(), kViewer);
    now = moved ? moved->frame : ui::Rect{};
    return now.left > was.left + 30 && now.left <= was.left + 60 && now.top > was.top + 20 &&
           now.top <= was.top + 40;
  })) << now.left
      << "," << now.top << " from " << was.left << "," << was.top;
}

TEST(OnKWin, AltAndCtrlRecordTheActiveWindowsFrameAndContentPixelForPixel) {
  WaylandSession session(OnKWin());
  const std::string folder = session.Home() / "shots";
  WriteSettings(session, AutoRecordInto(folder, "bmp"));
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  session.ShowColours("Couleurs", 320, 200);
  ASSERT_TRUE(session.WaitForWindow("Couleurs"));
  const std::optional<WaylandSession::WindowGeometry> active = session.ActiveWindow();
  ASSERT_TRUE(active.has_value());
  const Bitmap screen = session.Screen();

  session.Key({kAlt, kF12});
  std::vector<Bitmap> files = WaitForFiles(folder, 1);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Differences(files[0], Crop(screen, active->frame)), 0);
  session.Key({kCtrl, kF12});
  files = WaitForFiles(folder, 2);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(Differences(files[1], Crop(screen, active->client)), 0);
  // Auto-record shows nothing.
  EXPECT_FALSE(session.WaitForWindow(kViewer, 300));
}

TEST(OnKWin, AutoRecordWritesTheScreenAsJpegFromTheKeyAndFromTheCommandLine) {
  WaylandSession session(OnKWin());
  const std::string folder = session.Home() / "shots";
  WriteSettings(session, AutoRecordInto(folder, "jpg"));
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  const Bitmap screen = session.Screen();

  session.Key({kF12});
  ASSERT_EQ(WaitForFiles(folder, 1).size(), 1u);
  // What a desktop's own key binding runs: the running program captures, and the command ends.
  const pid_t command =
      session.Spawn({PIXTREL_PROGRAM, "--capture", "screen"}, {}, session.Home() / "command.log");
  ASSERT_GT(command, 0);
  const std::vector<Bitmap> files = WaitForFiles(folder, 2);
  ASSERT_EQ(files.size(), 2u);
  for (const Bitmap& file : files)
    EXPECT_LE(LargestDifference(file, screen), 24) << "quality 100 keeps the pixels close";
}

TEST(OnKWin, ShiftFreezesTheScreenAndADragCapturesTheRectangle) {
  WaylandSession session(OnKWin());
  session.ShowColours("Couleurs", 320, 200);
  ASSERT_TRUE(session.WaitForWindow("Couleurs"));
  WriteSettings(session, "[Settings]\r\nBordBlanc=non\r\n");
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  const Bitmap before = session.Screen();

  session.Key({kShift, kF12});
  ASSERT_TRUE(session.WaitForWindow(kOverlay));
  const auto overlay = Find(session.Windows(), kOverlay);
  ASSERT_TRUE(overlay.has_value());
  EXPECT_EQ(overlay->frame, (ui::Rect{0, 0, 1024, 768}));
  session.Shot("wayland_kwin_overlay");
  session.Drag({100, 100}, {200, 160});
  Bitmap picture;
  EXPECT_TRUE(WaylandSession::WaitFor([&] {
    picture = session.ClipboardImage();
    return picture.Width() == 101 && picture.Height() == 61;
  })) << picture.Width()
      << "x" << picture.Height();
  EXPECT_EQ(Differences(Crop(picture, {1, 1, 99, 59}), Crop(before, {101, 101, 99, 59})), 0);
}

TEST(OnKWin, TheTrayIconShowsTheViewerAndItsOwnMenuOpensThePreferencesAndEndsTheProgram) {
  WaylandSession session(OnKWin());
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  ASSERT_TRUE(session.TrayActivate());
  EXPECT_TRUE(session.WaitForWindow(kViewer));
  // "Run", back to the tray.
  const auto viewer = Find(session.Windows(), kViewer);
  ASSERT_TRUE(viewer.has_value());
  session.Pointer(viewer->frame.left + 28, viewer->frame.top + 8);
  session.Click();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));

  // The icon has no menu of the host's to draw: a right click asks the program for its own, as
  // Plasma does, and it opens where the pointer is, with the keyboard's focus. A busy machine
  // may open it after the first keys: the choice is made again until it takes.
  const auto choose = [&](int item, const std::function<bool()>& done) {
    for (int attempt = 1; attempt <= 3; ++attempt) {
      if (!session.TrayContextMenu())
        return false;
      WaylandSession::WaitFor([] { return false; }, 300 * attempt);
      for (int i = 0; i < item; ++i)
        session.Key({kDown});
      session.Key({kEnter});
      if (WaylandSession::WaitFor(done, 3000))
        return true;
      session.Key({kEscape});
    }
    return false;
  };
  EXPECT_TRUE(choose(2, [&] { return session.WaitForWindow(kPreferences, 0); })) << session.Log();
  session.Shot("wayland_kwin_preferences");
  std::optional<int> code;
  EXPECT_TRUE(choose(3, [&] {
    code = session.WaitForExit(0);
    return code.has_value();
  }));
  EXPECT_EQ(code, 0) << session.Log();
}

TEST(OnKWin, TheCommandLineReachesTheRunningProgramAndStartsOneWhereNoneRuns) {
  WaylandSession session(OnKWin());
  // None runs: the command starts the program, which opens its preferences.
  session.StartProgram({"--preferences"});
  const bool shown = session.WaitForWindow(kPreferences);
  session.Shot("wayland_kwin_command");
  ASSERT_TRUE(shown) << session.Log();
  const pid_t quit = session.Spawn({PIXTREL_PROGRAM, "--quit"}, {}, session.Home() / "quit.log");
  ASSERT_GT(quit, 0);
  EXPECT_EQ(session.WaitForExit(), 0) << session.Log();
}

TEST(OnKWin, ACaptureTheDesktopRefusesSaysWhatToAllowAndWritesNothing) {
  WaylandSession::Setup setup = OnKWin();
  setup.grant_program = false;  // the portal, then, and it answers "cancelled" without ~/Pictures
  WaylandSession session(setup);
  std::filesystem::remove_all(session.Home() / "Pictures");
  const std::string folder = session.Home() / "shots";
  WriteSettings(session, AutoRecordInto(folder, "bmp"));
  session.StartProgram();
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return session.TrayItemShown(); }));
  session.Key({kF12});
  EXPECT_TRUE(session.WaitForWindow(kBox, 10000));
  session.Shot("wayland_kwin_refused");
  EXPECT_FALSE(FileExists(folder) && !ListFolder(folder).empty());
}

}  // namespace
}  // namespace pixtrel::test
