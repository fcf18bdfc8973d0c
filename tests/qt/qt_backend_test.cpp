// The Qt mirror of the forms, with the program on the fake platform and Qt drawing offscreen:
// what a handler sets shows on the widgets, and what a user does on them reaches the model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBitmap>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "platform/qt/qt_convert.h"
#include "platform/qt/qt_windows.h"
#include "support/pictures.h"
#include "support/program.h"
#include "ui/placement.h"

namespace pixtrel::test {
namespace {

class Host : public WindowHost {
 public:
  ui::WindowSet* windows = nullptr;
  ui::WindowSet& Windows() override { return *windows; }
  ui::Rect PrimaryRect() override { return {0, 0, 800, 600}; }
};

// The program with each form mirrored onto Qt widgets.
class Mirrored {
 public:
  Mirrored() {
    program.platform.screen = SamplePicture(800, 600, 32);
    program.platform.create_window = [this](ui::Form& form, ui::WindowSet& set) {
      host.windows = &set;
      windows[&form] = std::make_unique<FormWindow>(form, host);
    };
    program.platform.destroy_window = [this](ui::Form& form) { windows.erase(&form); };
    program.Start();
  }
  ~Mirrored() { program.app.reset(); }

  FormWindow& Window(ui::Form& form) { return *windows.at(&form); }
  template <typename T>
  T* Widget(ui::Form& form, const char* name) {
    T* widget = Window(form).findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  Program program;
  Host host;
  std::map<ui::Form*, std::unique_ptr<FormWindow>> windows;
};

TEST(QtConvert, PicturesOfEveryDepthKeepTheirColours) {
  for (int depth : {32, 24, 16, 8, 4, 1}) {
    SCOPED_TRACE(depth);
    const Bitmap picture = SamplePicture(13, 7, depth);
    const QImage image = ToQImage(picture);
    ASSERT_EQ(image.size(), QSize(13, 7));
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) {
        const Color c = picture.PixelColor(x, y);
        ASSERT_EQ(image.pixel(x, y), qRgb(c.red, c.green, c.blue)) << x << "," << y;
      }
    }
  }
  EXPECT_TRUE(ToQImage(Bitmap()).isNull());
  EXPECT_TRUE(ToQImage(Bitmap(0, 0, 32)).isNull());
}

TEST(QtConvert, AnAreaCopyTouchesThatAreaOnly) {
  Bitmap picture = SamplePicture(20, 10, 32);
  QImage image = ToQImage(picture);
  Bitmap changed = SamplePicture(20, 10, 32);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x)
      changed.SetPixelColor(x, y, {1, 2, 3});
  }
  CopyArea(changed, {5, 2, 4, 3}, image);
  EXPECT_EQ(image.pixel(5, 2), qRgb(1, 2, 3));
  EXPECT_EQ(image.pixel(8, 4), qRgb(1, 2, 3));
  const Color outside = picture.PixelColor(9, 4);
  EXPECT_EQ(image.pixel(9, 4), qRgb(outside.red, outside.green, outside.blue));
  // An area beyond the picture is cut to it.
  CopyArea(changed, {18, 8, 10, 10}, image);
  EXPECT_EQ(image.pixel(19, 9), qRgb(1, 2, 3));
}

TEST(QtConvert, OnlyExactFuchsiaLeavesTheMask) {
  QImage image(3, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 255));
  image.setPixel(1, 0, qRgb(255, 0, 254));
  image.setPixel(2, 0, qRgb(0, 0, 0));
  const QRegion kept(QBitmap::fromImage(OpaqueMask(image, qRgb(255, 0, 255))));
  EXPECT_FALSE(kept.contains(QPoint(0, 0)));
  EXPECT_TRUE(kept.contains(QPoint(1, 0)));
  EXPECT_TRUE(kept.contains(QPoint(2, 0)));
}

TEST(QtForms, ThePreferencesShowTheFileAndTheUsersEditsReachIt) {
  Mirrored m;
  TForm2& dialog = *Form2;
  auto* actif = m.Widget<QCheckBox>(dialog, "Actif");
  auto* jpg = m.Widget<QRadioButton>(dialog, "RadioJPG");
  auto* bmp = m.Widget<QRadioButton>(dialog, "RadioBMP");
  auto* slider = m.Widget<QSlider>(dialog, "TrackBar1");
  auto* percent = m.Widget<QLabel>(dialog, "LabelPourCent");
  auto* keys = m.Widget<QComboBox>(dialog, "ChoixTouche");
  auto* folder = m.Widget<QLineEdit>(dialog, "Edit1");
  // Loaded at creation, from no file at all.
  EXPECT_FALSE(actif->isChecked());
  EXPECT_FALSE(jpg->isEnabled());
  EXPECT_TRUE(bmp->isChecked());
  EXPECT_EQ(slider->value(), 100);
  EXPECT_EQ(slider->tickInterval(), 1);
  EXPECT_EQ(slider->pageStep(), 2);
  EXPECT_EQ(percent->text(), "100 %");
  EXPECT_EQ(keys->currentText(), "F12");
  EXPECT_EQ(keys->count(), 26);
  EXPECT_EQ(folder->text(), "/home/ann/Documents/Pixtrel");

  actif->click();
  EXPECT_TRUE(dialog.Actif.Checked());
  EXPECT_TRUE(jpg->isEnabled());  // AutoActivate ran
  jpg->click();
  EXPECT_TRUE(dialog.RadioJPG.Checked());
  EXPECT_FALSE(dialog.RadioBMP.Checked());
  EXPECT_FALSE(bmp->isChecked());
  for (int i = 0; i < 3; ++i)
    slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
  slider->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(dialog.TrackBar1.Position(), 95);
  EXPECT_EQ(percent->text(), "95 %");

  keys->lineEdit()->selectAll();
  QTest::keyClicks(keys->lineEdit(), "f");
  EXPECT_EQ(keys->lineEdit()->text(), "f1");
  EXPECT_EQ(keys->lineEdit()->selectedText(), "1");
  QTest::keyClicks(keys->lineEdit(), "5");
  EXPECT_EQ(dialog.ChoixTouche.Text(), "f5");
  folder->selectAll();
  QTest::keyClicks(folder, "/tmp/snaps");
  // Enter in a box saves nothing, and Escape cancels nothing.
  QTest::keyClick(folder, Qt::Key_Return);
  QTest::keyClick(folder, Qt::Key_Escape);
  EXPECT_FALSE(m.program.platform.files.FileExists(m.program.platform.files.settings_path));

  m.Widget<QPushButton>(dialog, "Valider")->click();
  EXPECT_EQ(*m.program.platform.files.ReadWholeFile(m.program.platform.files.settings_path),
            "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\nSaveFilePath=/tmp/snaps\r\n"
            "Compression=95\r\nPixtrel=f5\r\nBordBlanc=oui\r\n");
}

