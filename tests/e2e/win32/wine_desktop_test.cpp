// The machinery of the Windows end-to-end tests, tried on the driver's own windows: what it
// shows, types and copies must reach other wine programs and the X screen unchanged.
#include <gtest/gtest.h>

#include <string>

#include "support/desktop.h"
#include "support/pictures.h"
#include "support/wine_desktop.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;

bool Logged(const std::string& log, const std::string& line) {
  return log.find(line + "\n") != std::string::npos;
}

TEST(WineDesktop, ColourWindowsShowWhereTheyArePutAndTakeTheForeground) {
  WineDesktop desktop(kWidth, kHeight);
  const Bitmap before = desktop.Screen();
  struct Case {
    const char* name;
    const char* title;  // read back through the reply's escapes
    bool framed;
  };
  for (const Case& c :
       {Case{"plain", "Plain", false}, Case{"framed", "Fenêtre\t \\ cadre", true}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"colour-window", c.title, "100", "80", "200", "120", "00C000"};
    if (c.framed)
      args.push_back("framed");
    Process window = desktop.DriverInBackground(args);
    const Fields seen = desktop.Window(c.title);
    EXPECT_TRUE(seen.Flag("visible"));
    EXPECT_EQ(seen.Rect(), (ui::Rect{100, 80, 200, 120}));
    const ui::Rect client = seen.ClientRect();
    if (c.framed) {
      EXPECT_GT(client.top, 80 + 10);  // under a title bar
      EXPECT_LT(client.width, 200);
    } else {
      EXPECT_EQ(client, seen.Rect());
    }
    EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Window(c.title).Flag("foreground"); }));
    EXPECT_EQ(desktop.Driver({"foreground"}).Reply().Text("title"), c.title);

    // X shows the client in its colour and, with no window manager, wine's own frame round it.
    ASSERT_TRUE(Desktop::WaitFor([&] {
      return NotOfColour(desktop.Screen(), client, {0, 0xC0, 0}) == 0;
    }));
    const Bitmap screen = desktop.Screen();
    EXPECT_EQ(screen.PixelColor(101, 81) == (Color{0, 0xC0, 0}), !c.framed);
    EXPECT_NE(screen.PixelColor(101, 81), before.PixelColor(101, 81));
    EXPECT_EQ(screen.PixelColor(99, 79), before.PixelColor(99, 79));
    // And a Windows program copying the screen sees exactly what X shows.
    EXPECT_EQ(Differences(desktop.WindowsScreen(), screen), 0);
    desktop.Shot(std::string("wine_colour_window_") + c.name);
  }
}

TEST(WineDesktop, KeysAndThePointerReachOtherProgramsWithoutFocus) {
  WineDesktop desktop(kWidth, kHeight);
  struct Case {
    std::vector<std::string> press;
    const char* watched;
    int min_pressed, min_down;
  };
  // A tap lasts no poll long, so only its "pressed since" bit shows; a modifier is held over
  // 100 ms, one poll of the program's timer at least.
  for (const Case& c :
       {Case{{"key", "F12"}, "F12", 1, 0}, Case{{"key", "F5"}, "F5", 1, 0},
        Case{{"key", "F12", "alt"}, "ALT", 0, 10}, Case{{"key", "F12", "ctrl"}, "CONTROL", 0, 10},
        Case{{"key", "F12", "shift"}, "SHIFT", 0, 10}}) {
    SCOPED_TRACE(c.press[1] + " watching " + c.watched);
    Process poller = desktop.DriverInBackground({"poll-key", c.watched, "800"});
    ASSERT_TRUE(desktop.Driver(c.press).Ok());
    const std::optional<Fields> seen = poller.WaitForLine("polls");
    ASSERT_TRUE(seen.has_value()) << poller.Output();
    EXPECT_GE(seen->Number("pressed"), c.min_pressed) << poller.Output();
    EXPECT_GE(seen->Number("down"), c.min_down) << poller.Output();
  }
  for (const ui::Point at : {ui::Point{0, 0}, ui::Point{317, 201},
                             ui::Point{kWidth - 1, kHeight - 1}, ui::Point{1, kHeight - 2}}) {
    const Fields moved =
        desktop.Driver({"move", std::to_string(at.x), std::to_string(at.y)}).Reply();
    EXPECT_EQ(moved.Number("x"), at.x);
    EXPECT_EQ(moved.Number("y"), at.y);
  }
}

TEST(WineDesktop, PicturesRoundTripThroughTheClipboardAndTheDocumentsFolderIsFresh) {
  WineDesktop desktop(kWidth, kHeight);
  // Odd widths: rows padded to 4 bytes.
  for (const ui::Point size : {ui::Point{37, 23}, ui::Point{1, 1}, ui::Point{202, 3}}) {
    SCOPED_TRACE(size.x);
    const Bitmap picture = SamplePicture(size.x, size.y, 24);
    ASSERT_TRUE(desktop.SetClipboard(picture));
    EXPECT_EQ(Differences(desktop.Clipboard(), picture), 0);
  }
  EXPECT_TRUE(ListFolder(desktop.DocumentsPath()).empty());
  const std::string documents = desktop.Driver({"info"}).Reply().Text("documents");
  ASSERT_TRUE(desktop.Driver({"screen", documents + "\\corner.bmp", "0", "0", "8", "8"}).Ok());
  const Bitmap corner = DecodeImage(ReadFileBytes(desktop.DocumentsPath() + "/corner.bmp"));
  ASSERT_EQ(corner.Width(), 8);
  EXPECT_EQ(corner.PixelColor(7, 7), desktop.Screen().PixelColor(7, 7));
}

TEST(WineDesktop, ATrayIconDocksAndItsClicksMenuAndMessageBoxAnswer) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_DRIVER, {"tray-icon", "Pixtrel driver"});
  const ui::Point icon = desktop.TrayIconCentre();
  const std::string at = "mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y);
  ASSERT_TRUE(desktop.Xdo(at + " click 1"));
  EXPECT_TRUE(Desktop::WaitFor([&] {
    const std::string log = desktop.Log();
    return Logged(log, "mouse=512") && Logged(log, "mouse=513") && Logged(log, "mouse=514");
  })) << desktop.Log();

  ASSERT_TRUE(desktop.Xdo(at + " click 3"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }));
  EXPECT_GT(desktop.Driver({"menu"}).Reply().Number("width"), 0);
  desktop.Shot("wine_tray_menu");
  ASSERT_TRUE(desktop.Driver({"menu-item", "#0"}).Ok());
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"messagebox-text"}).Ok(); }));
  const Fields box = desktop.Driver({"messagebox-text"}).Reply();
  EXPECT_EQ(box.Text("caption"), "Pixtrel driver");
  EXPECT_EQ(box.Text("text"), "Première ligne\nSeconde ligne");
  EXPECT_EQ(box.Text("buttons"), "OK");
  const DriverResult ok = desktop.Driver({"messagebox-ok"});
  ASSERT_TRUE(ok.Ok()) << ok.err;
  EXPECT_TRUE(Desktop::WaitFor([&] { return Logged(desktop.Log(), "answer=1"); }));

  ASSERT_TRUE(desktop.Xdo(at + " click 3"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }));
  ASSERT_TRUE(desktop.Driver({"menu-item", "#1"}).Ok());  // "Exit", past the separator
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
  EXPECT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }));
}

}  // namespace
}  // namespace pixtrel::test
