// The program where the desktop gives less than KWin: sway, which tells where windows are but
// reserves no key for a program, and GNOME, which tells neither and has no notification area;
// and the shortcut portal's call sequence, against our own backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/picture_files.h"
#include "support/pictures.h"
#include "support/temp_folder.h"
#include "support/wayland_session.h"

namespace pixtrel::test {
namespace {

constexpr int kEnter = 28;
const std::string kViewer = "  Pixtrel v1.2";
const std::string kBox = "Pixtrel";

void AutoRecordInto(const WaylandSession& session, const std::string& folder,
                    const std::string& more = "") {
  std::filesystem::create_directories(session.Home() / ".config");
  WriteFileBytes(
      session.Home() / ".config/Pixtrel.cfg",
      "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + folder + "\r\n" + more);
}

// The newest file of the folder, decoded, once there are `count`.
Bitmap WaitForFile(const std::string& folder, std::size_t count) {
  Bitmap picture;
  WaylandSession::WaitFor([&] {
    if (!FileExists(folder))
      return false;
    // Landed captures only: a temporary, still being written, would sort first.
    std::vector<std::string> names = ListFolder(folder);
    std::erase_if(names, [](const std::string& name) { return name.front() == '.'; });
    if (names.size() < count)
      return false;
    std::sort(names.begin(), names.end());
    picture = DecodeImage(ReadFileBytes(folder + "/" + names[count - 1]));
    return !picture.Empty();
  });
  return picture;
}

// The screen once it stops changing: a box just closed, or a window just opened, makes the
// compositor lay the others out again, later on a slow (sanitized) program.
Bitmap SettledScreen(WaylandSession& session) {
  Bitmap last = session.Screen();
  for (int i = 0; i < 20; ++i) {
    WaylandSession::WaitFor([] { return false; }, 200);
    Bitmap now = session.Screen();
    if (Differences(now, last) == 0)
      return now;
    last = std::move(now);
  }
  return last;
}

// What a key binding of the desktop's runs.
void Command(WaylandSession& session, const std::string& mode) {
  ASSERT_GT(session.Spawn({PIXTREL_PROGRAM, "--capture", mode}, {},
                          session.Home() / ("capture-" + mode + ".log")),
            0);
}

TEST(OnSway, CommandsCaptureTheScreenAndTheFocusedWindowAsGrimSeesThem) {
  WaylandSession session({.kind = WaylandSession::Kind::kSway});
  const std::string folder = session.Home() / "shots";
  AutoRecordInto(session, folder);
  session.StartProgram();
  // No shortcut portal on sway: a box at start says which lines to bind.
  ASSERT_TRUE(session.WaitForWindow(kBox));
  session.Key({kEnter});
  ASSERT_TRUE(WaylandSession::WaitFor([&] { return !session.WaitForWindow(kBox, 0); }));
  session.ShowColours("Couleurs", 320, 200);
  ASSERT_TRUE(session.WaitForWindow("Couleurs"));
  const Bitmap screen = SettledScreen(session);
  const std::optional<WaylandSession::WindowGeometry> focused = session.ActiveWindow();
  ASSERT_TRUE(focused.has_value());

  Command(session, "screen");
  EXPECT_EQ(Differences(WaitForFile(folder, 1), screen), 0);
  Command(session, "window");
  EXPECT_EQ(Differences(WaitForFile(folder, 2), Crop(screen, focused->frame)), 0);
  Command(session, "client");
  EXPECT_EQ(Differences(WaitForFile(folder, 3), Crop(screen, focused->client)), 0);
}

TEST(OnGnome, TheCommandCapturesThroughThePortalAndABoxSaysThereIsNoTray) {
  WaylandSession session({.kind = WaylandSession::Kind::kGnome, .tray = false});
  const std::string folder = session.Home() / "shots";
  AutoRecordInto(session, folder);
  session.StartProgram();
  // GNOME 43 has neither a notification area nor a shortcut portal: two boxes, one after the
  // other, and the program goes on under them.
  for (int box = 0; box < 2; ++box) {
    ASSERT_TRUE(session.WaitForWindow(kBox)) << "box " << box;
    WaylandSession::WaitFor([] { return false; }, 500);  // drawn
    session.Shot("wayland_gnome_box" + std::to_string(box));
    session.Key({kEnter});
    WaylandSession::WaitFor([] { return false; }, 300);
  }
  const Bitmap screen = SettledScreen(session);
  Command(session, "screen");
  const Bitmap file = WaitForFile(folder, 1);
  ASSERT_EQ(file.Width(), screen.Width());
  ASSERT_EQ(file.Height(), screen.Height());
  // The portal's picture and the shell's differ at most where the pointer is drawn.
  EXPECT_LT(Differences(file, screen), 32 * 32);
}

TEST(WaylandShortcuts, ThePortalsTwoWaysOfBindingAndARefusal) {
  struct Case {
    WaylandSession::ShortcutMode mode;
    std::vector<std::string> calls;
    bool bound;
  };
  const std::string asked = " screen:F12 window:ALT+F12 client:CTRL+F12 region:SHIFT+F12";
  const std::vector<Case> cases = {
      // KDE 5.27: what CreateSession is given is bound, and BindShortcuts would open System
      // Settings: it is not called.
      {WaylandSession::ShortcutMode::kBind, {"CreateSession" + asked}, true},
      // The documented way: CreateSession, then BindShortcuts.
      {WaylandSession::ShortcutMode::kBindOnly,
       {"CreateSession" + asked, "BindShortcuts" + asked},
       true},
      {WaylandSession::ShortcutMode::kRefuse, {"CreateSession" + asked}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.calls.back());
    WaylandSession session(
        {.kind = WaylandSession::Kind::kSway, .mock_shortcuts = true, .shortcut_mode = c.mode});
    const std::string folder = session.Home() / "shots";
    AutoRecordInto(session, folder);
    session.StartProgram();
    EXPECT_TRUE(
        WaylandSession::WaitFor([&] { return session.ShortcutCalls().size() >= c.calls.size(); }));
    std::vector<std::string> calls = session.ShortcutCalls();
    calls.erase(std::remove(calls.begin(), calls.end(), "Close"), calls.end());
    EXPECT_EQ(calls, c.calls);
    // Refused, the program says which lines to bind instead.
    EXPECT_EQ(session.WaitForWindow(kBox, c.bound ? 1000 : 5000), !c.bound);
    if (!c.bound)
      continue;
    ASSERT_TRUE(session.Trigger("screen"));
    EXPECT_FALSE(WaitForFile(folder, 1).Empty());
    // Held, the shortcut records one capture after another until it is let go.
    ASSERT_TRUE(session.ShortcutPress("screen"));
    EXPECT_FALSE(WaitForFile(folder, 4).Empty());
    ASSERT_TRUE(session.ShortcutRelease("screen"));
    std::size_t count = 0;
    WaylandSession::WaitFor([&] {
      const std::size_t before = ListFolder(folder).size();
      WaylandSession::WaitFor([] { return false; }, 400);
      count = ListFolder(folder).size();
      return count == before;
    });
    WaylandSession::WaitFor([] { return false; }, 400);
    EXPECT_EQ(ListFolder(folder).size(), count);
  }
}

TEST(WaylandShortcuts, AChangedKeyIsBoundAtTheNextRunAndAMouseButtonKeepsTheLastKey) {
  WaylandSession session({.kind = WaylandSession::Kind::kSway, .mock_shortcuts = true});
  const std::string settings = session.Home() / ".config/Pixtrel.cfg";
  std::filesystem::create_directories(session.Home() / ".config");
  WriteFileBytes(settings, "[Settings]\r\nPixtrel=Mouse.L\r\n");
  session.StartProgram();
  // A button cannot be reserved: the box says so, and F12 is bound in its place.
  EXPECT_TRUE(session.WaitForWindow(kBox));
  EXPECT_TRUE(WaylandSession::WaitFor([&] { return !session.ShortcutCalls().empty(); }));
  EXPECT_EQ(session.ShortcutCalls(),
            (std::vector<std::string>{
                "CreateSession screen:F12 window:ALT+F12 client:CTRL+F12 region:SHIFT+F12"}));
  session.Key({kEnter});

  // "Run" in the viewer, with another key chosen meanwhile.
  WriteFileBytes(settings, "[Settings]\r\nPixtrel=Pg.UP\r\n");
  ASSERT_TRUE(session.TrayActivate());
  ASSERT_TRUE(session.WaitForWindow(kViewer));
  WaylandSession::WaitFor([] { return false; }, 300);
  session.Key({kEnter});
  EXPECT_TRUE(WaylandSession::WaitFor([&] { return session.ShortcutCalls().size() >= 3; }));
  EXPECT_EQ(session.ShortcutCalls(),
            (std::vector<std::string>{
                "CreateSession screen:F12 window:ALT+F12 client:CTRL+F12 region:SHIFT+F12", "Close",
                "CreateSession screen:Page_Up window:ALT+Page_Up client:CTRL+Page_Up "
                "region:SHIFT+Page_Up"}));
}

}  // namespace
}  // namespace pixtrel::test
