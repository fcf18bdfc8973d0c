// The X11 side of the platform against a real (virtual) X server.
#include "platform/x11/x11_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/bmp_writer.h"
#include "support/memory_files.h"
#include "support/xvfb.h"

// Last: its macros would clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace pixtrel {
namespace {

TEST(X11Display, CopiesThePrimaryScreenWithBlackBeyondIt) {
  test::Xvfb server(320, 200);
  X11Display x11;
  EXPECT_EQ(x11.PrimaryRect(), (ui::Rect{0, 0, 320, 200}));
  EXPECT_EQ(x11.Depth(), 32);

  test::ColourWindow red(10, 20, 30, 40, 0xFF0000);
  Bitmap screen(320, 200, 32);
  x11.CopyScreen(screen, 0, 0);
  EXPECT_EQ(screen.PixelColor(10, 20), (Color{255, 0, 0}));
  EXPECT_EQ(screen.PixelColor(39, 59), (Color{255, 0, 0}));
  EXPECT_NE(screen.PixelColor(40, 60), (Color{255, 0, 0}));

  Bitmap edge(20, 20, 32);
  x11.CopyScreen(edge, 300 + 5, -10);  // mostly off the screen
  EXPECT_EQ(edge.PixelColor(0, 0), Color{});
  EXPECT_EQ(edge.PixelColor(19, 19), Color{});
  Bitmap window(30, 40, 32);
  x11.CopyScreen(window, 10, 20);
  EXPECT_EQ(window.PixelColor(29, 39), (Color{255, 0, 0}));
}

TEST(X11Display, ACopyWritesEveryByteWhateverThePictureHeldBefore) {
  // Captures reuse the last frame's memory without blackening it first.
  for (const int server_depth : {24, 16, 8}) {
    test::Xvfb server(320, 200, server_depth);
    X11Display x11;
    test::ColourWindow window(10, 20, 30, 40, 5);
    const int rects[][4] = {{0, 0, 320, 200}, {315, -3, 13, 9}, {3, 4, 7, 5}, {-50, -50, 9, 9}};
    for (const auto& r : rects) {
      SCOPED_TRACE(testing::Message() << server_depth << " bits, at " << r[0] << "," << r[1]);
      Bitmap fresh(r[2], r[3], x11.Depth());
      x11.CopyScreen(fresh, r[0], r[1]);
      Bitmap reused(r[2], r[3], x11.Depth());
      std::ranges::fill(reused.Pixels(), 0xAB);
      reused.Reshape(r[2], r[3], x11.Depth());
      x11.CopyScreen(reused, r[0], r[1]);
      EXPECT_TRUE(std::ranges::equal(reused.Pixels(), fresh.Pixels()));
    }
  }
}

TEST(X11Display, ATallScreenComesWholeThroughItsBands) {
  // Every row of the pattern differs, so a band copied to the wrong rows shows.
  for (const int server_depth : {24, 8}) {
    SCOPED_TRACE(testing::Message() << server_depth << " bits");
    test::Xvfb server(1000, 1100, server_depth);
    const auto pattern = [&](int x, int y) -> unsigned long {
      if (server_depth == 8)
        return static_cast<unsigned long>(x * 7 + y) & 0xFF;
      return static_cast<unsigned long>(((x & 0xFF) << 16) | ((y & 0xFF) << 8) | (y >> 2 & 0xFF));
    };
    Display* d = XOpenDisplay(nullptr);
    const Window root = DefaultRootWindow(d);
    XImage* image = XGetImage(d, root, 0, 0, 1000, 1100, AllPlanes, ZPixmap);
    for (int y = 0; y < 1100; ++y) {
      for (int x = 0; x < 1000; ++x)
        XPutPixel(image, x, y, pattern(x, y));
    }
    XPutImage(d, root, DefaultGC(d, DefaultScreen(d)), image, 0, 0, 0, 0, 1000, 1100);
    XSync(d, False);
    XDestroyImage(image);

    X11Display x11;
    const int rects[][4] = {{0, 0, 1000, 1100}, {-3, 5, 1000, 1100}, {100, 250, 300, 601}};
    for (const auto& r : rects) {
      Bitmap picture(r[2], r[3], x11.Depth());
      x11.CopyScreen(picture, r[0], r[1]);
      int wrong = 0;
      for (int y = 0; y < r[3]; ++y) {
        for (int x = 0; x < r[2]; ++x) {
          const int sx = r[0] + x, sy = r[1] + y;
          const bool on = sx >= 0 && sy >= 0 && sx < 1000 && sy < 1100;
          const unsigned long want = on ? pattern(sx, sy) : 0;
          const unsigned long got =
              server_depth == 8
                  ? picture.Row(y)[x]
                  : (static_cast<unsigned long>(picture.PixelColor(x, y).red) << 16 |
                     picture.PixelColor(x, y).green << 8 | picture.PixelColor(x, y).blue);
          wrong += got != want;
        }
      }
      EXPECT_EQ(wrong, 0) << "at " << r[0] << "," << r[1];
    }
    XCloseDisplay(d);
  }
}

TEST(X11Display, APaletteScreenGivesIndexesAndItsColormap) {
  test::Xvfb server(320, 200, 8);
  X11Display x11;
  ASSERT_EQ(x11.Depth(), 8);
  test::ColourWindow window(10, 20, 30, 40, 5);  // colormap index 5
  Bitmap screen(320, 200, 8);
  x11.CopyScreen(screen, 0, 0);
  EXPECT_EQ(screen.Row(20)[10], 5);
  EXPECT_EQ(screen.Row(59)[39], 5);

  Display* d = XOpenDisplay(nullptr);
  XColor five{};
  five.pixel = 5;
  XQueryColor(d, DefaultColormap(d, DefaultScreen(d)), &five);
  XCloseDisplay(d);
  EXPECT_EQ(screen.PixelColor(10, 20), (Color{static_cast<std::uint8_t>(five.red >> 8),
                                              static_cast<std::uint8_t>(five.green >> 8),
                                              static_cast<std::uint8_t>(five.blue >> 8)}));
}

// Shared-memory segments mapped into this process.
int AttachedSegments() {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);)
    count += line.find("/SYSV") != std::string::npos ? 1 : 0;
  return count;
}

