#include <gtest/gtest.h>

#include "support/pictures.h"
#include "support/program.h"

namespace pixtrel::test {
namespace {

TEST(Viewer, IsCentredTheFirstTimeOnlyAndKeepsItsPlace) {
  Program p;
  p.platform.screen = Bitmap(1920, 1080, 32);
  p.Start();
  p.PressHotkey();
  EXPECT_EQ(Form1->bounds, (ui::Rect{860, 456, 200, 167}));
  p.platform.cursor = {900, 500};
  Form1->attrape(ui::MouseButton::kLeft);
  p.platform.cursor = {700, 300};
  Form1->bouge();
  Form1->lache();
  p.Click(Form1->Button1);
  p.PressHotkey();
  EXPECT_EQ(Form1->bounds, (ui::Rect{660, 256, 200, 167}));
}

TEST(Viewer, DragsByThePictureUntilAButtonIsReleasedOnIt) {
  using Button = ui::MouseButton;
  struct Step {
    char action;  // d: press, m: move, u: release
    ui::Point cursor;
    ui::Point window;  // where the window is afterwards
  };
  struct Case {
    const char* what;
    ui::Point start;
    Button button;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"left drag",
       {100, 100},
       Button::kLeft,
       {{'d', {150, 120}, {100, 100}},
        {'m', {170, 110}, {120, 90}},
        {'m', {100, 200}, {50, 180}},
        {'u', {100, 200}, {50, 180}},
        {'m', {300, 300}, {50, 180}}}},
      {"a second press does not restart it",
       {0, 0},
       Button::kLeft,
       {{'d', {10, 10}, {0, 0}},
        {'m', {20, 20}, {10, 10}},
        {'d', {20, 20}, {10, 10}},
        {'m', {30, 30}, {20, 20}}}},
      {"right button drags too",
       {0, 0},
       Button::kRight,
       {{'d', {10, 10}, {0, 0}}, {'m', {15, 12}, {5, 2}}}},
      {"a window at -1 still drags",
       {-1, -1},
       Button::kLeft,
       {{'d', {10, 10}, {-1, -1}}, {'m', {20, 15}, {9, 4}}}},
      {"moves with no drag do nothing",
       {5, 5},
       Button::kLeft,
       {{'m', {100, 100}, {5, 5}}, {'u', {100, 100}, {5, 5}}, {'m', {0, 0}, {5, 5}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program p;
    p.Start();
    p.PressHotkey();
    Form1->SetBounds({c.start.x, c.start.y, 200, 167});
    for (const Step& step : c.steps) {
      p.platform.cursor = step.cursor;
      if (step.action == 'd')
        Form1->attrape(c.button);
      if (step.action == 'm')
        Form1->bouge();
      if (step.action == 'u')
        Form1->lache();
      EXPECT_EQ((ui::Point{Form1->bounds.left, Form1->bounds.top}), step.window)
          << step.action << " at " << step.cursor.x << "," << step.cursor.y;
    }
  }
}

TEST(Viewer, SaveDialogsRememberTheirOwnPathAndAddTheirExtension) {
  Program p;
  p.Start();
  p.PressHotkey();
  p.platform.save_answers = {"/home/ann/shot", "/home/ann/shot.bmp", std::nullopt};
  p.Click(Form1->BMP1);
  p.Click(Form1->BMP1);
  p.Click(Form1->BMP1);
  p.Click(Form1->JPG1);  // no answer left: cancelled
  EXPECT_EQ(p.platform.offered,
            (std::vector<std::string>{"", "/home/ann/shot.bmp", "/home/ann/shot.bmp", ""}));
  EXPECT_EQ(p.platform.files.files.count("/home/ann/shot.bmp"), 1u);
  EXPECT_EQ(p.platform.files.started, 2);
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST(Viewer, JpegSaveTakesTheQualityFromTheSettingsAfterTheDialog) {
  struct Case {
    const char* compression;
    bool written;
    const char* error;
  };
  const Case cases[] = {
      {nullptr, true, nullptr},
      {"75", true, nullptr},
      {"0", false, nullptr},
      {"250", false, nullptr},
      {"abc", false, "'abc' n'est pas une valeur entière correcte."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.compression ? c.compression : "(none)");
    Program p;
    p.Start();
    p.PressHotkey();
    if (c.compression)
      p.Settings(std::string("[Settings]\r\nCompression=") + c.compression);
    p.platform.save_answers = {"/home/ann/shot.jpg"};
    p.Click(Form1->JPG1);
    EXPECT_EQ(p.platform.files.files.count("/home/ann/shot.jpg"), c.written ? 1u : 0u);
    EXPECT_EQ(p.platform.errors,
              c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{});
  }
}

TEST(Viewer, SavingWithNoPictureDiffersByFormat) {
  Program p;
  p.Start();
  p.platform.save_answers = {"/a.bmp", "/a.jpg"};
  p.Click(Form1->BMP1);
  p.Click(Form1->JPG1);
  EXPECT_EQ(p.platform.files.started, 0);
  EXPECT_EQ(p.platform.errors,
            std::vector<std::string>{"Impossible d'affecter TPicture à TBitmap."});
}

}  // namespace
}  // namespace pixtrel::test
