#include "settings/preferences.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "app/application.h"
#include "core/error.h"
#include "core/int_text.h"
#include "core/key_names.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace {

constexpr const char* kBrowserTitle = "Choix du répertoire d'enregistrement des Snaps :";
constexpr const char* kResetMessage = "Paramètres réinitialisés.";
constexpr const char* kPercent = " %";
constexpr const char* kCannotKeep =
    "Le nom \"%s\" ne peut pas être enregistré dans Pixtrel.cfg : il contient des caractères que "
    "la page de code du système ne connaît pas";
constexpr int kMinQuality = 0;
constexpr int kMaxQuality = 100;

// Refuses a value the settings file would keep as something else ('?' for a letter its code page
// lacks), before anything is written: what the user chose is never stored changed.
void RequireKept(SettingsStore& store, const std::string& value) {
  if (!store.CanHold(value))
    throw Error(FormatText(kCannotKeep, {value}));
}

}  // namespace

TForm2::TForm2(Application& app) : ui::Form("Form2"), app_(app) {
  handlers = {
      {"AutoActivate", [this] { AutoActivate(); }},
      {"SelectCompression", [this] { SelectCompression(); }},
      {"SelectPath", [this] { SelectPath(); }},
      {"ValiderClick", [this] { ValiderClick(); }},
      {"AnnulerClick", [this] { AnnulerClick(); }},
      {"ResetClick", [this] { ResetClick(); }},
      {"InfosClick", [this] { InfosClick(); }},
  };

  SetCaption("  Préférences...");
  border = ui::FormBorder::kDialog;
  title_buttons = false;
  bounds = {0, 0, 329, 273};
  topmost = true;
  centred_once = true;
  on_close = [this] { FormClose(); };
  on_destroy = [this] { FormDestroy(); };

  Lay({
      {&GroupBox1, nullptr, {0, 0, 161, 57}, "  Enregistrement 'AutoRec'  ", 0},
      {&RadioBMP, &GroupBox1, {80, 16, 57, 17}, "*.bmp", 0},
      {&RadioJPG, &GroupBox1, {80, 32, 57, 17}, "*.jpg", 1},
      {&Actif, &GroupBox1, {16, 24, 45, 17}, "Actif", 2},
      {&GroupBoxComp, nullptr, {168, 0, 161, 57}, "  Compression jpg  ", 1},
      {&TrackBar1, &GroupBoxComp, {8, 16, 145, 17}, "", 0},
      {&Bof, &GroupBoxComp, {8, 38, 25, 13}, "Bof...", -1},
      {&LabelPourCent, &GroupBoxComp, {70, 38, 29, 13}, "100 %", -1},
      {&Top, &GroupBoxComp, {128, 38, 25, 13}, "Top !", -1},
      {&GroupBox3, nullptr, {0, 184, 329, 57}, "  Répertoire d'enregistrement  ", 2},
      {&Browse, &GroupBox3, {272, 22, 49, 25}, "Browse", 0},
      {&Edit1, &GroupBox3, {16, 24, 249, 21}, "", 1},
      {&Valider, nullptr, {248, 248, 81, 25}, "Ok", 3},
      {&Annuler, nullptr, {160, 248, 81, 25}, "Annuler", 4},
      {&Reset, nullptr, {72, 248, 81, 25}, "Set default", 5},
      {&Infos, nullptr, {8, 252, 49, 17}, "Infos", 6},
      {&Bevel1, nullptr, {0, 248, 65, 25}, "", -1},
      {&GroupBox2, nullptr, {0, 56, 329, 129}, "  Assignation touche  ", 7},
      {&ChoixTouche, &GroupBox2, {16, 16, 89, 21}, "", 0},
      {&NoteTouche,
       &GroupBox2,
       {112, 12, 209, 26},
       "Assigner une touche à la capture d'écran conserve la fonction initiale de cette touche.",
       -1},
      {&WBorder, &GroupBox2, {16, 40, 297, 17}, "Bord blanc en mode 'sélection souris'.", 1},
      {&Bevel2, &GroupBox2, {8, 64, 313, 57}, "", -1},
      {&Label1, &GroupBox2, {16, 72, 71, 13}, "ALT + [touche]", -1},
      {&Label3, &GroupBox2, {96, 72, 195, 13}, " =  capture la fenêtre active et son cadre.", -1},
      {&Label2, &GroupBox2, {16, 88, 73, 13}, "CTRL+[touche]", -1},
      {&Label4, &GroupBox2, {96, 88, 201, 13}, " =  capture le contenu de la fenêtre active.", -1},
      {&Label5, &GroupBox2, {16, 104, 76, 13}, "SHIFT+[touche]", -1},
      {&Label6,
       &GroupBox2,
       {96, 104, 221, 13},
       " =  sélection souris (mode 'AutoRec' inopérant).",
       -1},
  });

  LabelPourCent.alignment = ui::Align::kRight;
  NoteTouche.word_wrap = true;
  RadioBMP.SetChecked(true);
  RadioBMP.SetEnabled(false);
  RadioJPG.SetEnabled(false);
  Bind(Actif, "AutoActivate");

  TrackBar1.min = kMinQuality;
  TrackBar1.max = kMaxQuality;
  TrackBar1.frequency = 1;
  TrackBar1.line_size = 1;
  TrackBar1.page_size = 2;
  TrackBar1.SetPosition(kMaxQuality);
  TrackBar1.cursor = ui::Cursor::kHand;
  Bind(TrackBar1, "SelectCompression", kChange);

  Bind(Browse, "SelectPath");
  Bind(Valider, "ValiderClick");
  Bind(Annuler, "AnnulerClick");
  Bind(Reset, "ResetClick");
  Bind(Infos, "InfosClick");

  for (const KeyName& key : kKeyNames)
    ChoixTouche.items.emplace_back(key.name);
  WBorder.SetChecked(true);
}