TEST(X11Display, AServerThatRefusesSharedMemoryStillGivesTheScreenAndNothingStaysAttached) {
  if (std::system("unshare --ipc true 2>/dev/null") != 0)
    GTEST_SKIP() << "no right to make an IPC namespace here";
  test::Xvfb server(320, 200, 24, /*own_ipc=*/true);
  X11Display x11;
  test::ColourWindow red(10, 20, 30, 40, 0xFF0000);
  for (int copy = 0; copy < 2; ++copy) {
    Bitmap screen(320, 200, 32);
    x11.CopyScreen(screen, 0, 0);
    EXPECT_EQ(screen.PixelColor(10, 20), (Color{255, 0, 0}));
    EXPECT_EQ(AttachedSegments(), 0);
  }
}

// A half-transparent orange window at (10, 20), 30 x 40, on a 32-bit visual; false where the
// server has none.
bool MapTranslucentOrange(Display* d) {
  XVisualInfo argb{};
  if (!XMatchVisualInfo(d, DefaultScreen(d), 32, TrueColor, &argb))
    return false;
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(d, DefaultRootWindow(d), argb.visual, AllocNone);
  attributes.background_pixel = 0x80FF2000;
  attributes.border_pixel = 0;
  attributes.override_redirect = True;
  const Window window =
      XCreateWindow(d, DefaultRootWindow(d), 10, 20, 30, 40, 0, 32, InputOutput, argb.visual,
                    CWColormap | CWBackPixel | CWBorderPixel | CWOverrideRedirect, &attributes);
  XMapRaised(d, window);
  XSync(d, False);
  return true;
}

