#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "core/key_names.h"
#include "settings/settings_keys.h"
#include "support/program.h"
#include "ui/combo.h"

namespace pixtrel::test {
namespace {

using ui::ComboEdit;
using ui::TypeIntoCombo;

const std::string kDefaultFolder = "/home/ann/Documents/Pixtrel";

void OpenFromViewer(Program& p) {
  p.PressHotkey();
  p.Click(Form1->Button3);
}

// A user's click on a check box ticks or unticks it before its click event runs.
void Toggle(Program& p, ui::Control& box) {
  box.SetChecked(!box.Checked());
  p.Click(box);
}

void Type(Program& p, const std::string& keys) {
  ComboEdit edit{Form2->ChoixTouche.Text(), 0, Form2->ChoixTouche.Text().size()};
  for (const char key : keys)
    edit = TypeIntoCombo(edit, key, Form2->ChoixTouche.items);
  p.app->Dispatch([&] { Form2->ChoixTouche.SetText(edit.text); });
}

std::string SavedFile(Program& p) {
  const auto& files = p.platform.files.files;
  const auto it = files.find(p.platform.files.settings_path);
  return it == files.end() ? "(none)" : it->second;
}

TEST(Preferences, InitializeShowsWhatEachValueMeans) {
  struct Case {
    std::optional<std::string> file;
    bool actif, bmp;
    std::string folder;
    int position;
    std::string label, hotkey;
    bool border;
  };
  const Case cases[] = {
      {std::nullopt, false, true, kDefaultFolder, 100, "100 %", "F12", true},
      {"[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=D:\\Captures\r\n"
       "Compression=75\r\nPixtrel=Impr.Ecr\r\nBordBlanc=non\r\n",
       true, false, "D:\\Captures", 75, "75 %", "Impr.Ecr", false},
      {"[Settings]\r\nAutoRec=OUI\r\nAutoRecFormat=JPG\r\nBordBlanc=Oui\r\n", false, false,
       kDefaultFolder, 100, "100 %", "F12", false},
      {"[Settings]\r\nAutoRec=\r\nSaveFilePath=\r\nCompression=\r\nPixtrel=\r\nBordBlanc=\r\n",
       false, true, kDefaultFolder, 100, "100 %", "F12", false},
      {"[Settings]\r\nCompression=250\r\nPixtrel=f5\r\n", false, true, kDefaultFolder, 100, "250 %",
       "f5", true},
      {"[Settings]\r\nCompression=-5\r\n", false, true, kDefaultFolder, 0, "-5 %", "F12", true},
      {"[Settings]\r\nCompression=$20\r\n", false, true, kDefaultFolder, 32, "$20 %", "F12", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.value_or("no file"));
    Program p;
    if (c.file)
      p.Settings(*c.file);
    p.Start();
    EXPECT_TRUE(p.platform.errors.empty());
    EXPECT_EQ(Form2->Actif.Checked(), c.actif);
    for (ui::Control* control :
         {&Form2->RadioBMP, &Form2->RadioJPG, &Form2->Edit1, &Form2->Browse}) {
      EXPECT_EQ(control->Enabled(), c.actif) << control->Name();
    }
    EXPECT_TRUE(Form2->TrackBar1.Enabled());
    EXPECT_EQ(Form2->RadioBMP.Checked(), c.bmp);
    EXPECT_EQ(Form2->RadioJPG.Checked(), !c.bmp);
    EXPECT_EQ(Form2->Edit1.Text(), c.folder);
    EXPECT_EQ(Form2->TrackBar1.Position(), c.position);
    EXPECT_EQ(Form2->LabelPourCent.Caption(), c.label);
    EXPECT_EQ(Form2->ChoixTouche.Text(), c.hotkey);
    EXPECT_EQ(Form2->WBorder.Checked(), c.border);
  }
}

TEST(Preferences, ANonIntegerCompressionStopsTheReloadBeforeHotkeyAndBorder) {
  Program p;
  p.Settings("[Settings]\r\nCompression=abc\r\n");
  p.Start();
  EXPECT_EQ(p.platform.errors,
            std::vector<std::string>{"'abc' n'est pas une valeur entière correcte."});
  ASSERT_NE(Form3, nullptr);

  p.Settings("[Settings]\r\nPixtrel=F5\r\nBordBlanc=non\r\n");
  OpenFromViewer(p);
  p.Click(Form2->Annuler);
  p.Settings("[Settings]\r\nAutoRec=oui\r\nCompression=abc\r\nPixtrel=F7\r\nBordBlanc=oui\r\n");
  OpenFromViewer(p);
  p.Click(Form2->Annuler);
  EXPECT_EQ(p.platform.errors.size(), 2u);
  EXPECT_EQ(p.Now(), kPrefsFromViewer);  // the hide step never ran
  EXPECT_TRUE(Form2->Actif.Checked());
  EXPECT_EQ(Form2->ChoixTouche.Text(), "F5");
  EXPECT_FALSE(Form2->WBorder.Checked());

  p.Click(Form2->Valider);  // writes the slider's position over the bad text
  EXPECT_NE(SavedFile(p).find("Compression=100\r\n"), std::string::npos);
  EXPECT_EQ(p.Now(), kViewer);
}

TEST(Preferences, EveryWayInLeadsBackWhereItBegan) {
  using Step = std::function<void(Program&)>;
  const Step from_viewer = OpenFromViewer;
  const Step from_tray = [](Program& p) { p.Click(Form1->Config1); };
  const Step from_tray_then_capture = [](Program& p) {
    p.Click(Form1->Config1);
    p.PressHotkey();
  };
  const Step ok = [](Program& p) { p.Click(Form2->Valider); };
  const Step cancel = [](Program& p) { p.Click(Form2->Annuler); };
  const Step close = [](Program& p) { p.app->Dispatch(Form2->on_close); };
  const Step destroy = [](Program& p) { p.app->Dispatch(Form2->on_destroy); };
  struct Row {
    const char* what;
    Step enter, leave;
    bool saves;
    State to;
  };
  const Row rows[] = {
      {"viewer, Ok", from_viewer, ok, true, kViewer},
      {"viewer, Annuler", from_viewer, cancel, false, kViewer},
      {"viewer, close", from_viewer, close, false, kViewer},
      {"tray, Ok", from_tray, ok, true, kTray},
      {"tray, Annuler", from_tray, cancel, false, kTray},
      {"tray, destroy", from_tray, destroy, false, kTray},
      {"tray then capture, Ok", from_tray_then_capture, ok, true, kViewer},
      {"tray then capture, close", from_tray_then_capture, close, false, kViewer},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Program p;
    p.Start();
    row.enter(p);
    EXPECT_TRUE(Form2->Visible());
    p.app->Dispatch([] { Form2->ChoixTouche.SetText("F5"); });
    row.leave(p);
    EXPECT_EQ(p.Now(), row.to);
    EXPECT_TRUE(p.platform.errors.empty());
    EXPECT_EQ(Form2->ChoixTouche.Text(), row.saves ? "F5" : "F12");
    EXPECT_EQ(SavedFile(p).find("Pixtrel=F5") != std::string::npos, row.saves);
    // Only Ok from the tray re-arms the key at once; elsewhere the next Run picks it up.
    EXPECT_EQ(p.platform.TrayTip(),
              row.saves && row.to == kTray ? "F5 to snap..." : "F12 to snap...");
  }
}

TEST(Preferences, OkWritesANewFileInTheKeysOrderAndItReadsBackTheSame) {
  Program p;
  p.Start();
  OpenFromViewer(p);
  p.Click(Form2->Valider);
  EXPECT_EQ(SavedFile(p),
            "[Settings]\r\nAutoRec=non\r\nAutoRecFormat=bmp\r\nSaveFilePath=" + kDefaultFolder +
                "\r\nCompression=100\r\nPixtrel=F12\r\nBordBlanc=oui\r\n");

  OpenFromViewer(p);
  Toggle(p, Form2->Actif);
  Form2->RadioJPG.SetChecked(true);
  Form2->RadioBMP.SetChecked(false);
  Form2->Edit1.SetText("");
  Form2->TrackBar1.SetPosition(0);
  p.app->Dispatch(Form2->TrackBar1.on_change);
  EXPECT_EQ(Form2->LabelPourCent.Caption(), "0 %");
  Toggle(p, Form2->WBorder);
  p.Click(Form2->Valider);
  const std::string saved =
      "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=\r\n"
      "Compression=0\r\nPixtrel=F12\r\nBordBlanc=non\r\n";
  EXPECT_EQ(SavedFile(p), saved);

  p.app.reset();
  p.Start();
  EXPECT_TRUE(Form2->Actif.Checked());
  EXPECT_TRUE(Form2->RadioJPG.Checked());
  EXPECT_EQ(Form2->Edit1.Text(), kDefaultFolder);  // an empty folder shows the default
  EXPECT_EQ(Form2->TrackBar1.Position(), 0);
  EXPECT_FALSE(Form2->WBorder.Checked());
}

TEST(Preferences, AWriteRefusedHalfWayKeepsEarlierKeysAndTheDialogOpen) {
  for (std::size_t written = 0; written < kWrittenKeys.size(); ++written) {
    SCOPED_TRACE(written);
    Program p;
    p.Start();
    OpenFromViewer(p);
    p.platform.files.refuse_commit_after = written;
    p.Click(Form2->Valider);
    EXPECT_EQ(p.platform.errors, std::vector<std::string>{"Impossible d'écrire dans Pixtrel.cfg."});
    EXPECT_EQ(p.Now(), kPrefsFromViewer);
    const std::string file = SavedFile(p);
    for (std::size_t i = 0; i < kWrittenKeys.size(); ++i) {
      const bool present = file.find(std::string(kWrittenKeys[i]) + "=") != std::string::npos;
      EXPECT_EQ(present, i < written) << kWrittenKeys[i];
    }
  }
}

TEST(Preferences, SetDefaultThenAnnulerLeavesNoSectionAndShowsTheDefaults) {
  const std::string other = "[Other]\r\nkeep=1\r\n";
  Program p;
  p.Settings(
      "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=/srv\r\n"
      "Compression=5\r\nPixtrel=F3\r\nBordBlanc=non\r\n" +
      other);
  p.Start();
  p.Click(Form1->Config1);
  p.Click(Form2->Reset);
  EXPECT_EQ(p.platform.messages, std::vector<std::string>{"Paramètres réinitialisés."});
  EXPECT_EQ(p.Now(), kPrefsFromTray);
  EXPECT_EQ(Form2->ChoixTouche.Text(), "F12");  // reloaded at once, before any Annuler
  p.Click(Form2->Annuler);
  EXPECT_EQ(SavedFile(p), other);
  EXPECT_EQ(p.Now(), kTray);
  EXPECT_FALSE(Form2->Actif.Checked());
  EXPECT_TRUE(Form2->RadioBMP.Checked());
  EXPECT_EQ(Form2->Edit1.Text(), kDefaultFolder);
  EXPECT_EQ(Form2->TrackBar1.Position(), 100);
  EXPECT_EQ(Form2->LabelPourCent.Caption(), "100 %");
  EXPECT_EQ(Form2->ChoixTouche.Text(), "F12");
  EXPECT_TRUE(Form2->WBorder.Checked());
  EXPECT_EQ(HotkeyCode, 0x72);  // F3 stays armed until the next Run
}

TEST(Preferences, ARefusedEraseNeitherReloadsNorAnnounces) {
  const std::string file = "[Settings]\r\nPixtrel=F3\r\n";
  Program p;
  p.Settings(file);
  p.Start();
  OpenFromViewer(p);
  p.app->Dispatch([] { Form2->ChoixTouche.SetText("F9"); });
  p.platform.files.refuse_commit = true;
  p.Click(Form2->Reset);
  EXPECT_EQ(p.platform.errors, std::vector<std::string>{"Impossible d'écrire dans Pixtrel.cfg."});
  EXPECT_TRUE(p.platform.messages.empty());
  EXPECT_EQ(Form2->ChoixTouche.Text(), "F9");
  EXPECT_EQ(SavedFile(p), file);
}

TEST(Preferences, ActifGreysTheAutoRecordControlsAndBrowseFillsTheFolder) {
  Program p;
  p.Start();
  OpenFromViewer(p);
  p.Click(Form2->Browse);  // disabled: nothing opens
  EXPECT_TRUE(p.platform.browser_titles.empty());
  Toggle(p, Form2->Actif);
  EXPECT_TRUE(Form2->Browse.Enabled() && Form2->Edit1.Enabled() && Form2->RadioJPG.Enabled());
  p.platform.folder_answers = {"/srv/snaps", std::nullopt};
  p.Click(Form2->Browse);
  EXPECT_EQ(Form2->Edit1.Text(), "/srv/snaps");
  p.Click(Form2->Browse);  // cancelled
  EXPECT_EQ(Form2->Edit1.Text(), "/srv/snaps");
  EXPECT_EQ(p.platform.browser_titles,
            std::vector<std::string>(2, "Choix du répertoire d'enregistrement des Snaps :"));
  Toggle(p, Form2->Actif);
  EXPECT_FALSE(Form2->Browse.Enabled() || Form2->Edit1.Enabled() || Form2->RadioBMP.Enabled());
  EXPECT_TRUE(Form2->TrackBar1.Enabled());
}

TEST(Preferences, AValueTheSettingsFileCannotKeepIsRefusedWithABoxAndNothingIsWritten) {
  const std::string cyrillic = "C:\\Фото";
  const std::string box =
      "Le nom \"C:\\Фото\" ne peut pas être enregistré dans Pixtrel.cfg : il contient des "
      "caractères que la page de code du système ne connaît pas.";
  Program p;
  p.platform.files.files[p.platform.files.settings_path] = "[Settings]\r\nAutoRec=oui\r\n";
  p.Start();
  p.platform.settings.lacks = "Ф";
  p.Click(Form1->Config1);
  // Chosen in the browser: the box, and the folder box keeps what it had.
  const std::string before = Form2->Edit1.Text();
  p.platform.folder_answers = {cyrillic};
  p.Click(Form2->Browse);
  EXPECT_EQ(Form2->Edit1.Text(), before);
  EXPECT_EQ(p.platform.errors, std::vector<std::string>{box});
  // Typed: "Ok" writes none of the six keys and the dialog stays.
  p.app->Dispatch([&] { Form2->Edit1.SetText(cyrillic); });
  Toggle(p, Form2->WBorder);
  p.Click(Form2->Valider);
  EXPECT_EQ(p.platform.errors, std::vector<std::string>(2, box));
  EXPECT_EQ(SavedFile(p), "[Settings]\r\nAutoRec=oui\r\n");
  EXPECT_TRUE(Form2->Visible());
}

TEST(HotkeyBox, TypingCompletesFromTheFirstItemAndKeepsTheTypedCase) {
  struct Case {
    ComboEdit before;
    char typed;
    ComboEdit after;
  };
  const Case cases[] = {
      {{"F12", 0, 3}, 'f', {"f1", 1, 1}},      {{"f1", 1, 1}, '5', {"f5", 2, 0}},
      {{"", 0, 0}, 'i', {"impr.Ecr", 1, 7}},   {{"Arrow.", 6, 0}, 'd', {"Arrow.dW", 7, 1}},
      {{"Pg.UP", 3, 2}, 'd', {"Pg.dW", 4, 1}}, {{"Mouse.L", 0, 7}, 'q', {"q", 1, 0}},
      {{"F12", 1, 0}, 'x', {"Fx12", 2, 0}},  // no item begins "Fx": plain insertion
      {{"F1", 2, 0}, '2', {"F12", 3, 0}},
  };
  std::vector<std::string> items;
  for (const KeyName& key : kKeyNames)
    items.emplace_back(key.name);
  for (const Case& c : cases) {
    EXPECT_EQ(TypeIntoCombo(c.before, c.typed, items), c.after)
        << c.before.text << " + " << c.typed;
  }
}

TEST(HotkeyBox, ATypedNameOutsideTheListIsStoredAndRunFallsBackToF12) {
  Program p;
  p.Start();
  p.Click(Form1->Config1);
  Type(p, "f5");
  EXPECT_EQ(Form2->ChoixTouche.Text(), "f5");
  p.Click(Form2->Valider);
  EXPECT_NE(SavedFile(p).find("Pixtrel=f5\r\n"), std::string::npos);
  EXPECT_EQ(p.Now(), kTray);
  EXPECT_EQ(p.platform.TrayTip(), "f5 to snap...");
  EXPECT_EQ(HotkeyCode, 0x7B);
}

}  // namespace
}  // namespace pixtrel::test
