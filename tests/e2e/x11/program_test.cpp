// The real program on a virtual desktop with a tray host, driven through keys and the mouse.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "support/desktop.h"
#include "support/pictures.h"
#include "ui/placement.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
const std::string kViewer = "  Pixtrel v1.2";
const std::string kOverlay = "Form4";
const std::string kPreferences = "  Préférences...";
// The viewer first shows centred: ((640 - 200) / 2, (400 - 167) / 2).
constexpr ui::Rect kViewerRect{220, 116, 200, 167};
const Color kWhite{255, 255, 255};

Bitmap WaitForClipboard(const Desktop& desktop, int width, int height) {
  Bitmap picture;
  Desktop::WaitFor([&] {
    picture = desktop.ClipboardImage();
    return picture.Width() == width && picture.Height() == height;
  });
  return picture;
}

// xdotool's arguments that put the pointer at (x, y).
std::string PointerAt(int x, int y) {
  return "mousemove " + std::to_string(x) + " " + std::to_string(y);
}

bool Viewable(const Desktop& desktop, const std::string& title) {
  return desktop.Window(title).viewable;
}

TEST(Program, TappedHotkeyCopiesTheScreenToTheClipboardAndTheViewer) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  const Bitmap before = desktop.Screen();

  // Down and up within a millisecond: far shorter than the 100 ms between two polls.
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  EXPECT_EQ(desktop.Window(kViewer).rect, kViewerRect);
  EXPECT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }));
  EXPECT_EQ(Differences(WaitForClipboard(desktop, kWidth, kHeight), before), 0);

  // The picture area: the capture shrunk to 200 x 125 and centred, black around it.
  Desktop::WaitFor([] { return false; }, 300);
  const Bitmap now = desktop.Screen();
  desktop.Shot("viewer_after_f12");
  const Bitmap area = Crop(now, {kViewerRect.left, kViewerRect.top + 17, 200, 150});
  EXPECT_EQ(Differences(area, RenderViewerImage(before, 200, 150)), 0);
  // The strip between "Set" and "-" is see-through: the desktop shows there.
  EXPECT_EQ(now.PixelColor(kViewerRect.left + 150, kViewerRect.top + 5),
            before.PixelColor(kViewerRect.left + 150, kViewerRect.top + 5));

  // Dragged by its picture, then "Run" back to the tray; the next capture shows it where it
  // was left.
  // At a hand's pace: the handlers read where the pointer is when they run.
  ASSERT_TRUE(
      desktop.Xdo("mousemove 320 200 mousedown 1 sleep 0.2 mousemove 330 210 sleep 0.2 "
                  "mousemove 350 240 sleep 0.2 mouseup 1"));
  const ui::Rect moved{kViewerRect.left + 30, kViewerRect.top + 40, 200, 167};
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Window(kViewer).rect == moved; }));
  ASSERT_TRUE(desktop.Xdo(PointerAt(moved.left + 28, moved.top + 8) + " click 1"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  EXPECT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, kViewer); }));
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  EXPECT_EQ(desktop.Window(kViewer).rect, moved);
}

TEST(Program, SavesTheCaptureThroughTheDialogAndOffersThatPathAgain) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  const std::string file = desktop.Home() / "shot.bmp";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // "Save as...", then "*.BMP" from the menu just under it.
    ASSERT_TRUE(desktop.Xdo(PointerAt(kViewerRect.left + 84, kViewerRect.top + 8) + " click 1"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.MenuShown(); }));
    const ui::Rect menu = desktop.Menu();
    EXPECT_EQ(menu.left, kViewerRect.left + 57);
    EXPECT_EQ(menu.top, kViewerRect.top + 17);
    ASSERT_TRUE(desktop.Xdo("sleep 0.3 key Down Return"));
    ASSERT_TRUE(Desktop::WaitFor(
        [&] { return desktop.Xdo("search --onlyvisible --name '^Save' >/dev/null"); }));
    // Up, painted and holding the keyboard.
    ASSERT_TRUE(desktop.Xdo("sleep 0.8"));
    desktop.Shot("save_dialog");
    // The first time the name is typed without its extension; the second, the path offered is
    // taken as it stands and the file replaced without a question.
    ASSERT_TRUE(desktop.Xdo(round == 0 ? "type shot" : "key End"));
    ASSERT_TRUE(desktop.Xdo("key Return"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return FileExists(file); }));
    ASSERT_TRUE(Desktop::WaitFor(
        [&] { return Differences(DecodeImage(ReadFileBytes(file)), before) == 0; }));
    if (round == 0)
      std::remove(file.c_str());
  }
}

