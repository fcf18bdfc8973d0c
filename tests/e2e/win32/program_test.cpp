// Pixtrel.exe under wine on a virtual desktop with a tray host, driven as a user would through
// pixtrel_driver.exe, and read back as another Windows program and the X server see it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "capture/jpeg_writer.h"
#include "support/desktop.h"
#include "support/pictures.h"
#include "support/wine_desktop.h"
#include "ui/placement.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
const std::string kViewer = "  Pixtrel v1.2";
const std::string kOverlay = "Form4";
const std::string kPreferences = "  Préférences...";
// Centred the first time, ((640 - 200) / 2, (400 - 167) / 2), and frameless.
constexpr ui::Rect kViewerRect{220, 116, 200, 167};
// Under the strip of buttons.
constexpr ui::Rect kPictureArea{220, 133, 200, 150};
// Points on the viewer's buttons, from its top-left corner.
constexpr ui::Point kRunButton{28, 8};
constexpr ui::Point kSaveAsButton{84, 8};
constexpr ui::Point kMinimiseButton{177, 6};
constexpr ui::Point kQuitButton{192, 6};
const Color kWhite{255, 255, 255};
const Color kGreen{0, 0xC0, 0};
// The JPEG quality when the settings name none.
constexpr int kDefaultQuality = 100;
// A capture's file name: "07.03.2026 à 09h 05m 03s 042'.bmp".
const std::regex kStamp(R"((\d\d)\.(\d\d)\.(\d{4}) à (\d\d)h (\d\d)m (\d\d)s \d\d\d'\.(bmp|jpg))");

std::string N(int number) {
  return std::to_string(number);
}

std::string PointerAt(int x, int y) {
  return "mousemove " + N(x) + " " + N(y);
}

// Pixels of the rectangle's outermost ring that are not white.
int WhiteEdge(const Bitmap& picture, ui::Rect r) {
  return NotOfColour(picture, {r.left, r.top, r.width, 1}, kWhite) +
         NotOfColour(picture, {r.left, r.top + r.height - 1, r.width, 1}, kWhite) +
         NotOfColour(picture, {r.left, r.top + 1, 1, r.height - 2}, kWhite) +
         NotOfColour(picture, {r.left + r.width - 1, r.top + 1, 1, r.height - 2}, kWhite);
}

// The viewer's picture area against the core's rendering of the same picture: the black bands
// must match exactly, and each pixel of the scaled picture must be one of the screen pixels it
// covers. StretchDIBits picks its own nearest neighbour there, not always the core's.
int Unsampled(const Bitmap& area, const Bitmap& picture) {
  const ui::Rect place =
      PlacePicture(picture.Width(), picture.Height(), area.Width(), area.Height());
  const auto from = [](int at, int size, int scaled) { return at * size / scaled; };
  const auto to = [](int at, int size, int scaled) {
    return ((at + 1) * size + scaled - 1) / scaled;
  };
  int count = 0;
  for (int y = 0; y < area.Height(); ++y) {
    for (int x = 0; x < area.Width(); ++x) {
      const Color shown = area.PixelColor(x, y);
      const int px = x - place.left, py = y - place.top;
      if (px < 0 || py < 0 || px >= place.width || py >= place.height) {
        count += shown == Color{} ? 0 : 1;
        continue;
      }
      bool found = false;
      for (int sy = from(py, picture.Height(), place.height);
           !found && sy < to(py, picture.Height(), place.height); ++sy) {
        for (int sx = from(px, picture.Width(), place.width);
             !found && sx < to(px, picture.Width(), place.width); ++sx)
          found = picture.PixelColor(sx, sy) == shown;
      }
      count += found ? 0 : 1;
    }
  }
  return count;
}

// The driver; a failure fails the test with the driver's own words.
DriverResult Drive(const WineDesktop& desktop, const std::vector<std::string>& args) {
  DriverResult result = desktop.Driver(args);
  if (!result.Ok()) {
    std::string command;
    for (const std::string& arg : args)
      command += " " + arg;
    ADD_FAILURE() << "pixtrel_driver" << command << ": " << result.err;
  }
  return result;
}

bool Do(const WineDesktop& desktop, const std::vector<std::string>& args) {
  return Drive(desktop, args).Ok();
}

