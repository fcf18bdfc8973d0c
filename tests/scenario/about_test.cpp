#include <gtest/gtest.h>

#include "support/program.h"

namespace pixtrel::test {
namespace {

void OpenAboutFromViewer(Program& p) {
  p.PressHotkey();
  p.Click(Form1->Button3);
  p.Click(Form2->Infos);
}

TEST(AboutBox, TheAddressIsBlueUntilTheFirstLeaveThenFollowsThePointer) {
  Program p;
  p.Start();
  OpenAboutFromViewer(p);
  ui::Control& contact = Form3->Contact;
  struct Step {
    const char* what;
    std::function<void()>& event;
    ui::ColorRef color;
    bool underline;
  };
  const Step steps[] = {
      {"move", contact.on_mouse_move, ui::kBlue, true},
      {"move again", contact.on_mouse_move, ui::kBlue, true},
      {"leave", contact.on_mouse_leave, ui::kWindowText, false},
      {"back", contact.on_mouse_move, ui::kBlue, true},
      {"leave again", contact.on_mouse_leave, ui::kWindowText, false},
  };
  EXPECT_EQ(contact.font.color, ui::kBlue);
  EXPECT_FALSE(contact.font.underline);
  for (const Step& step : steps) {
    p.app->Dispatch(step.event);
    EXPECT_EQ(contact.font.color, step.color) << step.what;
    EXPECT_EQ(contact.font.underline, step.underline) << step.what;
  }
}

TEST(AboutBox, ClickingTheAddressOpensAMailLinkAndTheBoxStays) {
  Program p;
  p.Start();
  OpenAboutFromViewer(p);
  p.Click(Form3->Contact);
  EXPECT_EQ(p.platform.mail_links,
            std::vector<std::string>{"mailto:" + std::string(kContactAddress)});
  EXPECT_TRUE(Form3->Visible());
  EXPECT_FALSE(Form2->Visible());
}

TEST(AboutBox, OkReturnsToThePreferencesWithTheirUnsavedEdits) {
  Program p;
  p.Start();
  p.PressHotkey();
  p.Click(Form1->Button3);
  Form2->Actif.SetChecked(true);
  p.Click(Form2->Actif);
  Form2->TrackBar1.SetPosition(42);
  p.app->Dispatch(Form2->TrackBar1.on_change);
  p.app->Dispatch([] { Form2->ChoixTouche.SetText("Suppr"); });

  p.Click(Form2->Infos);
  EXPECT_TRUE(Form3->Visible());
  EXPECT_EQ(p.Now(), (State{false, false, false, false, false, false, false}));
  p.Click(Form3->Button1);
  EXPECT_FALSE(Form3->Visible());
  EXPECT_EQ(p.Now(), kPrefsFromViewer);
  EXPECT_TRUE(Form2->Actif.Checked());
  EXPECT_TRUE(Form2->Edit1.Enabled());
  EXPECT_EQ(Form2->LabelPourCent.Caption(), "42 %");
  EXPECT_EQ(Form2->ChoixTouche.Text(), "Suppr");
  EXPECT_FALSE(p.platform.files.FileExists(p.platform.files.settings_path));
}

}  // namespace
}  // namespace pixtrel::test
