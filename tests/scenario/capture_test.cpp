#include <gtest/gtest.h>

#include <utility>

#include "capture/bmp_writer.h"
#include "capture/jpeg_writer.h"
#include "support/pictures.h"
#include "support/program.h"

namespace pixtrel::test {
namespace {

const std::vector<std::string> kPlaced = {"open", "empty", "close", "open", "empty"};

std::vector<std::string> Placed(const std::string& bitmap) {
  std::vector<std::string> calls = kPlaced;
  calls.push_back(bitmap);
  calls.push_back("close");
  return calls;
}

std::string Bmp(const Bitmap& picture) {
  MemoryFiles files;
  SaveBmp(picture, "x", files);
  return files.files.at("x");
}

TEST(TypicalRequest, FromTheTrayToASavedJpegAndBack) {
  Program p;
  p.platform.screen = SamplePicture(1920, 1080, 32);
  p.Start();
  ASSERT_EQ(p.Now(), kTray);

  p.PressHotkey();
  EXPECT_EQ(p.platform.clipboard, Placed("bitmap 1920x1080"));
  EXPECT_EQ(Bmp(p.platform.clipboard_bitmap), Bmp(p.platform.screen));
  EXPECT_EQ(Bmp(Form1->Image1.Picture()), Bmp(p.platform.screen));
  EXPECT_EQ(p.Now(), kViewer);
  EXPECT_EQ(Form1->bounds, (ui::Rect{860, 456, 200, 167}));

  p.Click(Form1->Button2);
  EXPECT_EQ(p.platform.popups, std::vector<std::string>{"PopupMenu1 at 917,473"});
  p.platform.save_answers.push_back("/home/ann/shot");
  p.Click(Form1->JPG1);
  const JpegStream expected = EncodeJpeg(p.platform.screen, 100);
  EXPECT_EQ(p.platform.files.files.at("/home/ann/shot.jpg"),
            std::string(reinterpret_cast<const char*>(expected.Data()), expected.Size()));

  p.Click(Form1->Button1);
  EXPECT_EQ(p.Now(), kTray);
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST(Capture, AltBeatsCtrlBeatsShift) {
  struct Case {
    std::vector<std::uint8_t> held;
    const char* mode;
  };
  const Case cases[] = {
      {{}, "screen"},
      {{kAlt}, "window"},
      {{kCtrl}, "client"},
      {{kShift}, "selection"},
      {{kAlt, kCtrl}, "window"},
      {{kCtrl, kShift}, "client"},
      {{kAlt, kShift}, "window"},
      {{kAlt, kCtrl, kShift}, "window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Program p;
    p.platform.foreground = 42;
    p.platform.window_rect = {10, 5, 30, 20};
    p.platform.client_rect = {0, 0, 26, 14};
    p.platform.client_pixels = SamplePicture(26, 14, 32);
    p.Start();
    for (std::uint8_t key : c.held)
      p.platform.down[key] = true;
    p.PressHotkey();
    const std::string mode = c.mode;
    const Bitmap& capture = Form1->Image1.Picture();
    if (mode == "selection") {
      EXPECT_TRUE(capture.Empty());
      EXPECT_EQ(Form4->Image2.Picture().Width(), 64);
      EXPECT_TRUE(p.platform.clipboard.empty());
      EXPECT_EQ(p.Now(), kSelection);
      continue;
    }
    EXPECT_EQ(p.Now(), kViewer);
    EXPECT_TRUE(Form4->Image2.Picture().Empty());
    if (mode == "screen") {
      EXPECT_EQ(Bmp(capture), Bmp(p.platform.screen));
    }
    if (mode == "client") {
      EXPECT_EQ(Bmp(capture), Bmp(p.platform.client_pixels));
    }
    if (mode == "window") {
      ASSERT_EQ(capture.Width(), 30);
      ASSERT_EQ(capture.Height(), 20);
      EXPECT_EQ(capture.PixelColor(0, 0), p.platform.screen.PixelColor(10, 5));
      EXPECT_EQ(capture.PixelColor(29, 19), p.platform.screen.PixelColor(39, 24));
    }
    EXPECT_EQ(p.platform.clipboard, Placed("bitmap " + std::to_string(capture.Width()) + "x" +
                                           std::to_string(capture.Height())));
  }
}

TEST(Capture, AWindowReachingOffScreenIsTakenAtItsFullSize) {
  Program p;
  p.platform.foreground = 7;
  p.platform.window_rect = {-4, -4, 72, 44};
  p.Start();
  p.PressHotkey(kAlt);
  const Bitmap& capture = Form1->Image1.Picture();
  ASSERT_EQ(capture.Width(), 72);
  EXPECT_EQ(capture.PixelColor(0, 0), Color{});
  EXPECT_EQ(capture.PixelColor(4, 4), p.platform.screen.PixelColor(0, 0));
}

TEST(Capture, NoForegroundWindowGivesAZeroByZeroPictureAndAnEmptyClipboard) {
  for (const std::uint8_t modifier : {kAlt, kCtrl}) {
    Program p;
    p.Start();
    p.PressHotkey(modifier);
    EXPECT_FALSE(Form1->Image1.Picture().Empty());
    EXPECT_EQ(Form1->Image1.Picture().Width(), 0);
    EXPECT_EQ(p.platform.clipboard,
              (std::vector<std::string>{"open", "empty", "close", "open", "empty", "close"}));
    EXPECT_EQ(p.Now(), kViewer);
  }
}

TEST(Capture, AnInsideOutWindowRectangleGivesAnEmptyPictureNotACrash) {
  Program p;
  p.platform.foreground = 9;
  p.platform.window_rect = {50, 50, -10, -3};
  p.platform.client_rect = {0, 0, -1, 4};
  p.Start();
  for (const std::uint8_t modifier : {kAlt, kCtrl}) {
    p.PressHotkey(modifier);
    EXPECT_EQ(Form1->Image1.Picture().Width(), 0);
    EXPECT_EQ(p.Now(), kViewer);
    p.Click(Form1->Button1);
  }
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST(Capture, APaletteScreenPlacesItsPaletteToo) {
  Program p;
  p.platform.screen = SamplePicture(16, 8, 8);
  p.Start();
  p.PressHotkey();
  EXPECT_EQ(p.platform.clipboard,
            (std::vector<std::string>{"open", "empty", "close", "open", "empty", "bitmap 16x8",
                                      "palette", "close"}));
}

TEST(Capture, ARefusedClipboardStopsBeforeTheSettingsAreRead) {
  for (const bool auto_rec : {false, true}) {
    Program p;
    if (auto_rec)
      p.Settings("[Settings]\r\nAutoRec=oui\r\n");
    p.platform.clipboard_refuses = true;
    p.Start();
    p.PressHotkey();
    EXPECT_EQ(p.platform.errors,
              std::vector<std::string>{"Impossible d'ouvrir le Presse-papiers."});
    EXPECT_EQ(p.platform.clipboard, (std::vector<std::string>{"open refused"}));
    EXPECT_EQ(Form1->Image1.Picture().Width(), 64);  // the new picture is kept
    EXPECT_EQ(p.Now(), kTray);
    EXPECT_EQ(p.platform.files.started, 0);
  }
}

TEST(Capture, ShiftNeverTouchesTheClipboardOrWritesAFile) {
  Program p;
  p.Settings("[Settings]\r\nAutoRec=oui\r\n");
  p.Start();
  p.PressHotkey(kShift);
  EXPECT_TRUE(p.platform.clipboard.empty());
  EXPECT_EQ(p.platform.files.started, 0);
  EXPECT_EQ(p.Now(), kSelection);
}

class AutoRecord : public testing::Test {
 protected:
  static constexpr const char* kFolder = "/home/ann/Documents/Pixtrel";

  void StartWith(const std::string& settings, int held_polls) {
    p.Settings("[Settings]\r\n" + settings);
    p.platform.ms_per_reading = 1;
    p.Start();
    p.platform.errors.clear();  // the preferences' own complaints at start-up
    p.platform.HoldFor(kF12, held_polls);
    p.Tick();
  }
  std::vector<std::string> Written() const {
    std::vector<std::string> paths;
    for (const auto& [path, content] : p.platform.files.files) {
      if (path != p.platform.files.settings_path)
        paths.push_back(path);
    }
    return paths;
  }
  std::size_t PollsLeft() { return p.platform.script[kF12].size(); }

  Program p;
};

TEST_F(AutoRecord, AHeldKeyWritesOneFilePerCaptureUnderRisingStamps) {
  StartWith("AutoRec=oui\r\n", 3);
  const std::string base = std::string(kFolder) + "/07.03.2026 à 09h 05m 03s ";
  EXPECT_EQ(Written(),
            (std::vector<std::string>{base + "043'.bmp", base + "045'.bmp", base + "047'.bmp"}));
  for (const std::string& path : Written()) {
    EXPECT_EQ(p.platform.files.files.at(path), Bmp(p.platform.screen));
  }
  EXPECT_EQ(p.platform.files.folders, std::vector<std::string>(3, kFolder));
  EXPECT_EQ(p.Now(), kTray);
  EXPECT_TRUE(p.platform.clipboard.size() == 3 * Placed("bitmap 64x36").size());
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST_F(AutoRecord, JpegUsesTheQualityAndTheFolderAsWritten) {
  StartWith("AutoRec=yes\r\nAutoRecFormat=jpg\r\nCompression=50\r\nSaveFilePath=/data/x\r\n", 1);
  ASSERT_EQ(Written().size(), 1u);
  EXPECT_EQ(Written()[0], "/data/x/07.03.2026 à 09h 05m 03s 043'.jpg");
  const JpegStream expected = EncodeJpeg(p.platform.screen, 50);
  EXPECT_EQ(p.platform.files.files.at(Written()[0]),
            std::string(reinterpret_cast<const char*>(expected.Data()), expected.Size()));
}

TEST_F(AutoRecord, OtherFormatsAndQualitiesWriteNothingButStillPollAgain) {
  for (const char* settings :
       {"AutoRec=oui\r\nAutoRecFormat=png\r\n", "AutoRec=oui\r\nAutoRecFormat=\r\n",
        "AutoRec=oui\r\nAutoRecFormat=JPG\r\n",
        "AutoRec=oui\r\nAutoRecFormat=jpg\r\nCompression=0\r\n",
        "AutoRec=oui\r\nAutoRecFormat=jpg\r\nCompression=101\r\n"}) {
    SCOPED_TRACE(settings);
    p.platform.files.files.clear();
    StartWith(settings, 4);
    EXPECT_TRUE(Written().empty());
    EXPECT_EQ(PollsLeft(), 0u);
    EXPECT_TRUE(p.platform.errors.empty());
    p.app.reset();
  }
}

TEST_F(AutoRecord, AnErrorEndsTheCaptureWithoutPollingAgain) {
  StartWith("AutoRec=oui\r\nAutoRecFormat=jpg\r\nCompression=abc\r\n", 3);
  EXPECT_EQ(p.platform.errors,
            std::vector<std::string>{"'abc' n'est pas une valeur entière correcte."});
  EXPECT_EQ(PollsLeft(), 2u);
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(p.Now(), kTray);

  p.platform.errors.clear();
  p.Settings("[Settings]\r\nAutoRec=oui\r\nSaveFilePath=/missing/folder\r\n");
  p.platform.files.refuse_reason = "No such file or directory";
  p.Tick();
  EXPECT_EQ(p.platform.errors,
            std::vector<std::string>{"Impossible de créer le fichier \"/missing/folder/07.03.2026 "
                                     "à 09h 05m 03s 045'.bmp\". No such file or directory."});
  EXPECT_EQ(PollsLeft(), 1u);
  EXPECT_EQ(p.Now(), kTray);
}

TEST_F(AutoRecord, AHeldKeyIsNotPolledUnderTheErrorBoxAndIsAgainAfterOk) {
  p.Settings("[Settings]\r\nAutoRec=oui\r\nSaveFilePath=/full/disk\r\n");
  p.Start();
  p.platform.files.refuse_reason = "No space left on device";
  p.platform.ms_per_reading = 1;
  p.platform.down[kF12] = true;
  bool under_a_box = false;
  p.platform.while_error_box = [&] {
    if (std::exchange(under_a_box, true))
      return;
    for (int tick = 0; tick < 3; ++tick)
      p.Tick();
  };
  p.Tick();
  EXPECT_EQ(p.platform.errors.size(), 1u);  // not one more box per tick
  EXPECT_TRUE(p.platform.timer_on);
  EXPECT_EQ(p.Now(), kTray);
}

TEST_F(AutoRecord, TwoCapturesInOneMillisecondDoNotShareAName) {
  p.Settings("[Settings]\r\nAutoRec=oui\r\n");
  p.Start();
  const ClockReading t0{2027, 1, 1, 0, 0, 0, 5};
  p.platform.readings = {t0, t0, t0, t0, t0, t0};
  p.platform.now = {2027, 1, 1, 0, 0, 0, 6};
  p.platform.HoldFor(kF12, 2);
  p.Tick();
  const std::string base = std::string(kFolder) + "/01.01.2027 à 00h 00m 00s ";
  EXPECT_EQ(Written(), (std::vector<std::string>{base + "005'.bmp", base + "006'.bmp"}));
}

TEST_F(AutoRecord, HoldingTheKeyForLongDoesNotDeepenTheStack) {
  StartWith("AutoRec=oui\r\nAutoRecFormat=none\r\n", 100000);
  EXPECT_EQ(PollsLeft(), 0u);
  EXPECT_EQ(p.Now(), kTray);
}

}  // namespace
}  // namespace pixtrel::test