bool WaitWindow(const WineDesktop& desktop, const std::string& title,
                const std::string& state = "visible") {
  return Do(desktop, {"wait-window", title, state});
}

bool ClickViewer(const WineDesktop& desktop, ui::Point at) {
  return Do(desktop, {"click", N(kViewerRect.left + at.x), N(kViewerRect.top + at.y)});
}

bool IconShown(const WineDesktop& desktop, bool shown) {
  return Desktop::WaitFor([&] { return desktop.TrayIconShown() == shown; });
}

// Wine repaints the X screen a moment after the windows change: once it holds still.
Bitmap StillScreen(const WineDesktop& desktop) {
  Bitmap last = desktop.Screen();
  Desktop::WaitFor([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Bitmap now = desktop.Screen();
    const bool still = std::equal(now.Pixels().begin(), now.Pixels().end(), last.Pixels().begin());
    last = std::move(now);
    return still;
  });
  return last;
}

Bitmap WaitForClipboard(const WineDesktop& desktop, int width, int height) {
  Bitmap picture;
  Desktop::WaitFor([&] {
    picture = desktop.Clipboard();
    return picture.Width() == width && picture.Height() == height;
  });
  return picture;
}

// Points the mouse at the icon. Wine's stand-in for the tray host's panel may keep the size the
// panel had before the icon docked, and then gives the icon's pointer events to whatever lies
// where it thinks they are: a move of the panel and back tells it where the panel is.
std::string AtTrayIcon(const WineDesktop& desktop) {
  const std::string panel = "search --classname '^panel$' windowmove --relative %@ ";
  desktop.Xdo(panel + "-1 0 " + panel + "1 0 sleep 0.2");
  const ui::Point icon = desktop.TrayIconCentre();
  return PointerAt(icon.x, icon.y);
}

bool ClickTrayIcon(const WineDesktop& desktop) {
  return desktop.Xdo(AtTrayIcon(desktop) + " click 1");
}

bool OpenTrayMenu(const WineDesktop& desktop) {
  return Desktop::WaitFor(
      [&] {
        desktop.Xdo(AtTrayIcon(desktop) + " click 3");
        return Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }, 3000);
      },
      10000);
}

// The icon's tooltip once the pointer rests on it; the pointer is then moved off again.
std::string Tooltip(const WineDesktop& desktop) {
  const std::string file = desktop.Home() / "tooltip.out";
  std::string text;
  // The tip shows once the pointer has rested on the icon a moment.
  Desktop::WaitFor(
      [&] {
        desktop.Xdo(PointerAt(kWidth / 2, kHeight - 1) + " " + AtTrayIcon(desktop));
        desktop.Xdo("exec --sync wine " PIXTREL_TOOLTIP " 1500 > " + file);
        const std::string out = ReadFileBytes(file);
        text = Fields(out.substr(0, out.find_first_of("\r\n"))).Text("text");
        return !text.empty();
      },
      8000);
  desktop.Xdo(PointerAt(kWidth / 2, kHeight - 1));
  return text;
}

std::string Jpeg(const Bitmap& picture, int quality) {
  const JpegStream stream = EncodeJpeg(picture, quality);
  return {reinterpret_cast<const char*>(stream.Data()), stream.Size()};
}

// The captures in a folder, not the temporary files they are written through.
std::vector<std::string> Captures(const std::string& folder) {
  std::vector<std::string> names;
  if (!FileExists(folder))
    return names;
  for (const std::string& name : ListFolder(folder)) {
    if (name.ends_with(".bmp") || name.ends_with(".jpg"))
      names.push_back(name);
  }
  return names;
}

// Seconds between a capture's stamp and now, by the local clock both read.
double StampAge(const std::string& name) {
  std::smatch part;
  if (!std::regex_match(name, part, kStamp))
    return 1e9;
  std::tm when{};
  when.tm_mday = std::stoi(part[1]);
  when.tm_mon = std::stoi(part[2]) - 1;
  when.tm_year = std::stoi(part[3]) - 1900;
  when.tm_hour = std::stoi(part[4]);
  when.tm_min = std::stoi(part[5]);
  when.tm_sec = std::stoi(part[6]);
  when.tm_isdst = -1;
  return std::difftime(std::time(nullptr), std::mktime(&when));
}

