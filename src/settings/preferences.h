// The preferences dialog: the only writer of the settings file.
#pragma once

#include <string>

#include "ui/ui.h"

namespace pixtrel {

class Application;

class TForm2 : public ui::Form {
 public:
  explicit TForm2(Application& app);

  // Controls, in creation order.
  ui::Control GroupBox1{ui::Kind::kGroupBox, "GroupBox1"};
  ui::Control RadioBMP{ui::Kind::kRadioButton, "RadioBMP"};
  ui::Control RadioJPG{ui::Kind::kRadioButton, "RadioJPG"};
  ui::Control Actif{ui::Kind::kCheckBox, "Actif"};
  ui::Control GroupBoxComp{ui::Kind::kGroupBox, "GroupBoxComp"};
  ui::Control TrackBar1{ui::Kind::kSlider, "TrackBar1"};
  ui::Control Bof{ui::Kind::kLabel, "Bof"};
  ui::Control LabelPourCent{ui::Kind::kLabel, "LabelPourCent"};
  ui::Control Top{ui::Kind::kLabel, "Top"};
  ui::Control GroupBox3{ui::Kind::kGroupBox, "GroupBox3"};
  ui::Control Browse{ui::Kind::kButton, "Browse"};
  ui::Control Edit1{ui::Kind::kEdit, "Edit1"};
  ui::Control Valider{ui::Kind::kButton, "Valider"};
  ui::Control Annuler{ui::Kind::kButton, "Annuler"};
  ui::Control Reset{ui::Kind::kButton, "Reset"};
  ui::Control Infos{ui::Kind::kButton, "Infos"};
  ui::Control Bevel1{ui::Kind::kBevel, "Bevel1"};
  ui::Control GroupBox2{ui::Kind::kGroupBox, "GroupBox2"};
  ui::Control ChoixTouche{ui::Kind::kComboBox, "ChoixTouche"};
  ui::Control NoteTouche{ui::Kind::kLabel, "NoteTouche"};
  ui::Control WBorder{ui::Kind::kCheckBox, "WBorder"};
  ui::Control Bevel2{ui::Kind::kBevel, "Bevel2"};
  ui::Control Label1{ui::Kind::kLabel, "Label1"};
  ui::Control Label3{ui::Kind::kLabel, "Label3"};
  ui::Control Label2{ui::Kind::kLabel, "Label2"};
  ui::Control Label4{ui::Kind::kLabel, "Label4"};
  ui::Control Label5{ui::Kind::kLabel, "Label5"};
  ui::Control Label6{ui::Kind::kLabel, "Label6"};

  // Creation handler; also reloads the controls for "Annuler", a close and "Set default".
  void Initialize();
  void AutoActivate();
  void SelectCompression();
  void SelectPath();
  void ValiderClick();
  void AnnulerClick();
  void FormClose();
  void FormDestroy();
  void ResetClick();
  void InfosClick();

 private:
  // Reload, hide, and go back to the viewer unless the visit began in the tray.
  void Leave();

  Application& app_;
};

}  // namespace pixtrel
