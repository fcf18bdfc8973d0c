// Pixtrel.exe under wine, held to what real Windows asks where wine lets it pass: clipboard
// readers that read every change, other code pages, the taskbar and the foreground, files other
// programs hold, modal dialogs, the mouse capture, the mail link, and a clean, quick end.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/desktop.h"
#include "support/pictures.h"
#include "support/wine_desktop.h"

namespace pixtrel::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
const std::string kViewer = "  Pixtrel v1.2";
const std::string kOverlay = "Form4";
const std::string kPreferences = "  Préférences...";
// Centred the first time, and frameless.
constexpr ui::Rect kViewerRect{220, 116, 200, 167};
constexpr ui::Point kSaveAsButton{84, 8};
constexpr ui::Point kQuitButton{192, 6};
const std::regex kStamp(R"(\d\d\.\d\d\.\d{4} à \d\dh \d\dm \d\ds \d\d\d'\.(bmp|jpg))");

std::string N(int number) {
  return std::to_string(number);
}

bool Do(const WineDesktop& desktop, const std::vector<std::string>& args) {
  const DriverResult result = desktop.Driver(args);
  EXPECT_TRUE(result.Ok()) << args.front() << ": " << result.err;
  return result.Ok();
}

bool WaitWindow(const WineDesktop& desktop, const std::string& title,
                const std::string& state = "visible") {
  return Do(desktop, {"wait-window", title, state});
}

bool ClickViewer(const WineDesktop& desktop, ui::Point at) {
  return Do(desktop, {"click", N(kViewerRect.left + at.x), N(kViewerRect.top + at.y)});
}

Fields ErrorBox(const WineDesktop& desktop) {
  Fields box;
  Desktop::WaitFor([&] {
    const DriverResult result = desktop.Driver({"messagebox-text"});
    box = result.Reply();
    return result.Ok();
  });
  return box;
}

std::vector<std::string> Captures(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& name : FileExists(folder) ? ListFolder(folder) : names) {
    if (name.ends_with(".bmp") || name.ends_with(".jpg"))
      names.push_back(name);
  }
  return names;
}

// A right click on the icon, until its menu is up. Wine's stand-in for the tray host's panel
// may place the icon's events where the panel was before the icon docked: a move of the panel
// and back tells it where the panel is.
bool OpenTrayMenu(const WineDesktop& desktop) {
  const std::string panel = "search --classname '^panel$' windowmove --relative %@ ";
  return Desktop::WaitFor(
      [&] {
        desktop.Xdo(panel + "-1 0 " + panel + "1 0 sleep 0.2");
        const ui::Point icon = desktop.TrayIconCentre();
        desktop.Xdo("mousemove " + N(icon.x) + " " + N(icon.y) + " click 3");
        return Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }, 3000);
      },
      10000);
}

bool OpenConfig(const WineDesktop& desktop) {
  return OpenTrayMenu(desktop) && Do(desktop, {"menu-item", "#1"}) &&
         WaitWindow(desktop, kPreferences);
}

// The program's taskbar buttons, and which window is in front.
struct Taskbar {
  std::vector<std::string> buttons;
  std::vector<std::string> windows;  // each button's window, by number
  std::string foreground;
};

Taskbar TaskbarOf(const WineDesktop& desktop) {
  Taskbar taskbar;
  for (const Fields& line : desktop.Driver({"taskbar", kViewer}).Lines()) {
    if (line.Has("button")) {
      taskbar.buttons.push_back(line.Text("button"));
      taskbar.windows.push_back(line.Text("hwnd"));
    } else if (line.Has("foreground")) {
      taskbar.foreground = line.Text("foreground");
    }
  }
  return taskbar;
}