TEST(PixtrelExe, TheHotkeyCopiesTheScreenToTheClipboardAndTheViewer) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  EXPECT_EQ(desktop.TrayIcons().size(), 1u);
  desktop.Shot("exe_tray_icon");
  const Bitmap before = desktop.Screen();

  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  const Fields viewer = desktop.Window(kViewer);
  EXPECT_EQ(viewer.Rect(), kViewerRect);
  EXPECT_EQ(viewer.ClientRect(), kViewerRect);
  EXPECT_TRUE(viewer.Flag("topmost"));
  EXPECT_TRUE(viewer.Flag("layered"));
  EXPECT_EQ(viewer.Text("colour_key"), "FF00FF");
  EXPECT_EQ(viewer.Number("alpha"), 200);
  EXPECT_TRUE(IconShown(desktop, false));
  EXPECT_EQ(Differences(desktop.Clipboard(), before), 0);

  Bitmap screen;
  EXPECT_TRUE(Desktop::WaitFor([&] {
    screen = desktop.Screen();
    return Unsampled(Crop(screen, kPictureArea), before) == 0;
  })) << Unsampled(Crop(screen, kPictureArea), before)
      << " pixels from elsewhere";
  desktop.Shot("exe_viewer_after_f12");
  const int off_core =
      Differences(Crop(screen, kPictureArea),
                  RenderViewerImage(before, kPictureArea.width, kPictureArea.height));
  RecordProperty("pixels_sampled_elsewhere_than_the_core", off_core);
  std::cout << "the viewer differs from the core's rendering in " << off_core << " pixels\n";
  // The key-coloured strip between "Set" and "-", and under "-" and "x", shows the desktop.
  for (const ui::Point gap : {ui::Point{150, 5}, ui::Point{140, 16}, ui::Point{190, 15}}) {
    const int x = kViewerRect.left + gap.x, y = kViewerRect.top + gap.y;
    EXPECT_EQ(screen.PixelColor(x, y), before.PixelColor(x, y)) << gap.x << ", " << gap.y;
  }
  // The buttons themselves do not.
  for (const ui::Point button : {kRunButton, kSaveAsButton, kMinimiseButton}) {
    const int x = kViewerRect.left + button.x, y = kViewerRect.top + button.y - 4;
    EXPECT_NE(screen.PixelColor(x, y), before.PixelColor(x, y)) << button.x;
  }

  // Dragged by its picture, then "Run": the next capture shows it where it was left.
  ASSERT_TRUE(Do(desktop, {"drag", "320", "200", "350", "240"}));
  const ui::Rect moved{kViewerRect.left + 30, kViewerRect.top + 40, 200, 167};
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Window(kViewer).Rect() == moved; }));
  ASSERT_TRUE(Do(desktop, {"click", N(moved.left + kRunButton.x), N(moved.top + kRunButton.y)}));
  ASSERT_TRUE(IconShown(desktop, true));
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  EXPECT_EQ(desktop.Window(kViewer).Rect(), moved);
  ASSERT_TRUE(Do(desktop, {"click", N(moved.left + kQuitButton.x), N(moved.top + kQuitButton.y)}));
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
}

TEST(PixtrelExe, RunGoesToTheTrayWhoseIconRestoresConfiguresAndCloses) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  EXPECT_EQ(Tooltip(desktop), "F12 to snap...");

  for (const ui::Point button : {kRunButton, kMinimiseButton}) {
    SCOPED_TRACE(button.x);
    ASSERT_TRUE(Do(desktop, {"key", "F12"}));
    ASSERT_TRUE(WaitWindow(desktop, kViewer));
    ASSERT_TRUE(IconShown(desktop, false));
    ASSERT_TRUE(ClickViewer(desktop, button));
    EXPECT_TRUE(IconShown(desktop, true));
    EXPECT_TRUE(WaitWindow(desktop, kViewer, "hidden"));
  }

  ASSERT_TRUE(ClickTrayIcon(desktop));
  EXPECT_TRUE(WaitWindow(desktop, kViewer));
  EXPECT_TRUE(IconShown(desktop, false));
  desktop.Shot("exe_viewer_restored");
  ASSERT_TRUE(ClickViewer(desktop, kRunButton));
  ASSERT_TRUE(IconShown(desktop, true));

  ASSERT_TRUE(OpenTrayMenu(desktop));
  desktop.Shot("exe_tray_menu");
  ASSERT_TRUE(Do(desktop, {"menu-item", "#1"}));  // "Config"
  ASSERT_TRUE(WaitWindow(desktop, kPreferences));
  const Fields preferences = desktop.Window(kPreferences);
  // Its client area centred: ((640 - 329) / 2, (400 - 273) / 2), with wine's frame around it.
  EXPECT_EQ(preferences.Rect().left, 155);
  EXPECT_EQ(preferences.Rect().top, 63);
  EXPECT_EQ(preferences.ClientRect().width, 329);
  EXPECT_EQ(preferences.ClientRect().height, 273);
  StillScreen(desktop);
  desktop.Shot("exe_preferences_from_tray");
  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Annuler"}));
  EXPECT_TRUE(WaitWindow(desktop, kPreferences, "hidden"));
  EXPECT_TRUE(desktop.TrayIconShown());

  ASSERT_TRUE(OpenTrayMenu(desktop));
  ASSERT_TRUE(Do(desktop, {"menu-item", "#2"}));  // "Close..."
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
  EXPECT_TRUE(IconShown(desktop, false));
}