TEST(Program, WithNoTrayItSaysSoAndTheHotkeyStillWorks) {
  Desktop desktop(kWidth, kHeight, {.tray = false});
  desktop.Start();
  EXPECT_NE(desktop.Log().find("pas de zone de notification"), std::string::npos);
  ASSERT_TRUE(desktop.Xdo("key F12"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
}

TEST(Program, IconifyingTheViewerThroughTheWindowManagerGoesToTheTray) {
  Desktop desktop(kWidth, kHeight, {.window_manager = true});
  desktop.Start();
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }));
  // As a taskbar or a key bound in the window manager would.
  ASSERT_TRUE(desktop.Xdo("search --name 'Pixtrel v1.2' windowminimize"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  EXPECT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, kViewer); }));
  // The next capture shows it again, not iconified, where it was.
  ASSERT_TRUE(desktop.Xdo("key F12"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  EXPECT_EQ(desktop.Window(kViewer).rect, kViewerRect);
  desktop.Shot("viewer_after_iconify");
}

TEST(Program, AltAndCtrlCaptureTheActiveWindow) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  for (const char* modifier : {"alt", "ctrl"}) {
    SCOPED_TRACE(modifier);
    ColourWindow window(100, 80, 120, 60, 0x00C000);
    ASSERT_TRUE(
        desktop.Xdo(std::string("keydown ") + modifier + " key F12 sleep 0.3 keyup " + modifier));
    ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
    // No window manager here, so the window has no frame: both modes see 120 x 60.
    const Bitmap picture = WaitForClipboard(desktop, 120, 60);
    ASSERT_EQ(picture.Width(), 120);
    EXPECT_EQ(picture.PixelColor(0, 0), (Color{0, 0xC0, 0}));
    EXPECT_EQ(picture.PixelColor(119, 59), (Color{0, 0xC0, 0}));
    ASSERT_TRUE(desktop.Xdo(PointerAt(kViewerRect.left + 28, kViewerRect.top + 8) + " click 1"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  }
}

TEST(Program, ShiftShowsTheOverlayAndADragCapturesTheFramedArea) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(desktop.Xdo("keydown shift key F12 sleep 0.3 keyup shift"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kOverlay); }));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kViewer); }));
  EXPECT_EQ(desktop.Window(kOverlay).rect, (ui::Rect{0, 0, kWidth, kHeight}));

  struct Case {
    const char* border;
    int width, height;
    bool framed;  // the white frame lies on the captured area's outermost pixels
  };
  for (const Case& c : {Case{"oui", 100, 60, true}, Case{"non", 101, 61, false}}) {
    SCOPED_TRACE(c.border);
    desktop.WriteSettings(std::string("[Settings]\r\nBordBlanc=") + c.border + "\r\n");
    ASSERT_TRUE(
        desktop.Xdo("mousemove 100 100 mousedown 1 mousemove 150 130 mousemove 200 160 mouseup 1"));
    const Bitmap picture = WaitForClipboard(desktop, c.width, c.height);
    ASSERT_EQ(picture.Width(), c.width);
    const Bitmap inside = Crop(picture, {1, 1, c.width - 2, c.height - 2});
    EXPECT_EQ(Differences(inside, Crop(before, {101, 101, c.width - 2, c.height - 2})), 0);
    EXPECT_EQ(picture.PixelColor(0, 0) == kWhite, c.framed);
    EXPECT_EQ(picture.PixelColor(c.width - 1, c.height - 1) == kWhite, c.framed);
  }
  desktop.Shot("overlay_after_drag");
  // The frame is gone from the overlay after the release.
  EXPECT_EQ(Differences(Crop(desktop.Screen(), {90, 90, 120, 80}), Crop(before, {90, 90, 120, 80})),
            0);
}