void TForm2::Initialize() {
  std::string auto_rec, format, folder, compression, hotkey, border_text;
  {
    const std::string default_folder = app_.DefaultFolder();
    OpenSettings settings(app_.platform().Settings());
    auto_rec = ReadSetting(settings, kInitializeReads.auto_rec);
    format = ReadSetting(settings, kInitializeReads.auto_rec_format);
    folder = ReadSetting(settings, kInitializeReads.save_file_path, default_folder);
    compression = ReadSetting(settings, kInitializeReads.compression);
    hotkey = ReadSetting(settings, kInitializeReads.hotkey);
    border_text = ReadSetting(settings, kInitializeReads.border);
  }

  Actif.SetChecked(auto_rec == kYes);
  AutoActivate();
  const bool bmp = format == kFormatBmp;
  RadioBMP.SetChecked(bmp);
  RadioJPG.SetChecked(!bmp);
  Edit1.SetText(folder.empty() ? app_.DefaultFolder() : folder);

  // A text that is not an integer ends the reload here: the hotkey and border keep what they
  // held.
  if (compression.empty()) {
    TrackBar1.SetPosition(kMaxQuality);
    LabelPourCent.SetCaption(std::to_string(kMaxQuality) + kPercent);
  } else {
    TrackBar1.SetPosition(std::clamp(StrToInt(compression), kMinQuality, kMaxQuality));
    // The text as written, so 250 shows "250 %" beside a slider at 100.
    LabelPourCent.SetCaption(compression + kPercent);
  }

  ChoixTouche.SetText(hotkey.empty() ? std::string(kDefaultHotkeyName) : hotkey);
  WBorder.SetChecked(border_text == kYes);
}

void TForm2::AutoActivate() {
  // The slider stays usable either way: the viewer's JPEG save uses the quality too.
  const bool on = Actif.Checked();
  for (ui::Control* control : {&RadioBMP, &RadioJPG, &Edit1, &Browse})
    control->SetEnabled(on);
}

void TForm2::SelectCompression() {
  LabelPourCent.SetCaption(std::to_string(TrackBar1.Position()) + kPercent);
}

void TForm2::SelectPath() {
  std::optional<std::string> folder = app_.platform().BrowseForFolder(kBrowserTitle);
  if (!folder)
    return;
  RequireKept(app_.platform().Settings(), *folder);
  Edit1.SetText(std::move(*folder));
}

void TForm2::ValiderClick() {
  const std::array<std::string, kWrittenKeys.size()> values{
      std::string(YesNo(Actif.Checked())),
      std::string(RadioBMP.Checked() ? kFormatBmp : kFormatJpg),
      Edit1.Text(),
      std::to_string(TrackBar1.Position()),
      ChoixTouche.Text(),
      std::string(YesNo(WBorder.Checked())),
  };
  {
    // A refused write ends the handler here, with the keys before it stored and the dialog open.
    OpenSettings settings(app_.platform().Settings());
    for (const std::string& value : values)
      RequireKept(settings, value);
    for (std::size_t i = 0; i < kWrittenKeys.size(); ++i)
      settings->WriteString(kSettingsSection, kWrittenKeys[i], values[i]);
  }
  app_.HideForm(*this);
  if (Form1->InTray)
    Form1->Run();
  else
    app_.ShowForm(*Form1);
}

void TForm2::Leave() {
  Initialize();
  app_.HideForm(*this);
  if (!Form1->InTray)
    app_.ShowForm(*Form1);
}

void TForm2::AnnulerClick() {
  Leave();
}

void TForm2::FormClose() {
  Leave();
}

void TForm2::FormDestroy() {
  Leave();
}

void TForm2::ResetClick() {
  {
    OpenSettings settings(app_.platform().Settings());
    settings->EraseSection(kSettingsSection);
  }
  Initialize();
  app_.platform().PlainBox(kResetMessage);
}

void TForm2::InfosClick() {
  // Nothing reloads on the way to the about box and back, so unsaved edits survive.
  app_.HideForm(*this);
  app_.ShowForm(*Form3);
}

}  // namespace pixtrel
