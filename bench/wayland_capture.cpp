// Capture latency on each headless Wayland desktop: from the press (KWin's shortcut, or the
// command a desktop's key binding runs elsewhere) to the auto-record file, against the
// compositor's own capture of the same screen; and the rate of a held shortcut on KWin.
//   wayland_capture [kwin|sway|gnome...]   (all three by default; PRESSES=20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/wayland_session.h"

namespace {

using pixtrel::test::WaylandSession;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Figures {
  double median, low, high;
};

Figures Of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

std::size_t Files(const std::string& folder) {
  return pixtrel::test::FileExists(folder) ? pixtrel::test::ListFolder(folder).size() : 0;
}

void Measure(WaylandSession::Kind kind, const char* name, int presses) {
  WaylandSession session({.kind = kind, .tray = kind != WaylandSession::Kind::kGnome});
  const std::string folder = session.Home() / "shots";
  std::filesystem::create_directories(session.Home() / ".config");
  pixtrel::test::WriteFileBytes(
      session.Home() / ".config/Pixtrel.cfg",
      "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + folder + "\r\n");
  session.StartProgram();
  WaylandSession::WaitFor([] { return false; }, 2500);  // up, its boxes shown

  const bool shortcut = kind == WaylandSession::Kind::kKWin;
  std::vector<double> latency, own;
  for (int i = 0; i < presses; ++i) {
    const std::size_t before = Files(folder);
    const auto start = Clock::now();
    if (shortcut)
      session.Key({88});
    else
      session.Spawn({PIXTREL_PROGRAM, "--capture", "screen"}, {}, "");
    if (!WaylandSession::WaitFor([&] { return Files(folder) > before; }, 10000)) {
      std::printf("%s: press %d wrote nothing\n", name, i + 1);
      return;
    }
    latency.push_back(Ms(Clock::now() - start));
    const auto shot = Clock::now();
    session.Screen();
    own.push_back(Ms(Clock::now() - shot));
    WaylandSession::WaitFor([] { return false; }, 200);
  }
  const Figures press = Of(latency), compositor = Of(own);
  std::printf(
      "%-5s %-9s press to file: median %6.1f ms (%5.1f-%6.1f); compositor's own capture "
      "%6.1f ms; ratio %.2f\n",
      name, shortcut ? "shortcut" : "command", press.median, press.low, press.high,
      compositor.median, press.median / compositor.median);

  if (shortcut) {
    const std::size_t before = Files(folder);
    const auto start = Clock::now();
    session.KeyDown(88);
    WaylandSession::WaitFor([] { return false; }, 3000);
    session.KeyUp(88);
    const double seconds = Ms(Clock::now() - start) / 1000;
    WaylandSession::WaitFor([] { return false; }, 500);
    std::printf("%-5s held shortcut: %zu files in %.1f s, %.1f a second\n", name,
                Files(folder) - before, seconds, (Files(folder) - before) / seconds);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int presses = std::getenv("PRESSES") ? std::atoi(std::getenv("PRESSES")) : 20;
  std::vector<std::string> desktops(argv + 1, argv + argc);
  if (desktops.empty())
    desktops = {"kwin", "sway", "gnome"};
  for (const std::string& desktop : desktops) {
    if (desktop == "kwin")
      Measure(WaylandSession::Kind::kKWin, "kwin", presses);
    else if (desktop == "sway")
      Measure(WaylandSession::Kind::kSway, "sway", presses);
    else if (desktop == "gnome")
      Measure(WaylandSession::Kind::kGnome, "gnome", presses);
  }
}
