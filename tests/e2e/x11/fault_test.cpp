// The real program when the system fails under it: the X server dies, it is told to end, the
// disk fills while a held key records. It says so in its own words and loses nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/desktop.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
// A 32-bit capture of the whole screen, as a BMP file.
constexpr std::size_t kBmpBytes = 54 + std::size_t{kWidth} * kHeight * 4;

std::string AutoRecordInto(const std::string& folder) {
  return "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + folder + "\r\n";
}

// Every file must be whole: no partial capture, no temporary left beside them.
void ExpectOnlyWholeCaptures(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    EXPECT_NE(name.front(), '.') << "a temporary was left: " << name;
    EXPECT_EQ(ReadFileBytes(folder + "/" + name).size(), kBmpBytes) << name;
  }
}

TEST(Faults, ALostXServerEndsTheProgramWithOneLineAndCodeOne) {
  Desktop desktop(kWidth, kHeight, {.tray = false});
  desktop.Start();
  const auto lost = std::chrono::steady_clock::now();
  desktop.KillServer();
  const std::optional<int> code = desktop.WaitForExit(1000);
  const auto took = std::chrono::steady_clock::now() - lost;
  ASSERT_TRUE(code.has_value()) << "still running a second after its X server died";
  EXPECT_EQ(*code, 1);  // and no signal, so no core dump either
  EXPECT_LT(took, std::chrono::seconds(1));
  const std::string log = desktop.Log();
  EXPECT_TRUE(
      log.ends_with("\nPixtrel : la connexion à l'écran X est perdue ; fin du programme.\n"))
      << log;
}

TEST(Faults, TerminationSignalsEndCleanlyEvenDuringAHeldKeyRecord) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
    Desktop desktop(kWidth, kHeight);
    const std::string shots = desktop.Home() / "shots";
    std::filesystem::create_directories(shots);
    desktop.WriteSettings(AutoRecordInto(shots));
    desktop.Start();
    ASSERT_TRUE(desktop.Xdo("keydown F12"));
    ASSERT_TRUE(Desktop::WaitFor([&] { return ListFolder(shots).size() >= 2; }));
    desktop.Signal(signal);
    const std::optional<int> code = desktop.WaitForExit(3000);
    desktop.Xdo("keyup F12");
    ASSERT_TRUE(code.has_value()) << "the held key kept it from ending";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(Desktop::WaitFor([&] { return !desktop.TrayIconShown(); }))
        << "its icon stayed in the tray";
    ExpectOnlyWholeCaptures(shots);
  }
}

// A small disk of its own, unmounted whatever happens.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const char* size) : folder_(folder) {
    std::filesystem::create_directories(folder);
    mounted_ = std::system(("mount -t tmpfs -o size=" + std::string(size) + " tmpfs '" + folder +
                            "' 2>/dev/null")
                               .c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) [[maybe_unused]]
      const int ignored = std::system(("umount '" + folder_ + "'").c_str());
  }
  bool Mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST(Faults, AFullDiskStopsAHeldKeyRecordWithTheWriteErrorAndLosesNothing) {
  Desktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  // Room for three captures and a part of a fourth.
  SmallDisk disk(shots, "3400k");
  if (!disk.Mounted())
    GTEST_SKIP() << "no right to mount a small disk here";
  desktop.WriteSettings(AutoRecordInto(shots));
  desktop.Start();
  ASSERT_TRUE(desktop.Xdo("keydown F12"));
  const bool boxed = Desktop::WaitFor([&] { return desktop.Window("Pixtrel").viewable; });
  desktop.Xdo("keyup F12");
  ASSERT_TRUE(boxed) << "no error box";
  desktop.Shot("full-disk-error");
  std::vector<std::string> kept = ListFolder(shots);
  EXPECT_EQ(kept.size(), 3u);
  ExpectOnlyWholeCaptures(shots);

  // OK, then room again: the key is still polled and the next capture lands.
  ASSERT_TRUE(desktop.Xdo("key Return"));
  ASSERT_TRUE(Desktop::WaitFor([&] { return !desktop.Window("Pixtrel").viewable; }));
  std::remove((shots + "/" + kept.back()).c_str());
  kept.pop_back();
  const std::vector<std::string> before = ListFolder(shots);
  ASSERT_TRUE(desktop.Xdo("key F12"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return ListFolder(shots).size() == before.size() + 1; }));
  ExpectOnlyWholeCaptures(shots);
}

}  // namespace
}  // namespace pixtrel::test