TEST(PixtrelExe, AltAndCtrlCaptureTheActiveWindowWithItsFrameAndItsClientArea) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  for (const char* modifier : {"alt", "ctrl"}) {
    SCOPED_TRACE(modifier);
    const bool framed = std::string(modifier) == "alt";
    Process window = desktop.DriverInBackground(
        {"colour-window", "Vert", "40", "40", "160", "100", "00C000", "framed"});
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Window("Vert").Flag("foreground"); }));
    const Fields seen = desktop.Window("Vert");
    const ui::Rect client = seen.ClientRect();
    ASSERT_TRUE(
        Desktop::WaitFor([&] { return NotOfColour(desktop.Screen(), client, kGreen) == 0; }));
    const Bitmap before = StillScreen(desktop);

    ASSERT_TRUE(Do(desktop, {"key", "F12", modifier}));
    ASSERT_TRUE(WaitWindow(desktop, kViewer));
    const ui::Rect expected = framed ? seen.Rect() : client;
    const Bitmap picture = WaitForClipboard(desktop, expected.width, expected.height);
    ASSERT_EQ(picture.Width(), expected.width);
    ASSERT_EQ(picture.Height(), expected.height);
    if (framed) {
      EXPECT_GT(expected.height, client.height);
      EXPECT_EQ(Differences(picture, Crop(before, expected)), 0);
    } else {
      EXPECT_EQ(NotOfColour(picture, {0, 0, expected.width, expected.height}, kGreen), 0);
    }
    // The viewer shows this capture, not the one before.
    EXPECT_TRUE(Desktop::WaitFor(
        [&] { return Unsampled(Crop(desktop.Screen(), kPictureArea), picture) == 0; }));
    desktop.Shot(std::string("exe_viewer_after_") + modifier);
    ASSERT_TRUE(ClickViewer(desktop, kRunButton));
    ASSERT_TRUE(IconShown(desktop, true));
  }
}