TEST(X11Display, AWindowsAlphaNeverReachesThePicturesFourthByte) {
  test::Xvfb server(320, 200);
  Display* d = XOpenDisplay(nullptr);
  ASSERT_TRUE(MapTranslucentOrange(d));

  X11Display x11;
  Bitmap screen(320, 200, 32);
  x11.CopyScreen(screen, 0, 0);
  XCloseDisplay(d);
  EXPECT_EQ(screen.PixelColor(10, 20), (Color{0xFF, 0x20, 0x00}));
  int with_alpha = 0;
  for (int y = 0; y < screen.Height(); ++y) {
    for (int x = 0; x < screen.Width(); ++x)
      with_alpha += screen.Row(y)[x * 4 + 3] != 0 ? 1 : 0;
  }
  EXPECT_EQ(with_alpha, 0);
}

// A screen large enough is written by the server into the picture's own memory, alpha and all;
// a smaller one is copied. Either way the file has the colours and no alpha, and whether the
// server shares memory or refuses it, nothing of it stays mapped once the pictures are gone.
TEST(X11Display, APictureTheServerWritesIntoSavesWithoutAlphaAndLeavesNoSegmentBehind) {
  const bool can_refuse = std::system("unshare --ipc true 2>/dev/null") == 0;
  for (const bool refuses : {false, true}) {
    if (refuses && !can_refuse)
      continue;
    for (const auto& [width, height] : {std::pair{320, 200}, std::pair{1280, 800}}) {
      SCOPED_TRACE(std::to_string(width) + (refuses ? " refusing" : " sharing"));
      test::Xvfb server(width, height, 24, /*own_ipc=*/refuses);
      Display* d = XOpenDisplay(nullptr);
      ASSERT_TRUE(MapTranslucentOrange(d));
      test::MemoryFiles files;
      {
        std::optional<Bitmap> screen;
        {
          X11Display x11;
          for (int frame = 0; frame < 2; ++frame) {  // the second into memory already shared
            screen.emplace(width, height, 32);
            x11.CopyScreen(*screen, 0, 0);
          }
        }
        XCloseDisplay(d);
        EXPECT_EQ(screen->PixelColor(10, 20), (Color{0xFF, 0x20, 0x00}));
        SaveBmp(*screen, "/shot.bmp", files);
      }
      EXPECT_EQ(AttachedSegments(), 0);
      const std::string& bmp = files.files.at("/shot.bmp");
      ASSERT_EQ(bmp.size(), 54u + static_cast<std::size_t>(width) * height * 4);
      int with_alpha = 0;
      for (std::size_t at = 54 + 3; at < bmp.size(); at += 4)
        with_alpha += bmp[at] != 0 ? 1 : 0;
      EXPECT_EQ(with_alpha, 0);
    }
  }
}

TEST(X11Display, ASixteenBitScreenIsCopiedAtSixteenBits) {
  test::Xvfb server(320, 200, 16);
  X11Display x11;
  ASSERT_EQ(x11.Depth(), 16);
  test::ColourWindow red(10, 20, 30, 40, 0xF800);  // 5-6-5 red
  test::ColourWindow blue(50, 20, 10, 10, 0x001F);
  Bitmap screen(320, 200, 16);
  x11.CopyScreen(screen, 0, 0);
  EXPECT_EQ(screen.PixelColor(10, 20), (Color{255, 0, 0}));
  EXPECT_EQ(screen.PixelColor(55, 25), (Color{0, 0, 255}));
}

TEST(X11Display, FindsTheFocusedWindowWithoutAWindowManager) {
  test::Xvfb server(320, 200);
  X11Display x11;
  test::ColourWindow green(50, 60, 70, 30, 0x00FF00);
  EXPECT_EQ(x11.ForegroundWindow(), green.Id());
  EXPECT_EQ(x11.WindowRect(green.Id()), (ui::Rect{50, 60, 70, 30}));
  EXPECT_EQ(x11.ClientRect(green.Id()), (ui::Rect{0, 0, 70, 30}));
  Bitmap client(70, 30, 32);
  x11.CopyClient(green.Id(), client);
  EXPECT_EQ(client.PixelColor(0, 0), (Color{0, 255, 0}));
}

