// Another program's window on the Wayland test desktop: colour_window TITLE WIDTH HEIGHT [--tray]
// Its content is the pattern of colour_pattern.h. It prints what reaches it, one line each:
// "shown", "press KEY" / "release KEY" (Qt's key names), "click BUTTON X Y" (Qt's button,
// window coordinates), and with --tray, a tray icon whose activations ("activated REASON") and menu
// choices ("menu LABEL") it prints too.
#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>
#include <cstdio>

#include "e2e/wayland/colour_pattern.h"

namespace {

void Say(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

QColor ToQColor(pixtrel::test::colours::Rgb rgb) {
  return QColor(rgb.red, rgb.green, rgb.blue);
}

class ColourWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    namespace colours = pixtrel::test::colours;
    QPainter painter(this);
    const int w = width(), h = height();
    painter.fillRect(0, 0, w, h, ToQColor(colours::kInside));
    painter.fillRect(0, 0, 1, h, ToQColor(colours::kLeft));
    painter.fillRect(w - 1, 0, 1, h, ToQColor(colours::kRight));
    painter.fillRect(0, 0, w, 1, ToQColor(colours::kTop));
    painter.fillRect(0, h - 1, w, 1, ToQColor(colours::kBottom));
  }
  void showEvent(QShowEvent*) override { Say("shown"); }
  void keyPressEvent(QKeyEvent* event) override {
    if (!event->isAutoRepeat())
      Say("press " + Name(event));
  }
  void keyReleaseEvent(QKeyEvent* event) override {
    if (!event->isAutoRepeat())
      Say("release " + Name(event));
  }
  // By name, not code: a virtual keyboard of its own keymap sends other codes for the same keys.
  // Any other key with the modifiers held, as "Ctrl+F12".
  static QString Name(const QKeyEvent* event) {
    const int key = event->key();
    const bool modifier = key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
                          key == Qt::Key_Meta || key == Qt::Key_AltGr;
    const QKeyCombination combination(modifier ? Qt::NoModifier : event->modifiers(),
                                      static_cast<Qt::Key>(key));
    return QKeySequence(combination).toString(QKeySequence::PortableText);
  }
  void mousePressEvent(QMouseEvent* event) override {
    const QPoint at = event->position().toPoint();
    Say(QString("click %1 %2 %3").arg(int(event->button())).arg(at.x()).arg(at.y()));
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The compositors know it by this: sway floats it at its own size.
  QGuiApplication::setDesktopFileName("pixtrel-test-colours");
  const QStringList args = app.arguments();
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: colour_window TITLE WIDTH HEIGHT [--tray]\n");
    return 2;
  }
  ColourWindow window;
  window.setWindowTitle(args[1]);
  window.setFixedSize(args[2].toInt(), args[3].toInt());
  window.show();

  QSystemTrayIcon tray;
  QMenu menu;
  if (args.contains("--tray")) {
    QPixmap picture(22, 22);
    picture.fill(Qt::magenta);
    tray.setIcon(QIcon(picture));
    tray.setToolTip(args[1]);
    for (const char* label : {"First", "Second"}) {
      QObject::connect(menu.addAction(label), &QAction::triggered,
                       [label] { Say(QString("menu ") + label); });
    }
    tray.setContextMenu(&menu);
    QObject::connect(&tray, &QSystemTrayIcon::activated,
                     [](QSystemTrayIcon::ActivationReason reason) {
                       Say(QString("activated %1").arg(int(reason)));
                     });
    tray.show();
  }
  return app.exec();
}
