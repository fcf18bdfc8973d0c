#include <gtest/gtest.h>

#include "capture/bmp_writer.h"
#include "selection/frame.h"
#include "selection/selection_overlay.h"
#include "support/pictures.h"
#include "support/program.h"

namespace pixtrel::test {
namespace {

using ui::MouseButton;

class Selection : public testing::Test {
 public:
  void SetUp() override {
    p.platform.screen = SamplePicture(200, 120, 32);
    // While the overlay is up, the screen a copy reads is the overlay's picture.
    p.platform.shown_on_top = [] {
      return Form4 != nullptr && Form4->Visible() ? &Form4->Image2.Picture() : nullptr;
    };
    p.Start();
    p.PressHotkey(kShift);
    ASSERT_EQ(p.Now(), kSelection);
  }
  // A press activates the overlay, as a click on a window does; the press raises the viewer,
  // so the overlay is activated again at the next.
  void Press(int x, int y, MouseButton button = MouseButton::kLeft) {
    p.platform.UserActivates(*Form4);
    p.app->Dispatch([&] { Form4->Image2.mouse.down(button, {x, y}); });
  }
  void Move(int x, int y, unsigned held = ui::kHeldLeft) {
    p.app->Dispatch([&] { Form4->Image2.mouse.move(held, {x, y}); });
  }
  void Release(MouseButton button = MouseButton::kLeft) {
    p.app->Dispatch([&] { Form4->Image2.mouse.up(button, {0, 0}); });
  }
  void Select(int x0, int y0, int x1, int y1) {
    Press(x0, y0);
    Move(x1, y1);
    Release();
  }
  const Bitmap& Capture() const { return Form1->Image1.Picture(); }
  std::string Bmp(const Bitmap& picture) const {
    MemoryFiles files;
    SaveBmp(picture, "x", files);
    return files.files["x"];
  }
  bool OverlayIsClean() const { return Bmp(Form4->Image2.Picture()) == Bmp(p.platform.screen); }
  static constexpr Color kWhite{255, 255, 255};

