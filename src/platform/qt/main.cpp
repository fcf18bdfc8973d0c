// The Linux program: Qt's event loop around the application, until Quit ends it.
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "app/application.h"
#include "app/program.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/qt_platform.h"
#include "platform/x11/x11_display.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

namespace {

QtMessageHandler qt_messages = nullptr;

constexpr std::string_view kUsage = "Usage : pixtrel [--help | --version]";

void PrintHelp() {
  std::cout << kUsage << R"(

Pixtrel attend dans la zone de notification et copie l'écran quand on appuie sur sa touche
de capture (F12 par défaut) : l'écran entier ; avec Alt, la fenêtre active et son cadre ;
avec Ctrl, son contenu ; avec Maj, un rectangle tiré à la souris sur l'écran figé. La copie
va dans le Presse-papiers et dans une petite visionneuse qui l'enregistre en BMP ou en JPEG.
En enregistrement automatique, chaque copie est écrite dans un dossier.

Réglages : )"
            << pixtrel::PosixFiles::SettingsFilePath() << R"(

  --help     affiche cette aide
  --version  affiche la version

Voir aussi : man pixtrel
)";
}

// Under a Wayland session the program runs through XWayland, where the X server shows it
// neither the other programs' windows nor their keys.
bool UnderWayland() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (session != nullptr && std::string_view(session) == "wayland") ||
         (wayland != nullptr && *wayland != '\0');
}

const char* const kWaylandWarning =
    "Les captures demandent une session X11 : sous Wayland, Pixtrel ne voit ni les fenêtres ni "
    "les touches des autres programmes, et ses copies sortent noires.";

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
  if (argc > 1) {
    const std::string_view argument = argv[1];
    if (argc == 2 && argument == "--help") {
      PrintHelp();
      return 0;
    }
    if (argc == 2 && argument == "--version") {
      std::cout << "Pixtrel " PIXTREL_VERSION "\n";
      return 0;
    }
    std::cerr << kUsage << "\n";
    return 2;
  }
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
  if (UnderWayland()) {
    std::cerr << "Pixtrel : " << kWaylandWarning << "\n";
    // Once the icon is up, and then the program goes on as usual.
    QTimer::singleShot(0, qApp, [&platform] { platform.PlainBox(kWaylandWarning); });
  }
  return pixtrel::RunProgram(platform, pixtrel::kShowNormal);
}