TEST(PixtrelExe, ShiftFreezesTheScreenAndADragCapturesTheFramedRectangle) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(Do(desktop, {"key", "F12", "shift"}));
  ASSERT_TRUE(WaitWindow(desktop, kOverlay));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  const Fields overlay = desktop.Window(kOverlay);
  EXPECT_EQ(overlay.Rect(), (ui::Rect{0, 0, kWidth, kHeight}));
  EXPECT_TRUE(overlay.Flag("topmost"));
  // The frozen screen under the viewer, which shows no picture yet.
  Bitmap screen = StillScreen(desktop);
  desktop.Shot("exe_overlay");
  EXPECT_EQ(Differences(Crop(screen, {0, 0, kWidth, kViewerRect.top}),
                        Crop(before, {0, 0, kWidth, kViewerRect.top})),
            0);
  EXPECT_EQ(NotOfColour(screen, kPictureArea, Color{}), 0);

  struct Case {
    const char* border;
    int width, height;
    bool framed;  // the white frame lies on the captured area's outermost pixels
  };
  for (const Case& c : {Case{"oui", 100, 60, true}, Case{"non", 101, 61, false}}) {
    SCOPED_TRACE(c.border);
    desktop.WriteSettings(std::string("[Settings]\r\nBordBlanc=") + c.border + "\r\n");
    // Held at the far corner, the frame shows round the area the release will take.
    ASSERT_TRUE(desktop.Xdo(
        "mousemove 100 100 mousedown 1 sleep 0.1 mousemove 150 130 sleep 0.1 mousemove 200 160"));
    const int m = c.framed ? 0 : 1;
    const ui::Rect frame{100 - m, 100 - m, c.width + 2 * m, c.height + 2 * m};
    EXPECT_TRUE(Desktop::WaitFor([&] { return WhiteEdge(desktop.Screen(), frame) == 0; }));
    desktop.Shot(std::string("exe_overlay_dragging_") + c.border);
    ASSERT_TRUE(desktop.Xdo("sleep 0.1 mouseup 1"));

    const Bitmap picture = WaitForClipboard(desktop, c.width, c.height);
    ASSERT_EQ(picture.Width(), c.width);
    ASSERT_EQ(picture.Height(), c.height);
    const ui::Rect inside{1, 1, c.width - 2, c.height - 2};
    EXPECT_EQ(
        Differences(Crop(picture, inside), Crop(before, {101, 101, c.width - 2, c.height - 2})), 0);
    if (c.framed)
      EXPECT_EQ(WhiteEdge(picture, {0, 0, c.width, c.height}), 0);
    else
      EXPECT_EQ(Differences(picture, Crop(before, {100, 100, c.width, c.height})), 0);
  }
  screen = StillScreen(desktop);
  desktop.Shot("exe_overlay_after_drag");
  // No frame left on the overlay, and the last capture in the viewer.
  EXPECT_EQ(Differences(Crop(screen, {90, 90, 130, 80}), Crop(before, {90, 90, 130, 80})), 0);
  EXPECT_EQ(Unsampled(Crop(screen, kPictureArea), Crop(before, {100, 100, 101, 61})), 0);

  // "Run" takes the overlay down with the viewer.
  ASSERT_TRUE(ClickViewer(desktop, kRunButton));
  EXPECT_TRUE(WaitWindow(desktop, kOverlay, "hidden"));
  EXPECT_TRUE(IconShown(desktop, true));
}

TEST(PixtrelExe, AutoRecordWritesStampedFilesWhileTheKeyIsHeld) {
  for (const std::string format : {"bmp", "jpg"}) {
    SCOPED_TRACE(format);
    WineDesktop desktop(kWidth, kHeight);
    const std::string folder = desktop.Home() / "shots";
    desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=" + format +
                          "\r\nSaveFilePath=" + WineDesktop::WindowsPath(folder) + "\r\n");
    desktop.Start(PIXTREL_WIN32_PROGRAM);
    const Bitmap before = desktop.Screen();
    const std::string jpeg = format == "jpg" ? Jpeg(before, kDefaultQuality) : std::string();

    ASSERT_TRUE(Do(desktop, {"keydown", "F12"}));
    EXPECT_TRUE(Desktop::WaitFor([&] { return Captures(folder).size() >= 3; }));
    ASSERT_TRUE(Do(desktop, {"keyup", "F12"}));
    std::size_t count = 0;
    EXPECT_TRUE(Desktop::WaitFor([&] {
      const std::size_t was = Captures(folder).size();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      count = Captures(folder).size();
      return count == was;
    }));
    desktop.Shot("exe_auto_record_" + format);

    const std::vector<std::string> names = ListFolder(folder);
    EXPECT_EQ(names.size(), count);  // no temporary file left behind
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      std::smatch part;
      ASSERT_TRUE(std::regex_match(name, part, kStamp));
      EXPECT_EQ(part[7], format);
      EXPECT_LT(std::abs(StampAge(name)), 60);
      const std::string bytes = ReadFileBytes(folder + "/" + name);
      if (format == "bmp")
        EXPECT_EQ(Differences(DecodeImage(bytes), before), 0);
      else
        EXPECT_TRUE(bytes == jpeg) << bytes.size() << " bytes, not " << jpeg.size();
    }
    EXPECT_TRUE(desktop.TrayIconShown());
    EXPECT_FALSE(desktop.Window(kViewer).Flag("visible"));
  }
}

