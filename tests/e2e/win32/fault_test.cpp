// Pixtrel.exe under wine when the system fails under it: another program holds the clipboard,
// the disk fills while a held key records. It says so in its own words, loses nothing, and
// goes on polling.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/desktop.h"
#include "support/pictures.h"
#include "support/wine_desktop.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
const std::string kViewer = "  Pixtrel v1.2";

// The driver, to its end; whether it did what it was asked.
bool Do(const WineDesktop& desktop, const std::vector<std::string>& args) {
  const DriverResult result = desktop.Driver(args);
  EXPECT_TRUE(result.Ok()) << args.front() << ": " << result.err;
  return result.Ok();
}

// The error box once it is up; empty fields after the timeout.
Fields ErrorBox(const WineDesktop& desktop) {
  Fields box;
  Desktop::WaitFor([&] {
    const DriverResult result = desktop.Driver({"messagebox-text"});
    box = result.Reply();
    return result.Ok();
  });
  return box;
}

TEST(PixtrelExeFaults, AClipboardHeldByAnotherProgramIsReportedAndTheNextCaptureLands) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  {
    Process holder = desktop.DriverInBackground({"hold-clipboard", "4000"});
    ASSERT_TRUE(Do(desktop, {"key", "F12"}));
    const Fields box = ErrorBox(desktop);
    EXPECT_EQ(box.Text("caption"), "Pixtrel");
    EXPECT_EQ(box.Text("text"), "Impossible d'ouvrir le Presse-papiers.");
    EXPECT_EQ(box.Text("buttons"), "OK");
    desktop.Shot("exe_clipboard_held");
    // The capture ended there: no viewer, and the program stays in the tray.
    EXPECT_FALSE(desktop.Window(kViewer).Flag("visible"));
    EXPECT_TRUE(desktop.TrayIconShown());
    ASSERT_TRUE(Do(desktop, {"messagebox-ok"}));
    EXPECT_EQ(holder.WaitForExit(10000), 0) << holder.Output();
  }
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(Do(desktop, {"wait-window", kViewer, "visible"}));
  EXPECT_EQ(Differences(desktop.Clipboard(), before), 0);
  EXPECT_FALSE(desktop.Driver({"messagebox-text"}).Ok());
}

// The captures a folder holds, each one whole; and nothing else there, no temporary either.
void ExpectOnlyWholeCaptures(const std::string& folder, std::size_t count) {
  const std::vector<std::string> names = ListFolder(folder);
  EXPECT_EQ(names.size(), count);
  for (const std::string& name : names) {
    EXPECT_TRUE(name.ends_with("'.bmp")) << name;
    EXPECT_EQ(DecodeImage(ReadFileBytes(folder + "/" + name)).Width(), kWidth) << name;
  }
}

TEST(PixtrelExeFaults, AFullDiskStopsAHeldKeyRecordWithTheWriteErrorAndLosesNothing) {
  WineDesktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  // Room for three captures and a part of a fourth.
  SmallDisk disk(shots, "3400k");
  if (!disk.Mounted())
    GTEST_SKIP() << "no right to mount a small disk here";
  desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" +
                        WineDesktop::WindowsPath(shots) + "\r\n");
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  ASSERT_TRUE(Do(desktop, {"keydown", "F12"}));
  const Fields box = ErrorBox(desktop);
  Do(desktop, {"keyup", "F12"});
  EXPECT_EQ(box.Text("caption"), "Pixtrel");
  EXPECT_EQ(box.Text("text"), "Erreur d'écriture dans le flux.");
  desktop.Shot("exe_full_disk_error");
  ExpectOnlyWholeCaptures(shots, 3);

  // OK, then room again: the key is still polled and the next capture lands.
  ASSERT_TRUE(Do(desktop, {"messagebox-ok"}));
  std::remove((shots + "/" + ListFolder(shots).back()).c_str());
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  EXPECT_TRUE(Desktop::WaitFor([&] { return ListFolder(shots).size() == 3; }));
  ExpectOnlyWholeCaptures(shots, 3);
  EXPECT_FALSE(desktop.Driver({"messagebox-text"}).Ok());
}

}  // namespace
}  // namespace pixtrel::test