TEST(OnWindows, ClipboardReadersAreAnsweredBetweenHeldKeyCapturesAndEachReadsTheScreen) {
  WineDesktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" +
                        WineDesktop::WindowsPath(shots) + "\r\n");
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  Process readers = desktop.DriverInBackground({"clipboard-readers", "3000"});
  ASSERT_TRUE(Do(desktop, {"keydown", "F12"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  ASSERT_TRUE(Do(desktop, {"keyup", "F12"}));
  const std::optional<Fields> seen = readers.WaitForLine("updates", 10000);
  ASSERT_TRUE(seen) << readers.Output();
  std::cout << readers.Output();
  // Each capture empties the clipboard before it places the picture: a reader may find it
  // empty, or already holding the next picture, but every picture it reads is the screen.
  EXPECT_GE(seen->Number("read"), 5);
  EXPECT_EQ(seen->Number("equal"), seen->Number("read"));
  EXPECT_GE(seen->Number("sent"), 20);
  EXPECT_EQ(seen->Number("slow"), 0)
      << "answers that took over 200 ms; longest " << seen->Number("longest_ms") << " ms";
  EXPECT_EQ(seen->Number("unanswered"), 0);
  EXPECT_FALSE(desktop.Driver({"messagebox-text"}).Ok()) << "the record stopped with a box";
  EXPECT_GE(Captures(shots).size(), 5u);
}

TEST(OnWindows, ATaskbarButtonShowsWhileAWindowIsUpAndItsMinimiseGoesBackToTheTray) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  EXPECT_TRUE(TaskbarOf(desktop).buttons.empty());

  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  Taskbar taskbar = TaskbarOf(desktop);
  EXPECT_EQ(taskbar.buttons, std::vector<std::string>{"Pixtrel"});
  EXPECT_EQ(taskbar.foreground, kViewer);
  ASSERT_EQ(taskbar.windows.size(), 1u);

  // The button's minimise, as the taskbar sends it: back in the tray, and polling.
  ASSERT_TRUE(Do(desktop, {"syscommand", taskbar.windows[0], "minimize"}));
  EXPECT_TRUE(WaitWindow(desktop, kViewer, "hidden"));
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.TrayIconShown(); }));
  EXPECT_TRUE(Desktop::WaitFor([&] { return TaskbarOf(desktop).buttons.empty(); }));
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  EXPECT_TRUE(WaitWindow(desktop, kViewer));
  taskbar = TaskbarOf(desktop);
  EXPECT_EQ(taskbar.buttons, std::vector<std::string>{"Pixtrel"});
  EXPECT_EQ(taskbar.foreground, kViewer);
}

TEST(OnWindows, SaveAsWritesOverAFileAViewerHoldsButNotOneHeldWhollyNorInAMissingFolder) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  const Bitmap before = desktop.Screen();
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  const std::string held = desktop.Home() / "held.bmp";
  const struct {
    const char* share;  // how another program holds the file; "" for a missing folder
    bool lands;
  } rows[] = {{"rw", true}, {"none", false}, {"", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(*row.share != '\0' ? row.share : "missing folder");
    const std::string path = *row.share != '\0' ? held : desktop.Home() / "missing/shot.bmp";
    std::optional<Process> holder;
    if (*row.share != '\0') {
      WriteFileBytes(held, "old");
      holder.emplace(desktop.DriverInBackground(
          {"hold-file", WineDesktop::WindowsPath(held), "20000", row.share}));
    }
    ASSERT_TRUE(ClickViewer(desktop, kSaveAsButton));
    ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }));
    ASSERT_TRUE(Do(desktop, {"menu-item", "#0"}));  // "*.BMP"
    ASSERT_TRUE(WaitWindow(desktop, "Save As"));
    ASSERT_TRUE(Do(desktop, {"type", WineDesktop::WindowsPath(path)}));
    ASSERT_TRUE(Do(desktop, {"keys", "RETURN"}));
    if (row.lands) {
      EXPECT_TRUE(Desktop::WaitFor([&] { return ReadFileBytes(held).size() > 3; }));
      EXPECT_EQ(Differences(DecodeImage(ReadFileBytes(held)), before), 0);
    } else {
      const Fields box = ErrorBox(desktop);
      const std::string start =
          "Impossible de créer le fichier \"" + WineDesktop::WindowsPath(path) + "\". ";
      EXPECT_TRUE(box.Text("text").starts_with(start)) << box.Text("text");
      desktop.Shot(std::string("exe_save_over_held_") + (*row.share ? row.share : "missing"));
      ASSERT_TRUE(Do(desktop, {"messagebox-ok"}));
      if (*row.share != '\0')
        EXPECT_EQ(ReadFileBytes(held), "old");
      else
        EXPECT_FALSE(FileExists(desktop.Home() / "missing"));
    }
    EXPECT_TRUE(WaitWindow(desktop, "Save As", "gone"));
    for (const std::string& name : ListFolder(desktop.Home().Path()))
      EXPECT_FALSE(name.ends_with(".tmp")) << name;
  }
}

