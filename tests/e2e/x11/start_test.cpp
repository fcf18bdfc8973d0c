// How the program starts: its command line, and its word under a Wayland session.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/desktop.h"

namespace pixtrel::test {
namespace {

const std::string kUsage =
    "Usage : pixtrel [--help | --version | --capture screen|window|client|region | "
    "--preferences | --quit]\n";
const std::string kViewer = "  Pixtrel v1.2";

struct Ended {
  int code = -1;
  std::string out, err;
};

// The program with these arguments, and no X display at all: what they print needs none.
Ended RunWith(const std::string& arguments) {
  TempFolder home;
  const std::string out = home / "out", err = home / "err";
  const int status =
      std::system(("env -i HOME='" + home.Path() + "' PATH=/usr/bin:/bin '" + PIXTREL_PROGRAM +
                   "' " + arguments + " >'" + out + "' 2>'" + err + "'")
                      .c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(out), ReadFileBytes(err)};
}

TEST(Start, HelpAndVersionPrintAndEndWithZeroAnyOtherArgumentsWithTheUsageAndTwo) {
  const Ended help = RunWith("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.out.rfind(kUsage, 0), 0u) << help.out;
  // Where this user's settings file is.
  EXPECT_NE(help.out.find("/.config/Pixtrel.cfg\n"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");

  const Ended version = RunWith("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "Pixtrel " PIXTREL_VERSION "\n");
  EXPECT_EQ(version.err, "");

  for (const char* arguments : {"--bogus", "-h", "''", "--help --version", "--version x"}) {
    SCOPED_TRACE(arguments);
    const Ended wrong = RunWith(arguments);
    EXPECT_EQ(wrong.code, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err, kUsage);
  }
}

TEST(Start, UnderAWaylandSessionABoxAndALineSayCapturesNeedX11AndTheHotkeyStillWorks) {
  struct Case {
    std::string variable;
    bool warned;
  };
  for (const Case& c :
       {Case{"XDG_SESSION_TYPE=wayland", true}, Case{"WAYLAND_DISPLAY=wayland-0", true},
        Case{"XDG_SESSION_TYPE=x11", false}}) {
    SCOPED_TRACE(c.variable);
    Desktop desktop(640, 400);
    // A wayland-0 with no compositor behind it: the program must stay on X all the same.
    desktop.Start({c.variable});
    const bool boxed = Desktop::WaitFor([&] { return desktop.Window("Pixtrel").viewable; },
                                        c.warned ? 5000 : 1000);
    EXPECT_EQ(boxed, c.warned);
    const std::string line =
        "Pixtrel : Les captures demandent une session X11 : sous Wayland, Pixtrel ne voit ni les "
        "fenêtres ni les touches des autres programmes, et ses copies sortent noires.\n";
    EXPECT_EQ(desktop.Log().find(line) != std::string::npos, c.warned) << desktop.Log();
    if (boxed) {
      desktop.Shot("wayland_warning");
      ASSERT_TRUE(desktop.Xdo("key Return"));
      ASSERT_TRUE(Desktop::WaitFor([&] { return !desktop.Window("Pixtrel").viewable; }));
    }
    ASSERT_TRUE(desktop.Xdo("key F12"));
    EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Window(kViewer).viewable; }));
  }
}

}  // namespace
}  // namespace pixtrel::test