TEST(QtForms, TabbingFollowsTheLayoutsOrderThroughEachGroup) {
  Mirrored m;
  FormWindow& window = m.Window(*Form2);
  const std::vector<QString> expected{"RadioBMP", "RadioJPG", "Actif",       "TrackBar1",
                                      "Browse",   "Edit1",    "Valider",     "Annuler",
                                      "Reset",    "Infos",    "ChoixTouche", "WBorder"};
  std::vector<QString> order;
  QWidget* widget = m.Widget<QWidget>(*Form2, "RadioBMP");
  for (std::size_t i = 0; i < 200 && order.size() < expected.size(); ++i) {
    if (std::find(expected.begin(), expected.end(), widget->objectName()) != expected.end() &&
        std::find(order.begin(), order.end(), widget->objectName()) == order.end())
      order.push_back(widget->objectName());
    widget = widget->nextInFocusChain();
    if (widget == &window)
      widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(order, expected);
}

TEST(QtForms, TheViewerShowsTheCaptureAndLetsTheKeyColourThrough) {
  Mirrored m;
  Bitmap& screen = m.program.platform.screen;
  for (int y = 200; y < 400; ++y) {
    for (int x = 0; x < 800; ++x)
      screen.SetPixelColor(x, y, {255, 0, 255});
  }
  m.program.PressHotkey();
  FormWindow& viewer = m.Window(*Form1);
  ASSERT_TRUE(viewer.isVisible());
  EXPECT_EQ(viewer.geometry(), QRect(300, 216, 200, 167));
  EXPECT_TRUE(viewer.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(viewer.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_NEAR(viewer.windowOpacity(), 200 / 255.0, 0.01);

  // 800 x 600 is drawn 200 x 150 from row 17: the fuchsia band is rows 67 to 116.
  const QImage drawn = viewer.grab().toImage();
  const Bitmap expected = RenderViewerImage(screen, 200, 150);
  const Color c = expected.PixelColor(100, 10);
  EXPECT_EQ(drawn.pixel(100, 27), qRgb(c.red, c.green, c.blue));
  const QRegion shape = viewer.mask();
  EXPECT_TRUE(shape.contains(QPoint(10, 5)));     // "Run"
  EXPECT_FALSE(shape.contains(QPoint(150, 5)));   // the strip between "Set" and "-"
  EXPECT_FALSE(shape.contains(QPoint(190, 15)));  // under "x"
  EXPECT_TRUE(shape.contains(QPoint(100, 30)));   // the picture
  EXPECT_FALSE(shape.contains(QPoint(100, 80)));  // its fuchsia band
  EXPECT_TRUE(shape.contains(QPoint(100, 160)));  // black below the picture
}

TEST(QtForms, IconifyingTheViewerSendsTheProgramToTheTray) {
  Mirrored m;
  m.program.PressHotkey();
  ASSERT_EQ(m.program.Now(), kViewer);
  m.Window(*Form1).setWindowState(Qt::WindowMinimized);
  EXPECT_EQ(m.program.Now(), kTray);
  EXPECT_FALSE(m.Window(*Form1).isVisible());
  // Shown again later, it comes back restored.
  m.program.TrayMouse(514);
  EXPECT_EQ(m.program.Now(), kViewer);
  EXPECT_TRUE(m.Window(*Form1).isVisible());
}

TEST(QtForms, TheContactLabelFollowsThePointer) {
  Mirrored m;
  auto* contact = m.Widget<QLabel>(*Form3, "Contact");
  const QColor text = m.Window(*Form3).palette().color(QPalette::WindowText);
  EXPECT_EQ(contact->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_FALSE(contact->font().underline());
  QTest::mouseMove(contact, QPoint(5, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(contact, &move);
  EXPECT_TRUE(contact->font().underline());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(contact, &leave);
  EXPECT_FALSE(contact->font().underline());
  EXPECT_EQ(contact->palette().color(QPalette::WindowText), text);
}

}  // namespace
}  // namespace pixtrel::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle("Windows");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