TEST(Program, AutoRecordWritesFilesWhileTheKeyIsHeldAndStaysInTheTray) {
  for (const char* format : {"bmp", "jpg"}) {
    SCOPED_TRACE(format);
    Desktop desktop(kWidth, kHeight);
    const std::string folder = desktop.Home() / "shots";
    desktop.WriteSettings(std::string("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=") + format +
                          "\r\nSaveFilePath=" + folder + "\r\nCompression=90\r\n");
    desktop.Start();
    const Bitmap before = desktop.Screen();
    ASSERT_TRUE(desktop.Xdo("keydown F12"));
    // Files keep coming while the key is down.
    EXPECT_TRUE(
        Desktop::WaitFor([&] { return FileExists(folder) && ListFolder(folder).size() >= 3; }));
    ASSERT_TRUE(desktop.Xdo("keyup F12"));
    // Once it is up, they stop.
    std::size_t count = 0;
    EXPECT_TRUE(Desktop::WaitFor([&] {
      const std::size_t before_wait = ListFolder(folder).size();
      Desktop::WaitFor([] { return false; }, 300);
      count = ListFolder(folder).size();
      return count == before_wait;
    }));

    const std::vector<std::string> names = ListFolder(folder);
    EXPECT_EQ(names.size(), count);
    const std::regex stamp(R"(\d\d\.\d\d\.\d{4} à \d\dh \d\dm \d\ds \d\d\d'\.)" +
                           std::string(format));
    for (const std::string& name : names) {
      EXPECT_TRUE(std::regex_match(name, stamp)) << name;
      const std::string bytes = ReadFileBytes(folder + "/" + name);
      const Bitmap picture = DecodeImage(bytes);
      ASSERT_EQ(picture.Width(), kWidth) << name;
      if (std::string(format) == "bmp")
        EXPECT_EQ(Differences(picture, before), 0) << name;
      else
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << name;
    }
    EXPECT_TRUE(desktop.TrayIconShown());
    EXPECT_FALSE(Viewable(desktop, kViewer));
  }
}

TEST(Program, PreferencesEditedThroughTheWidgetsAreWrittenAndCloseEndsTheProgram) {
  Desktop desktop(kWidth, kHeight);
  desktop.Start();
  ASSERT_TRUE(desktop.ChooseFromTrayMenu(2));  // "Config"
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kPreferences); }));
  // Centred: ((640 - 329) / 2, (400 - 273) / 2); no window manager, so no title bar either.
  const ui::Rect dialog = desktop.Window(kPreferences).rect;
  EXPECT_EQ(dialog, (ui::Rect{155, 63, 329, 273}));
  const std::string folder = desktop.Home() / "snaps";
  auto at = [&](int x, int y) { return PointerAt(dialog.left + x, dialog.top + y); };
  ASSERT_TRUE(desktop.Xdo(at(24, 32) + " click 1"));   // "Actif"
  ASSERT_TRUE(desktop.Xdo(at(88, 40) + " click 1"));   // "*.jpg"
  ASSERT_TRUE(desktop.Xdo(at(316, 24) + " click 1"));  // the slider's thumb; 100 - 3 - 2
  ASSERT_TRUE(desktop.Xdo("key Left Left Left Next"));
  ASSERT_TRUE(desktop.Xdo(at(40, 82) + " click 1"));    // the hotkey list's text
  ASSERT_TRUE(desktop.Xdo("key ctrl+a type f5"));       // f completes to f1, then 5 replaces 1
  ASSERT_TRUE(desktop.Xdo(at(100, 218) + " click 1"));  // the folder box
  ASSERT_TRUE(desktop.Xdo("key ctrl+a type '" + folder + "'"));
  desktop.Shot("preferences_edited");
  // "Infos", then the about box's "Ok": back with the edits intact.
  ASSERT_TRUE(desktop.Xdo(at(32, 260) + " click 1"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, "  About..."); }));
  const ui::Rect about = desktop.Window("  About...").rect;
  EXPECT_EQ(about, (ui::Rect{187, 152, 265, 96}));
  desktop.Shot("about_box");
  ASSERT_TRUE(desktop.Xdo(PointerAt(about.left + 180, about.top + 76) + " click 1"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return Viewable(desktop, kPreferences); }));
  ASSERT_TRUE(desktop.Xdo(at(288, 260) + " click 1"));  // "Ok"

  ASSERT_TRUE(Desktop::WaitFor([&] { return !Viewable(desktop, kPreferences); }));
  EXPECT_EQ(ReadFileBytes(desktop.SettingsPath()),
            "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=" + folder +
                "\r\nCompression=95\r\nPixtrel=f5\r\nBordBlanc=oui\r\n");
  // Opened from the tray, "Ok" re-arms there.
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));

  ASSERT_TRUE(desktop.ChooseFromTrayMenu(3));  // "Close..."
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
}

}  // namespace
}  // namespace pixtrel::test
