#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/program.h"

namespace pixtrel::test {
namespace {

TEST(StartUp, ShowsNothingButTheIconAndPollsF12) {
  Program p;
  p.Start();
  EXPECT_EQ(p.app->Title(), "Pixtrel");
  EXPECT_EQ(p.Now(), kTray);
  EXPECT_EQ(p.platform.TrayTip(), "F12 to snap...");
  EXPECT_EQ(HotkeyCode, 0x7B);
  EXPECT_EQ(Form1->DragOrigin.left, -1);
  EXPECT_EQ(Form1->DragCursor, (ui::Point{-1, -1}));
  EXPECT_EQ(Form1->TrayIconData.size, 88u);
  EXPECT_EQ(Form1->TrayIconData.flags, 7u);
  EXPECT_EQ(Form1->TrayIconData.callback_message, 0x200u);
  // The first Run deletes an icon that is not there yet, then adds it.
  EXPECT_EQ(p.platform.tray, (std::vector<std::string>{"delete", "add F12 to snap..."}));
  EXPECT_TRUE(p.platform.errors.empty());
}

TEST(StartUp, ARefusedTimerIsReportedAndNoIconIsAdded) {
  Program p;
  p.platform.timer_refused = true;
  p.Start();
  EXPECT_EQ(p.platform.errors, std::vector<std::string>{"Pas assez de timers disponibles."});
  EXPECT_FALSE(p.platform.TrayShown());
  EXPECT_FALSE(Form1->Visible());
  EXPECT_FALSE(Form1->InTray);
  ASSERT_NE(Form3, nullptr);  // the other windows are created all the same
}

TEST(Hotkey, TheNameInTheSettingsPicksTheKeyAndTheTooltip) {
  struct Case {
    std::optional<std::string> file;
    std::uint8_t code;
    std::string tip;
  };
  const Case cases[] = {
      {std::nullopt, 0x7B, "F12 to snap..."},
      {"[Settings]\r\nAutoRec=non\r\n", 0x7B, "F12 to snap..."},
      {"[Settings]\r\nPixtrel=Impr.Ecr\r\n", 0x2C, "Impr.Ecr to snap..."},
      {"[settings]\r\nPIXTREL=Echap\r\n", 0x1B, "Echap to snap..."},
      {"[Settings]\r\nPixtrel=echap\r\n", 0x7B, "echap to snap..."},
      {"[Settings]\r\nPixtrel=f12\r\n", 0x7B, "f12 to snap..."},
      {"[Settings]\r\nPixtrel=\r\n", 0x7B, " to snap..."},
      {"[Settings]\r\nPixtrel=Mouse.L\r\n", 0x01, "Mouse.L to snap..."},
      {"[Settings]\r\nPixtrel=Home\r\n", 0x7B, "Home to snap..."},
      // 60 characters: the tip keeps its first 63 in all.
      {"[Settings]\r\nPixtrel=" + std::string(60, 'k') + "\r\n", 0x7B,
       std::string(60, 'k') + " to"},
  };
  for (const Case& c : cases) {
    Program p;
    if (c.file)
      p.Settings(*c.file);
    p.Start();
    EXPECT_EQ(HotkeyCode, c.code) << c.tip;
    EXPECT_EQ(p.platform.TrayTip(), c.tip);
    EXPECT_EQ(Form1->TrayIconData.tip[63], '\0');
  }
}

TEST(Hotkey, APressBetweenTwoPollsStillCountsAndAnUnpressedKeyDoesNothing) {
  Program p;
  p.Start();
  p.Tick();
  EXPECT_EQ(p.Now(), kTray);
  p.platform.Press(0x7B);  // down and up again since the last poll
  p.Tick();
  EXPECT_EQ(p.Now(), kViewer);
}

// Every row of the transition table, from a state reached the way a user reaches it.
TEST(Transitions, EveryRowLeadsWhereItShould) {
  using Step = std::function<void(Program&)>;
  const Step to_tray = [](Program&) {};
  const Step to_viewer = [](Program& p) { p.PressHotkey(); };
  const Step to_selection = [](Program& p) { p.PressHotkey(kShift); };
  const Step to_prefs_from_viewer = [](Program& p) {
    p.PressHotkey();
    p.Click(Form1->Button3);
  };
  const Step to_prefs_from_tray = [](Program& p) { p.Click(Form1->Config1); };
  struct Row {
    const char* what;
    Step from;
    Step event;
    State to;
  };
  const Row rows[] = {
      {"tray, hotkey", to_tray, [](Program& p) { p.PressHotkey(); }, kViewer},
      {"tray, shift hotkey", to_tray, [](Program& p) { p.PressHotkey(kShift); }, kSelection},
      {"tray, hotkey with auto-record", to_tray,
       [](Program& p) {
         p.Settings("[Settings]\r\nAutoRec=oui\r\n");
         p.PressHotkey();
       },
       kTray},
      {"tray, left click on the icon", to_tray, [](Program& p) { p.TrayMouse(514); }, kViewer},
      {"tray, right click on the icon", to_tray, [](Program& p) { p.TrayMouse(517); }, kTray},
      {"tray, Restore", to_tray, [](Program& p) { p.Click(Form1->Restore1); }, kViewer},
      {"tray, Config", to_tray, [](Program& p) { p.Click(Form1->Config1); }, kPrefsFromTray},
      {"viewer, Run", to_viewer, [](Program& p) { p.Click(Form1->Button1); }, kTray},
      {"viewer, -", to_viewer, [](Program& p) { p.Click(Form1->Button5); }, kTray},
      {"selection, Run", to_selection, [](Program& p) { p.Click(Form1->Button1); }, kTray},
      {"viewer, minimised", to_viewer,
       [](Program& p) { p.app->Dispatch([] { Form1->MinimizeToTray(); }); }, kTray},
      {"selection, minimised",
       to_selection,
       [](Program& p) { p.app->Dispatch([] { Form1->MinimizeToTray(); }); },
       {false, true, false, true, true, true, true}},
      {"viewer, Set", to_viewer, [](Program& p) { p.Click(Form1->Button3); }, kPrefsFromViewer},
      {"selection, Set",
       to_selection,
       [](Program& p) { p.Click(Form1->Button3); },
       {false, true, true, false, false, false, true}},
      {"preferences from tray, hotkey",
       to_prefs_from_tray,
       [](Program& p) { p.PressHotkey(); },
       {true, false, true, false, false, false, false}},
      {"preferences from tray, left click",
       to_prefs_from_tray,
       [](Program& p) { p.TrayMouse(514); },
       {true, false, true, false, false, false, false}},
      {"preferences from tray, Restore",
       to_prefs_from_tray,
       [](Program& p) { p.Click(Form1->Restore1); },
       {true, false, true, false, false, false, false}},
      {"preferences from viewer, hotkey", to_prefs_from_viewer, [](Program& p) { p.PressHotkey(); },
       kPrefsFromViewer},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Program p;
    p.Start();
    row.from(p);
    row.event(p);
    EXPECT_EQ(p.Now(), row.to);
    EXPECT_TRUE(p.platform.errors.empty());
  }
}

TEST(Transitions, CloseFromTheTrayOrXRemovesTheIconAndEndsTheLoop) {
  for (const bool from_tray : {true, false}) {
    Program p;
    p.Start();
    if (from_tray) {
      p.Click(Form1->Close1);
    } else {
      p.PressHotkey();
      p.Click(Form1->Button4);
    }
    EXPECT_TRUE(p.platform.quit);
    EXPECT_FALSE(p.platform.TrayShown());
    EXPECT_EQ(p.platform.tray.back(), "delete");
    p.app.reset();  // shutdown destroys the windows, the last created first
    EXPECT_EQ(Form1, nullptr);
  }
}

TEST(StartUp, TheShowCommandOnlyPresetsTheViewersState) {
  struct Case {
    int command;
    ui::WindowState state;
  };
  for (const Case& c : {Case{1, ui::WindowState::kNormal}, Case{3, ui::WindowState::kMaximized},
                        Case{7, ui::WindowState::kMinimized}, Case{6, ui::WindowState::kNormal}}) {
    Program p;
    p.Start();
    p.app->ApplyShowCommand(c.command);
    EXPECT_EQ(Form1->window_state, c.state) << c.command;
    EXPECT_EQ(p.Now(), kTray);
    // A minimised viewer is restored when a capture shows it.
    p.PressHotkey();
    EXPECT_EQ(p.Now(), kViewer);
    const bool restored = std::find(p.platform.calls.begin(), p.platform.calls.end(), "restore") !=
                          p.platform.calls.end();
    EXPECT_EQ(restored, c.command == 7);
  }
}

TEST(Transitions, ShutdownRunsThePreferencesDestroyHandler) {
  Program p;
  p.Settings("[Settings]\r\nCompression=abc\r\n");
  p.Start();
  ASSERT_EQ(p.platform.errors.size(), 1u);  // the reload at creation
  p.app.reset();
  EXPECT_EQ(p.platform.errors.size(), 2u);  // and again as it is destroyed
}

TEST(Tray, RightClickOpensTheMenuAtTheCursorBetweenForegroundAndPost) {
  Program p;
  p.Start();
  p.platform.cursor = {1800, 1050};
  for (int ignored : {512, 513, 515, 516, 518, 519, 520, 0})
    p.TrayMouse(ignored);
  EXPECT_TRUE(p.platform.popups.empty());
  EXPECT_EQ(p.Now(), kTray);
  p.TrayMouse(517);
  EXPECT_EQ(p.platform.popups, std::vector<std::string>{"PopupMenu2 at 1800,1050"});
  EXPECT_EQ(p.platform.calls, (std::vector<std::string>{"foreground", "post-null"}));
  EXPECT_EQ(Form1->DragCursor, (ui::Point{1800, 1050}));
  EXPECT_EQ(Form1->PopupMenu2.entries.size(), 3u);
  EXPECT_EQ(Form1->Close1.Caption(), "Close...");
}

TEST(Tray, RunWhileInTheTrayReplacesTheIconAndKeepsTheTimersPhase) {
  Program p;
  p.Start();
  p.Settings("[Settings]\r\nPixtrel=F5\r\n");
  p.app->Dispatch([] { Form1->Run(); });
  EXPECT_EQ(p.platform.TrayTip(), "F5 to snap...");
  EXPECT_EQ(HotkeyCode, 0x74);
  EXPECT_EQ(p.platform.timer_starts, 1);
}

TEST(Tray, ANewHotkeyTakesEffectOnlyAtTheNextRun) {
  Program p;
  p.Start();
  p.Settings("[Settings]\r\nPixtrel=F5\r\n");
  p.platform.Press(0x74);
  p.Tick();
  EXPECT_EQ(p.Now(), kTray);
  p.PressHotkey();
  EXPECT_EQ(p.Now(), kViewer);
  p.Click(Form1->Button1);
  p.platform.Press(0x74);
  p.Tick();
  EXPECT_EQ(p.Now(), kViewer);
}

TEST(Windows, WhatTheSystemReportsMeansTheSameOnEveryPlatform) {
  Program p;
  p.Start();
  // A close request: the about box has no close handler, so it only hides.
  p.Click(Form1->Config1);
  p.Click(Form2->Infos);
  ASSERT_TRUE(Form3->Visible());
  p.platform.UserCloses(*Form3);
  EXPECT_FALSE(Form3->Visible());
  EXPECT_FALSE(p.platform.quit);
  // The system's minimise of the viewer is the application's: once, back to the tray.
  p.PressHotkey();
  ASSERT_EQ(p.Now(), kViewer);
  p.platform.UserMinimizes(*Form1);
  EXPECT_EQ(p.Now(), kTray);
  const int starts = p.platform.timer_starts;
  p.platform.UserMinimizes(*Form1);
  EXPECT_EQ(p.platform.timer_starts, starts);
  // Chosen in the tray's menu, "Restore" runs once the menu is gone, as an event of its own.
  p.platform.menu_answers = {&Form1->Restore1};
  p.TrayMouse(517);
  EXPECT_EQ(p.Now(), kTray);
  p.platform.RunPosted();
  EXPECT_EQ(p.Now(), kViewer);
  // Closing the main form ends the program.
  p.platform.UserCloses(*Form1);
  EXPECT_TRUE(p.platform.quit);
}

}  // namespace
}  // namespace pixtrel::test