  Program p;
};

TEST_F(Selection, TheWorkedExampleForBothMargins) {
  struct Case {
    const char* border;
    Edges rect;
    int width, height;
    bool framed;  // the frame lies on the captured picture's outer pixels
  };
  const Case cases[] = {
      {"oui", {40, 50, 100, 80}, 60, 30, true},
      {"non", {39, 49, 102, 82}, 61, 31, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.border);
    p.Settings(std::string("[Settings]\r\nBordBlanc=") + c.border + "\r\n");
    Press(100, 50);
    Move(40, 80);
    const Bitmap& overlay = Form4->Image2.Picture();
    // The frame lies on the rectangle's edge, and nothing beyond it.
    EXPECT_EQ(overlay.PixelColor(c.rect.left - 1, c.rect.top + 5),
              p.platform.screen.PixelColor(c.rect.left - 1, c.rect.top + 5));
    EXPECT_EQ(overlay.PixelColor(c.rect.left, c.rect.top + 5), kWhite);
    EXPECT_EQ(overlay.PixelColor(c.rect.right - 1, c.rect.bottom - 1), kWhite);
    Release();

    ASSERT_EQ(Capture().Width(), c.width);
    ASSERT_EQ(Capture().Height(), c.height);
    for (int x = 0; x < c.width; ++x) {
      const Color top = Capture().PixelColor(x, 0);
      EXPECT_EQ(top, c.framed ? kWhite : p.platform.screen.PixelColor(40 + x, 50));
    }
    EXPECT_EQ(Capture().PixelColor(1, 1), p.platform.screen.PixelColor(41, 51));
    EXPECT_TRUE(OverlayIsClean());
    EXPECT_EQ(p.platform.clipboard_bitmap.Width(), c.width);
    EXPECT_EQ(p.Now(), kSelection);
  }
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST_F(Selection, APressAndReleaseWithoutAMoveTakesTheLastRectangleAgain) {
  Select(10, 10, 30, 20);
  const std::string framed = Bmp(Capture());
  Press(50, 50);
  Move(50, 90);  // along the anchor's column: no frame
  Release();
  EXPECT_EQ(Capture().Width(), 20);
  EXPECT_EQ(Capture().PixelColor(0, 0), p.platform.screen.PixelColor(10, 10));  // no border now
  EXPECT_NE(Bmp(Capture()), framed);

  // Also in the next showing of the overlay.
  p.Click(Form1->Button1);
  p.PressHotkey(kShift);
  Press(5, 5, MouseButton::kRight);
  Release(MouseButton::kRight);
  EXPECT_EQ(Capture().Width(), 20);
  EXPECT_EQ(p.platform.calls.back(), "repaint Form4");
  // That press anchored the next frame.
  Move(25, 25);
  EXPECT_EQ(Form4->Image2.Picture().PixelColor(5, 5), kWhite);
}

TEST_F(Selection, ZeroAndNegativeSizesGiveAnEmptyPicture) {
  struct Case {
    const char* what;
    std::function<void(Selection&)> arrange;
  };
  const Case cases[] = {
      {"nothing framed yet, margin 0", [](Selection&) {}},
      {"nothing framed yet, margin 1",
       [](Selection& s) { s.p.Settings("[Settings]\r\nBordBlanc=non\r\n"); }},
      {"one pixel wide under margin 0, released under 1",
       [](Selection& s) {
         s.Press(10, 10);
         s.Move(11, 20);
         s.Release();
         s.p.Settings("[Settings]\r\nBordBlanc=non\r\n");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    p.Settings("");
    c.arrange(*this);
    p.platform.clipboard.clear();
    Press(60, 60);
    Release();
    EXPECT_FALSE(Capture().Empty());
    EXPECT_TRUE(Capture().Width() == 0 || Capture().Height() == 0);
    EXPECT_EQ(p.platform.clipboard,
              (std::vector<std::string>{"open", "empty", "close", "open", "empty", "close"}));
    EXPECT_TRUE(p.platform.errors.empty());
    SetUp();
  }
}

TEST_F(Selection, OnlyAHeldLeftButtonDrawsAndTheAnchorsLinesHideTheFrame) {
  Press(20, 20);
  Move(60, 60, ui::kHeldRight);
  Move(60, 60, ui::kHeldMiddle);
  Move(60, 60, 0);
  EXPECT_TRUE(OverlayIsClean());
  Move(60, 60);
  EXPECT_FALSE(OverlayIsClean());
  Move(20, 70);  // the anchor's column
  EXPECT_TRUE(OverlayIsClean());
  Move(70, 25);
  EXPECT_EQ(Form4->Image2.Picture().PixelColor(70 - 1, 24), kWhite);
  // Back on the anchor's row the frame goes, but the release still takes its rectangle.
  Move(40, 20);
  EXPECT_TRUE(OverlayIsClean());
  Release();
  EXPECT_EQ(Capture().Width(), 50);
  EXPECT_EQ(Capture().Height(), 5);
}

TEST_F(Selection, TheReleaseUsesTheMarginOfTheLastPress) {
  Press(10, 10);
  Move(30, 30);
  p.Settings("[Settings]\r\nBordBlanc=non\r\n");
  Release();
  EXPECT_EQ(Capture().Width(), 20);  // read "oui" at the press
  for (const char* value : {"NON", "", "Non", "yes"}) {
    p.Settings(std::string("[Settings]\r\nBordBlanc=") + value + "\r\n");
    Press(10, 10);
    Release();
    EXPECT_EQ(Capture().Width(), 20) << value;
  }
}

TEST_F(Selection, EveryPressRaisesTheViewer) {
  p.platform.calls.clear();
  Press(1, 1, MouseButton::kMiddle);
  EXPECT_EQ(p.platform.calls.front(), "raise Form1");
}

TEST_F(Selection, ARefusedClipboardStillLeavesTheSelectionInTheViewer) {
  p.platform.clipboard_refuses = true;
  Select(10, 10, 50, 40);
  EXPECT_EQ(p.platform.errors, std::vector<std::string>{"Impossible d'ouvrir le Presse-papiers."});
  EXPECT_EQ(Capture().Width(), 40);
  EXPECT_TRUE(OverlayIsClean());
}

TEST_F(Selection, ANewFrozenScreenIsWhatFramesAreErasedTo) {
  Select(10, 10, 50, 40);
  p.Click(Form1->Button1);
  p.platform.screen = SamplePicture(200, 120, 32);
  p.platform.screen.SetPixelColor(30, 10, {1, 2, 3});
  p.PressHotkey(kShift);
  Select(10, 10, 50, 40);
  EXPECT_EQ(Form4->Image2.Picture().PixelColor(30, 10), (Color{1, 2, 3}));
}

TEST(Frame, PalettePicturesTakeTheNearestEntryAndRestoreBitExactly) {
  for (int depth : {1, 4, 8, 16, 24}) {
    SCOPED_TRACE(depth);
    const Bitmap saved = SamplePicture(21, 13, depth);
    Bitmap picture = saved;
    if (depth <= 8)
      picture.Palette()[1] = {255, 255, 255, 0};
    DrawFrame(picture, {-3, 2, 30, 9}, {255, 255, 255});
    EXPECT_EQ(picture.PixelColor(5, 2), (Color{255, 255, 255}));
    EXPECT_EQ(picture.PixelColor(5, 8), (Color{255, 255, 255}));
    RestoreArea(picture, saved, {-3, 2, 30, 9});
    EXPECT_TRUE(
        std::equal(picture.Pixels().begin(), picture.Pixels().end(), saved.Pixels().begin()));
  }
}

}  // namespace
}  // namespace pixtrel::test
