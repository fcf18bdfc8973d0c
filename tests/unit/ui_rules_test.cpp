// The rules every backend takes from the ui model instead of deciding them itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/combo.h"
#include "ui/placement.h"
#include "ui/ui.h"

namespace pixtrel::ui {
namespace {

// Two groups of radio buttons and a few other controls, laid out as a form does it.
struct TwoGroups : Form {
  TwoGroups() : Form("Form") {
    Lay({
        {&OkButton, nullptr, {}, "Ok", 2},
        {&Left, nullptr, {}, "", 0},
        {&A1, &Left, {}, "", 1},
        {&A2, &Left, {}, "", 0},
        {&Label, &Left, {}, "", -1},
        {&Right, nullptr, {}, "", 1},
        {&B1, &Right, {}, "", 0},
    });
  }
  Control OkButton{Kind::kButton, "Ok"};
  Control Left{Kind::kGroupBox, "Left"};
  Control A1{Kind::kRadioButton, "A1"};
  Control A2{Kind::kRadioButton, "A2"};
  Control Label{Kind::kLabel, "Label"};
  Control Right{Kind::kGroupBox, "Right"};
  Control B1{Kind::kRadioButton, "B1"};
};

TEST(UiRules, ARadioChoiceUnchecksOnlyItsOwnGroup) {
  TwoGroups form;
  form.B1.SetChecked(true);
  form.CheckRadio(form.A1);
  form.CheckRadio(form.A2);
  EXPECT_FALSE(form.A1.Checked());
  EXPECT_TRUE(form.A2.Checked());
  EXPECT_TRUE(form.B1.Checked());
}

TEST(UiRules, TabOrderVisitsEachGroupBoxInItsPlace) {
  TwoGroups form;
  std::vector<std::string> names;
  for (Control* control : form.TabOrder())
    names.push_back(control->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"A2", "A1", "B1", "Ok"}));
}

TEST(UiRules, BoundsFollowTheParentAndTheText) {
  Control image{Kind::kImage, "Image"};
  EXPECT_EQ(image.BoundsIn(640, 400), (Rect{0, 0, 640, 400}));
  image.bounds = {0, 17, 200, 150};
  EXPECT_EQ(image.BoundsIn(640, 400), (Rect{0, 17, 200, 150}));

  struct Case {
    Kind kind;
    Align alignment;
    bool wrap;
    int text_width;
    int width;
  };
  const Case cases[] = {
      {Kind::kLabel, Align::kLeft, false, 120, 120},  {Kind::kLabel, Align::kLeft, false, 80, 100},
      {Kind::kLabel, Align::kRight, false, 120, 100}, {Kind::kLabel, Align::kLeft, true, 120, 100},
      {Kind::kButton, Align::kLeft, false, 120, 100},
  };
  for (const Case& c : cases) {
    Control control{c.kind, "c"};
    control.bounds = {5, 6, 100, 13};
    control.alignment = c.alignment;
    control.word_wrap = c.wrap;
    EXPECT_EQ(control.BoundsForText(c.text_width), (Rect{5, 6, c.width, 13}))
        << static_cast<int>(c.kind) << " " << c.text_width;
  }
}

TEST(UiRules, OnlyAnUnscaledPictureRepaintsJustWhatChanged) {
  struct Case {
    bool scaled;
    int width, height;  // the picture's
    Rect changed;
    Rect repaint;  // in a 640 x 400 client
  };
  const Case cases[] = {
      {false, 640, 400, {10, 20, 30, 40}, {10, 20, 30, 40}},
      {false, 600, 300, {10, 20, 30, 40}, {30, 70, 30, 40}},  // centred, unscaled
      {false, 1280, 800, {10, 20, 30, 40}, {0, 0, 640, 400}},
      {false, 640, 400, {0, 0, -1, -1}, {0, 0, 640, 400}},
      {true, 640, 400, {10, 20, 30, 40}, {0, 0, 640, 400}},
  };
  for (const Case& c : cases) {
    Image image("Image");
    image.stretch = image.proportional = image.center = c.scaled;
    image.Picture() = Bitmap(c.width, c.height, 32);
    image.changed_area = c.changed;
    EXPECT_EQ(RepaintRect(image, 640, 400), c.repaint) << c.width << " " << c.scaled;
  }
}

TEST(UiRules, APeerHearsWhichPropertyChangedAndOnlyOnChange) {
  struct Recorder : Peer {
    std::vector<Property> heard;
    void Changed(Control&, Property property) override { heard.push_back(property); }
  } peer;
  Control label{Kind::kLabel, "Label"};
  label.SetPeer(&peer);
  Font blue = label.font;
  blue.color = kBlue;
  label.SetFont(blue);
  label.SetFont(blue);
  label.SetCursor(Cursor::kHand);
  label.SetColor(kWhite);
  label.SetCaption("x");
  EXPECT_EQ(peer.heard, (std::vector<Property>{Property::kFont, Property::kCursor, Property::kColor,
                                               Property::kCaption}));
}

TEST(UiRules, TheListsCompletionTakesPrintableAsciiTypedIntoAsciiText) {
  const std::vector<std::string> items{"F1", "F12", "Impr.Ecr"};
  const struct {
    ComboEdit before;
    char32_t typed;
    std::optional<ComboEdit> after;  // nothing: the native box types it as it would
  } rows[] = {
      {{"F12", 0, 3}, U'f', ComboEdit{"f1", 1, 1}},  {{"", 0, 0}, U' ', ComboEdit{" ", 1, 0}},
      {{"F1", 2, 0}, U'\x7F', std::nullopt},  // Delete
      {{"F1", 2, 0}, U'\b', std::nullopt},           {{"", 0, 0}, U'\u00e9', std::nullopt},  // "é"
      {{"Touche \u00e9", 9, 0}, U'x', std::nullopt},  // positions would count otherwise
  };
  for (const auto& row : rows)
    EXPECT_EQ(CompleteTyping(row.before, row.typed, items), row.after) << row.before.text;
}

}  // namespace
}  // namespace pixtrel::ui