TEST(X11Display, AManagedWindowsRectangleTakesInItsFrame) {
  test::Xvfb server(640, 400);
  ASSERT_EQ(server.Run("openbox >/dev/null 2>&1 &"), 0);
  Display* d = XOpenDisplay(nullptr);
  const Window root = DefaultRootWindow(d);
  auto property = [&](Window window, const char* name, std::vector<long>& values) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    values.clear();
    if (XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, 16, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
      values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
      XFree(data);
    }
    return !values.empty();
  };
  auto wait_for = [](const std::function<bool()>& condition) {
    for (int i = 0; i < 250 && !condition(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return condition();
  };
  std::vector<long> values;
  ASSERT_TRUE(wait_for([&] { return property(root, "_NET_SUPPORTING_WM_CHECK", values); }));

  // The manager names itself a moment before it takes windows in: map again until it does.
  std::optional<test::ColourWindow> shown;
  for (int attempt = 0; attempt < 10; ++attempt) {
    shown.reset();
    shown.emplace(100, 80, 120, 60, 0x00C000, /*managed=*/true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (property(shown->Id(), "_NET_FRAME_EXTENTS", values))
      break;
  }
  const test::ColourWindow& window = *shown;
  X11Display x11;
  // Activated as a taskbar would, through the window manager.
  ASSERT_EQ(server.Run("xdotool windowactivate --sync " + std::to_string(window.Id())), 0);
  ASSERT_TRUE(wait_for([&] { return x11.ForegroundWindow() == window.Id(); }));
  std::vector<long> extents;
  ASSERT_TRUE(wait_for([&] { return property(window.Id(), "_NET_FRAME_EXTENTS", extents); }));
  ASSERT_EQ(extents.size(), 4u);  // left, right, top, bottom
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, window.Id(), root, 0, 0, &x, &y, &child);
  XCloseDisplay(d);

  EXPECT_GT(extents[2], 0);  // a title bar
  EXPECT_EQ(x11.WindowRect(window.Id()),
            (ui::Rect{x - static_cast<int>(extents[0]), y - static_cast<int>(extents[2]),
                      120 + static_cast<int>(extents[0] + extents[1]),
                      60 + static_cast<int>(extents[2] + extents[3])}));
  EXPECT_EQ(x11.ClientRect(window.Id()), (ui::Rect{0, 0, 120, 60}));
  Bitmap client(120, 60, 32);
  x11.CopyClient(window.Id(), client);
  EXPECT_EQ(client.PixelColor(0, 0), (Color{0, 0xC0, 0}));
  EXPECT_EQ(client.PixelColor(119, 59), (Color{0, 0xC0, 0}));
}

TEST(X11Display, SeesHeldKeysAndTapsBetweenTwoPolls) {
  test::Xvfb server(320, 200);
  X11Display x11;
  EXPECT_EQ(x11.AsyncKeyState(0x7B), 0);
  ASSERT_EQ(server.Run("xdotool key F12"), 0);  // down and up before the next poll
  EXPECT_EQ(x11.AsyncKeyState(0x7B), 1);
  EXPECT_EQ(x11.AsyncKeyState(0x7B), 0);  // counted once
  ASSERT_EQ(server.Run("xdotool keydown shift"), 0);
  EXPECT_NE(x11.AsyncKeyState(0x10) & 0x8000, 0);
  EXPECT_EQ(x11.AsyncKeyState(0x12) & 0x8000, 0);
  ASSERT_EQ(server.Run("xdotool keyup shift mousemove 30 40 click 3"), 0);
  EXPECT_EQ(x11.AsyncKeyState(0x10) & 0x8000, 0);
  EXPECT_EQ(x11.AsyncKeyState(0x02), 1);  // the right button, tapped
  EXPECT_EQ(x11.AsyncKeyState(0x01), 0);
  EXPECT_EQ(x11.CursorPos(), (ui::Point{30, 40}));
}

}  // namespace
}  // namespace pixtrel