TEST(OnWindows, UnderTheSaveDialogTheOverlayTakesNoDrag) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  ASSERT_TRUE(Do(desktop, {"key", "F12", "shift"}));
  ASSERT_TRUE(WaitWindow(desktop, kOverlay));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  ASSERT_TRUE(ClickViewer(desktop, kSaveAsButton));
  ASSERT_TRUE(Desktop::WaitFor([&] { return desktop.Driver({"menu"}).Ok(); }));
  ASSERT_TRUE(Do(desktop, {"menu-item", "#0"}));
  ASSERT_TRUE(WaitWindow(desktop, "Save As"));
  desktop.Shot("exe_save_dialog_over_overlay");
  // A corner of the overlay that neither the viewer nor the dialog covers.
  const ui::Rect dialog = desktop.Window("Save As").Rect();
  const int x = dialog.left > 130 ? 10 : kWidth - 120;
  const std::string drag = "mousemove " + N(x) + " 10 mousedown 1 sleep 0.1 mousemove " +
                           N(x + 50) + " 40 sleep 0.1 mousemove " + N(x + 100) +
                           " 70 sleep 0.1 mouseup 1 sleep 0.5";
  ASSERT_TRUE(desktop.Xdo(drag));
  EXPECT_NE(desktop.Clipboard().Width(), 100) << "the drag went through to the overlay";
  ASSERT_TRUE(Do(desktop, {"keys", "ESCAPE"}));
  ASSERT_TRUE(WaitWindow(desktop, "Save As", "gone"));
  // With the dialog gone the same drag takes its rectangle.
  ASSERT_TRUE(desktop.Xdo(drag));
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Clipboard().Width() == 100; }));
}

TEST(OnWindows, TheRightButtonDragsTheViewerOnlyWhileThePointerIsOverThePicture) {
  WineDesktop desktop(kWidth, kHeight);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  // Pressed on the picture, released far outside the window: no capture, so neither the move
  // nor the release reach it, and the drag stays open.
  ASSERT_TRUE(
      desktop.Xdo("mousemove 320 200 sleep 0.2 mousedown 3 sleep 0.2 mousemove 600 380 "
                  "sleep 0.2 mouseup 3 sleep 0.3"));
  EXPECT_EQ(desktop.Window(kViewer).Rect(), kViewerRect);
  // Over the picture again, with no button held, the window follows the pointer.
  ASSERT_TRUE(desktop.Xdo("mousemove 330 210 sleep 0.1 mousemove 335 215"));
  const ui::Rect moved{kViewerRect.left + 15, kViewerRect.top + 15, 200, 167};
  EXPECT_TRUE(Desktop::WaitFor([&] { return desktop.Window(kViewer).Rect() == moved; }))
      << desktop.Window(kViewer).Rect().left;
}

TEST(OnWindows, TheContactLabelHandsTheDefaultMailProgramItsAddress) {
  WineDesktop desktop(kWidth, kHeight);
  const std::string mail = desktop.Home() / "mail.txt";
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  Process handler =
      desktop.DriverInBackground({"mail-handler", WineDesktop::WindowsPath(mail), "15000"});
  ASSERT_TRUE(OpenConfig(desktop));
  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Infos"}));
  ASSERT_TRUE(WaitWindow(desktop, "  About..."));
  ASSERT_TRUE(Do(desktop, {"click-child", "  About...", "pixtrel@users.noreply.example"}));
  EXPECT_TRUE(handler.WaitForLine("recorded", 20000)) << handler.Output();
  EXPECT_EQ(ReadFileBytes(mail), "mailto:pixtrel@users.noreply.example\n");
}

// The program's log holds what wine's heap checking saw; the lines that tell of a fault.
std::vector<std::string> HeapFaults(const std::string& log) {
  std::vector<std::string> faults;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos)
      end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.find(":heap:") != std::string::npos || line.find("Unhandled") != std::string::npos)
      faults.push_back(line);
    start = end + 1;
  }
  return faults;
}

TEST(OnWindows, BothWaysOutEndCleanlyUnderHeapChecksAndLeaveTheLastPictureOnTheClipboard) {
  WineDesktop desktop(kWidth, kHeight);
  const std::string shots = desktop.Home() / "shots";
  const std::vector<std::string> heap_checks{"WINEDEBUG=warn+heap,err+heap"};
  desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=bmp\r\nSaveFilePath=" +
                        WineDesktop::WindowsPath(shots) + "\r\n");
  desktop.Start(PIXTREL_WIN32_PROGRAM, {}, heap_checks);
  const Bitmap before = desktop.Screen();
  // Two auto-record captures, a capture for the viewer, and another program's read.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(Do(desktop, {"key", "F12"}));
    ASSERT_TRUE(Desktop::WaitFor([&] { return Captures(shots).size() > std::size_t(i); }));
  }
  desktop.WriteSettings("[Settings]\r\nAutoRec=non\r\n");
  ASSERT_TRUE(Do(desktop, {"key", "F12"}));
  ASSERT_TRUE(WaitWindow(desktop, kViewer));
  ASSERT_EQ(Differences(desktop.Clipboard(), before), 0);

  const auto clicked = std::chrono::steady_clock::now();
  ASSERT_TRUE(ClickViewer(desktop, kQuitButton));
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - clicked)
                      .count();
  // The driver's click itself takes a part of it; bench/exit_win32 measures the program alone.
  std::cout << "from the click on x to the end: " << ms << " ms\n";
  RecordProperty("exit_ms", static_cast<int>(ms));
  EXPECT_EQ(Differences(desktop.Clipboard(), before), 0) << "gone with the program";
  EXPECT_EQ(HeapFaults(desktop.Log()), std::vector<std::string>{});

  // Started again, and closed from the tray's menu.
  desktop.Start(PIXTREL_WIN32_PROGRAM, {}, heap_checks);
  ASSERT_TRUE(OpenTrayMenu(desktop));
  ASSERT_TRUE(Do(desktop, {"menu-item", "#2"}));  // "Close..."
  EXPECT_EQ(desktop.WaitForExit(), 0) << desktop.Log();
  EXPECT_EQ(HeapFaults(desktop.Log()), std::vector<std::string>{});
}