TEST(PixtrelExe, PreferencesEditedThroughTheControlsAreWrittenAndTakeEffect) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  const std::string folder = desktop.Home() / "snaps";
  const std::string windows_folder = WineDesktop::WindowsPath(folder);
  ASSERT_TRUE(OpenTrayMenu(desktop));
  ASSERT_TRUE(Do(desktop, {"menu-item", "#1"}));  // "Config"
  ASSERT_TRUE(WaitWindow(desktop, kPreferences));
  const auto control = [&](const std::string& name) {
    return Drive(desktop, {"child", kPreferences, name}).Reply();
  };

  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Actif"}));
  ASSERT_TRUE(Desktop::WaitFor([&] { return control("*.jpg").Flag("enabled"); }));
  EXPECT_EQ(control("Actif").Number("check"), 1);
  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "*.jpg"}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return control("*.jpg").Number("check") == 1; }));
  EXPECT_EQ(control("*.bmp").Number("check"), 0);

  // 100, less 1, 1 and 1 a line, 2 a page, and 1 back: 95.
  ASSERT_TRUE(Do(desktop, {"focus-child", kPreferences, "msctls_trackbar32:0"}));
  ASSERT_TRUE(Do(desktop, {"keys", "LEFT", "LEFT", "LEFT", "LEFT", "PRIOR", "RIGHT"}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return control("msctls_trackbar32:0").Number("pos") == 95; }));
  EXPECT_TRUE(Desktop::WaitFor([&] {
    return desktop.Driver({"child", kPreferences, "95 %"}).Ok();
  }));

  // "f" completes to the first name it begins, "F1", and "5" replaces the completion.
  ASSERT_TRUE(Do(desktop, {"focus-child", kPreferences, "ComboBox:0"}));
  ASSERT_TRUE(Do(desktop, {"type", "f"}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return control("ComboBox:0").Text("text") == "f1"; }));
  ASSERT_TRUE(Do(desktop, {"type", "5"}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return control("ComboBox:0").Text("text") == "f5"; }));

  ASSERT_TRUE(Do(desktop, {"focus-child", kPreferences, "#111"}));  // the folder
  ASSERT_TRUE(Do(desktop, {"keys", "HOME", "shift+END"}));
  ASSERT_TRUE(Do(desktop, {"type", windows_folder}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return control("#111").Text("text") == windows_folder; }));
  StillScreen(desktop);
  desktop.Shot("exe_preferences_edited");

  // "Infos", then the about box's "Ok": back with the edits intact.
  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Infos"}));
  ASSERT_TRUE(WaitWindow(desktop, "  About..."));
  EXPECT_EQ(desktop.Window("  About...").Rect(), (ui::Rect{187, 152, 265, 96}));
  EXPECT_TRUE(WaitWindow(desktop, kPreferences, "hidden"));
  StillScreen(desktop);
  desktop.Shot("exe_about_box");
  ASSERT_TRUE(Do(desktop, {"click-child", "  About...", "Ok"}));
  ASSERT_TRUE(WaitWindow(desktop, kPreferences));
  EXPECT_EQ(control("ComboBox:0").Text("text"), "f5");

  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Ok"}));
  ASSERT_TRUE(WaitWindow(desktop, kPreferences, "hidden"));
  EXPECT_EQ(ReadFileBytes(desktop.SettingsPath()),
            "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=" + windows_folder +
                "\r\nCompression=95\r\nPixtrel=f5\r\nBordBlanc=oui\r\n");
  // Opened from the tray, "Ok" arms the icon again with the new key: the same one icon.
  ASSERT_TRUE(IconShown(desktop, true));
  EXPECT_EQ(desktop.TrayIcons().size(), 1u);
  EXPECT_EQ(Tooltip(desktop), "f5 to snap...");

  // "f5" is no key's exact name, so F12 stays the key; the rest takes effect.
  const Bitmap before = StillScreen(desktop);
  ASSERT_TRUE(Do(desktop, {"key", "F5"}));
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !Captures(folder).empty(); }));
  Desktop::WaitFor([] { return false; }, 500);
  const std::vector<std::string> names = Captures(folder);
  ASSERT_EQ(names.size(), 1u);
  const std::string file = folder + "/" + names.front();
  EXPECT_TRUE(ReadFileBytes(file) == Jpeg(before, 95));
  EXPECT_FALSE(desktop.Window(kViewer).Flag("visible"));
}

