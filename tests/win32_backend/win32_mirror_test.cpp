// The Win32 mirror of the forms, with the program on the fake platform and the windows real,
// under wine: what a handler sets shows in the native controls, and what a user does to them
// reaches the model and its handlers.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/win32_form_peer.h"
#include "platform/win32/win32_windows.h"
#include "support/program.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace pixtrel::test {
namespace {

class Host : public win32::WindowHost {
 public:
  ui::WindowSet* windows = nullptr;
  ui::WindowSet& Windows() override { return *windows; }
  bool Ending() override { return false; }
  void Shown(ui::Form&) override {}
  void Hidden(ui::Form&) override {}
  void TimerFired(unsigned) override {}
  void RenderClipboard(unsigned) override {}
};

// The program with each form mirrored onto Win32 windows.
class Mirrored {
 public:
  Mirrored() {
    program.platform.create_window = [this](ui::Form& form, ui::WindowSet& set) {
      host.windows = &set;
      windows[&form] = std::make_unique<win32::FormWindow>(form, host, nullptr);
    };
    program.platform.destroy_window = [this](ui::Form& form) { windows.erase(&form); };
    program.Start();
  }
  ~Mirrored() { program.app.reset(); }

  HWND Window(ui::Form& form) { return static_cast<HWND>(windows.at(&form)->Handle()); }
  // The native window of a control: each holds its peer, and the peer its control.
  HWND Native(ui::Form& form, const ui::Control& control) {
    for (HWND child = GetWindow(Window(form), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      const auto* peer =
          reinterpret_cast<win32::ControlPeer*>(GetWindowLongPtrW(child, GWLP_USERDATA));
      if (peer != nullptr && &peer->control == &control)
        return child;
    }
    ADD_FAILURE() << "no window for " << control.Name();
    return nullptr;
  }
  std::wstring Text(HWND window) { return win32::TextOf(window); }

  Program program;
  Host host;
  std::map<ui::Form*, std::unique_ptr<win32::FormWindow>> windows;
};

LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  return SendMessageW(window, message, wparam, lparam);
}

TEST(Win32Forms, ThePreferencesShowTheFileAndTheUsersEditsReachIt) {
  Mirrored m;
  TForm2& dialog = *Form2;
  const HWND actif = m.Native(dialog, dialog.Actif);
  const HWND jpg = m.Native(dialog, dialog.RadioJPG);
  const HWND slider = m.Native(dialog, dialog.TrackBar1);
  const HWND keys = m.Native(dialog, dialog.ChoixTouche);
  const HWND folder = m.Native(dialog, dialog.Edit1);
  // Loaded at creation, from no file at all, in the program's own words.
  EXPECT_EQ(Send(actif, BM_GETCHECK), BST_UNCHECKED);
  EXPECT_FALSE(IsWindowEnabled(jpg));
  EXPECT_EQ(Send(m.Native(dialog, dialog.RadioBMP), BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(Send(slider, TBM_GETPOS), 100);
  EXPECT_EQ(m.Text(m.Native(dialog, dialog.LabelPourCent)), L"100 %");
  EXPECT_EQ(m.Text(keys), L"F12");
  EXPECT_EQ(Send(keys, CB_GETCOUNT), 26);
  EXPECT_EQ(m.Text(folder), L"/home/ann/Documents/Pixtrel");
  EXPECT_EQ(m.Text(m.Native(dialog, dialog.GroupBox3)), L"  R\u00e9pertoire d'enregistrement  ");
  EXPECT_EQ(m.Text(m.Window(dialog)), L"  Pr\u00e9f\u00e9rences...");

  // A user's clicks, slides and typing.
  Send(actif, BM_CLICK);
  EXPECT_TRUE(dialog.Actif.Checked());
  EXPECT_TRUE(IsWindowEnabled(jpg));  // AutoActivate ran
  Send(jpg, BM_CLICK);
  EXPECT_TRUE(dialog.RadioJPG.Checked());
  EXPECT_FALSE(dialog.RadioBMP.Checked());
  EXPECT_EQ(Send(m.Native(dialog, dialog.RadioBMP), BM_GETCHECK), BST_UNCHECKED);
  Send(slider, TBM_SETPOS, TRUE, 95);
  Send(m.Window(dialog), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 95),
       reinterpret_cast<LPARAM>(slider));
  EXPECT_EQ(dialog.TrackBar1.Position(), 95);
  EXPECT_EQ(m.Text(m.Native(dialog, dialog.LabelPourCent)), L"95 %");

  COMBOBOXINFO combo{};
  combo.cbSize = sizeof combo;
  ASSERT_TRUE(GetComboBoxInfo(keys, &combo));
  Send(combo.hwndItem, EM_SETSEL, 0, -1);
  Send(combo.hwndItem, WM_CHAR, 'f');
  EXPECT_EQ(m.Text(combo.hwndItem), L"f1");
  DWORD start = 0, end = 0;
  Send(combo.hwndItem, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 2u);
  Send(combo.hwndItem, WM_CHAR, '5');
  EXPECT_EQ(dialog.ChoixTouche.Text(), "f5");
  SetWindowTextW(folder, L"C:\\Captures \u00e9t\u00e9");
  EXPECT_EQ(dialog.Edit1.Text(), "C:\\Captures \xC3\xA9t\xC3\xA9");

  Send(m.Native(dialog, dialog.Valider), BM_CLICK);
  EXPECT_EQ(*m.program.platform.files.ReadWholeFile(m.program.platform.files.settings_path),
            "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=C:\\Captures "
            "\xC3\xA9t\xC3\xA9\r\nCompression=95\r\nPixtrel=f5\r\nBordBlanc=oui\r\n");
}

TEST(Win32Forms, WhatTheSystemDoesToAWindowGoesThroughTheWindowRules) {
  Mirrored m;
  // Closed by the system, the about box only hides: it has no close handler.
  m.program.Click(Form1->Config1);
  m.program.Click(Form2->Infos);
  ASSERT_TRUE(IsWindowVisible(m.Window(*Form3)));
  Send(m.Window(*Form3), WM_CLOSE);
  EXPECT_FALSE(Form3->Visible());
  EXPECT_FALSE(IsWindowVisible(m.Window(*Form3)));
  EXPECT_FALSE(m.program.platform.quit);
  // Minimised by the system, the viewer is the application minimised: back to the tray.
  m.program.PressHotkey();
  ASSERT_EQ(m.program.Now(), kViewer);
  ShowWindow(m.Window(*Form1), SW_MINIMIZE);
  EXPECT_EQ(m.program.Now(), kTray);
  // A label's font and colour follow the model.
  m.program.app->Dispatch([] { Form3->ContactMouseMove(); });
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(Send(m.Native(*Form3, Form3->Contact), WM_GETFONT)),
             sizeof font, &font);
  EXPECT_TRUE(font.lfUnderline);
}

}  // namespace
}  // namespace pixtrel::test