// ---- code pages

struct Locale {
  const char* name;
  int code_page;
};

TEST(OnWindows, UnderOtherCodePagesNamesKeepTheirAccentAndCaptionsStayFrench) {
  for (const Locale locale : {Locale{"ru_RU.UTF-8", 1251}, Locale{"ja_JP.UTF-8", 932}}) {
    SCOPED_TRACE(locale.name);
    WineDesktop desktop(kWidth, kHeight, locale.name);
    ASSERT_EQ(desktop.Driver({"info"}).Reply().Number("code_page"), locale.code_page)
        << "the locale is missing: tools/test makes it";
    const std::string shots = desktop.Home() / "shots";
    desktop.WriteSettings("[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=" +
                          WineDesktop::WindowsPath(shots) + "\r\n");
    desktop.Start(PIXTREL_WIN32_PROGRAM);
    ASSERT_TRUE(Do(desktop, {"key", "F12"}));
    ASSERT_TRUE(Desktop::WaitFor([&] { return !Captures(shots).empty(); }));
    EXPECT_FALSE(desktop.Driver({"messagebox-text"}).Ok());
    const std::vector<std::string> names = Captures(shots);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], kStamp)) << names[0];

    ASSERT_TRUE(OpenConfig(desktop));
    EXPECT_EQ(desktop.Window(kPreferences).Text("title"), kPreferences);
    std::vector<std::string> texts;
    for (const Fields& control : desktop.Driver({"children", kPreferences}).Lines())
      texts.push_back(control.Text("text"));
    for (const char* french :
         {"  Répertoire d'enregistrement  ", " =  capture la fenêtre active et son cadre.",
          "Bord blanc en mode 'sélection souris'."}) {
      EXPECT_NE(std::find(texts.begin(), texts.end(), french), texts.end()) << french;
    }
    desktop.Shot(std::string("exe_preferences_") + locale.name);
  }
}

TEST(OnWindows, AFolderTheCodePageCannotHoldIsRefusedWithABoxAndTheFileKept) {
  WineDesktop desktop(kWidth, kHeight);
  ASSERT_EQ(desktop.Driver({"info"}).Reply().Number("code_page"), 1252);
  const std::string settings = "[Settings]\r\nAutoRec=oui\r\nCompression=80\r\n";
  desktop.WriteSettings(settings);
  desktop.Start(PIXTREL_WIN32_PROGRAM);
  ASSERT_TRUE(OpenConfig(desktop));
  const std::string folder = "C:\\Фото";
  ASSERT_TRUE(Do(desktop, {"focus-child", kPreferences, "#111"}));
  ASSERT_TRUE(Do(desktop, {"keys", "HOME", "shift+END"}));
  ASSERT_TRUE(Do(desktop, {"type", folder}));
  ASSERT_TRUE(Desktop::WaitFor([&] {
    return desktop.Driver({"child", kPreferences, "#111"}).Reply().Text("text") == folder;
  }));
  ASSERT_TRUE(Do(desktop, {"click-child", kPreferences, "Ok"}));
  const Fields box = ErrorBox(desktop);
  EXPECT_EQ(box.Text("text"),
            "Le nom \"C:\\Фото\" ne peut pas être enregistré dans Pixtrel.cfg : il contient des "
            "caractères que la page de code du système ne connaît pas.");
  desktop.Shot("exe_folder_the_code_page_lacks");
  ASSERT_TRUE(Do(desktop, {"messagebox-ok"}));
  EXPECT_EQ(ReadFileBytes(desktop.SettingsPath()), settings);
  EXPECT_TRUE(desktop.Window(kPreferences).Flag("visible"));
}

}  // namespace
}  // namespace pixtrel::test
