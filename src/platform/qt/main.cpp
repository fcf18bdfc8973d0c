// The Linux program: Qt's event loop around the application, until Quit ends it.
#include <iostream>

#include <QApplication>
#include <QIcon>

#include "app/application.h"
#include "app/program.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/qt_platform.h"
#include "platform/x11/x11_display.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

namespace {

QtMessageHandler qt_messages = nullptr;

// Qt ends the program when its X connection breaks, after a line in its own words: say it in
// ours instead.
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith("The X11 connection broke"))
    pixtrel::ExitOnLostServer();
  if (qt_messages != nullptr)
    qt_messages(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  // Global key state and screen copies are X11's: run on X even under a Wayland session, and
  // keep the layouts' pixels as screen pixels.
  qputenv("QT_QPA_PLATFORM", "xcb");
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  if (Display* display = XOpenDisplay(nullptr)) {
    XCloseDisplay(display);
  } else {
    std::cerr << "Pixtrel : aucun écran X (DISPLAY) n'est accessible.\n";
    return 1;
  }

  qt_messages = qInstallMessageHandler(OnQtMessage);
  QApplication qt(argc, argv);
  QApplication::setApplicationName("pixtrel");
  // Square, flat-bevelled controls: the layouts were drawn for them, and the viewer's buttons
  // then leave no blended corners on its see-through strip.
  QApplication::setStyle("Windows");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(":/pixtrel.ico"));
  // Menus and dialogs in the windows' own face.
  QApplication::setFont(pixtrel::ToQFont(pixtrel::ui::Font{}));

  pixtrel::QtPlatform platform;
  return pixtrel::RunProgram(platform, pixtrel::kShowNormal);
}