TEST(PixtrelExe, SaveAsWritesTheCaptureThroughTheSaveDialog) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));

  struct Case {
    const char* item;  // in the menu under "Save as..."
    const char* name;  // typed into the dialog
    const char* file;  // with the extension the dialog adds
  };
  // The third time nothing is typed: the path of the first is offered again, and the file
  // replaced without a question.
  for (const Case& c : {Case{"#0", "shot", "shot.bmp"}, Case{"#1", "photo", "photo.jpg"},
                        Case{"#0", "", "shot.bmp"}}) {
    SCOPED_TRACE(c.file);
    std::remove((desktop.Home() / c.file).c_str());
    ASSERT_TRUE(ClickViewer(desktop, kSaveAsButton));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }));
    const Fields menu = desktop.Driver({"menu"}).Reply();
    EXPECT_EQ(menu.Number("left"), kViewerRect.left + 57);
    EXPECT_EQ(menu.Number("top"), kViewerRect.top + 17);
    desktop.Shot(std::string("exe_save_menu_") + c.item);
    ASSERT_TRUE(Do(desktop, {"menu-item", c.item}));
    ASSERT_TRUE(WaitWindow(desktop, "Save As"));
    StillScreen(desktop);
    desktop.Shot(std::string("exe_save_dialog_") + (*c.name != '\0' ? c.name : "again"));
    if (*c.name != '\0') {
      ASSERT_TRUE(Do(desktop, {"type", WineDesktop::WindowsPath(desktop.Home() / c.name)}));
    }
    ASSERT_TRUE(Do(desktop, {"keys", "RETURN"}));
    const std::string file = desktop.Home() / c.file;
    ASSERT_TRUE(Desktop::WaitFor([&] { return FileExists(file); }));
    if (std::string(c.file).ends_with(".bmp"))
      EXPECT_EQ(Differences(DecodeImage(ReadFileBytes(file)), before), 0);
    else
      EXPECT_TRUE(ReadFileBytes(file) == Jpeg(before, kDefaultQuality));
    EXPECT_TRUE(WaitWindow(desktop, "Save As", "gone"));
  }
}

TEST(PixtrelExe, AFolderThatCannotBeMadeShowsTheErrorBoxAndTheProgramGoesOn) {
  WineDesktop desktop(kWidth, kHeight);
  const std::string plain = desktop.Home() / "plain.txt";
  WriteFileBytes(plain, "not a folder");
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  for (const std::string& folder : {plain + "/shots", plain}) {
    SCOPED_TRACE(folder);
    const std::string windows_folder = WineDesktop::WindowsPath(folder);
    desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" +
                          windows_folder + "\r\n");
    ASSERT_TRUE(Do(desktop, {"key", "F12"}));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"messagebox-text"}).Ok(); }));
    const Fields box = desktop.Driver({"messagebox-text"}).Reply();
    EXPECT_EQ(box.Text("caption"), "Pixtrel");
    EXPECT_EQ(box.Text("buttons"), "OK");
    const std::string text = box.Text("text");
    // The reason is the system's, ERROR_PATH_NOT_FOUND in wine's English; it ends in a full
    // stop already, so the box adds none.
    const std::string start = "Impossible de créer le fichier \"" + windows_folder + "\\";
    const std::string end = "\". Path not found.";
    ASSERT_TRUE(text.starts_with(start) && text.ends_with(end)) << text;
    const std::string name = text.substr(start.size(), text.size() - start.size() - end.size());
    EXPECT_TRUE(std::regex_match(name, kStamp)) << name;
    EXPECT_TRUE(name.ends_with(".bmp")) << name;
    StillScreen(desktop);
    desktop.Shot(folder == plain ? "exe_error_box_file" : "exe_error_box_under_file");
    ASSERT_TRUE(Do(desktop, {"messagebox-ok"}));
    EXPECT_TRUE(desktop.TrayIconShown());
  }
  EXPECT_EQ(ReadFileBytes(plain), "not a folder");

  desktop.WriteSettings("[Settings]\r\nAutoRec=non\r\n");
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  EXPECT_TRUE(WaitWindow(desktop, kViewer));
  EXPECT_FALSE(desktop.Driver({"messagebox-text"}).Ok());
}

}  // namespace
}  // namespace pixtrel::test
