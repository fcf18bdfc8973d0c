// The Linux program: Qt's event loop around the application, until Quit ends it.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "app/application.h"
#include "app/program.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_convert.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_platform.h"
#include "platform/x11/x11_display.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>

namespace {

QtMessageHandler qt_messages = nullptr;

constexpr std::string_view kUsage =
    "Usage : pixtrel [--help | --version | --capture screen|window|client|region | "
    "--preferences | --quit]";

void PrintHelp() {
  std::cout << kUsage << R"(

Pixtrel attend dans la zone de notification et copie l'écran quand on appuie sur sa touche
de capture (F12 par défaut) : l'écran entier ; avec Alt, la fenêtre active et son cadre ;
avec Ctrl, son contenu ; avec Maj, un rectangle tiré à la souris sur l'écran figé. La copie
va dans le Presse-papiers et dans une petite visionneuse qui l'enregistre en BMP ou en JPEG.
En enregistrement automatique, chaque copie est écrite dans un dossier.

Réglages : )"
            << pixtrel::PosixFiles::SettingsFilePath() << R"(

  --help         affiche cette aide
  --version      affiche la version
  --capture MODE capture comme la touche : screen (seule), window (avec Alt), client (avec
                 Ctrl) ou region (avec Maj) ; démarre Pixtrel s'il ne tourne pas
  --preferences  ouvre les préférences de Pixtrel ; le démarre s'il ne tourne pas
  --quit         termine Pixtrel s'il tourne

Voir aussi : man pixtrel
)";
}

// A Wayland session, even one that also offers X11 through XWayland, where the X server shows
// neither the other programs' windows nor their keys.
bool UnderWayland() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (session != nullptr && std::string_view(session) == "wayland") ||
         (wayland != nullptr && *wayland != '\0');
}

// Whether a compositor answers where Qt would look for it.
bool WaylandReachable() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  std::string path = name != nullptr && *name != '\0' ? name : "wayland-0";
  if (path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr)
      return false;
    path = std::string(runtime) + "/" + path;
  }
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path))
    return false;
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const bool reached =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return reached;
}

// Where no compositor answers, the program runs on X all the same, through XWayland.
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
  std::optional<pixtrel::InstanceCommand> command;
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
    if (argc == 3 && argument == "--capture" && pixtrel::ModeNamed(argv[2]))
      command = pixtrel::InstanceCommand{"Capture", argv[2]};
    else if (argc == 2 && argument == "--preferences")
      command = pixtrel::InstanceCommand{"Preferences", {}};
    else if (argc == 2 && argument == "--quit")
      command = pixtrel::InstanceCommand{"Quit", {}};
    if (!command) {
      std::cerr << kUsage << "\n";
      return 2;
    }
  }
  const bool wayland = UnderWayland() && WaylandReachable();
  // Keep the layouts' pixels as screen pixels.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  if (wayland) {
    qputenv("QT_QPA_PLATFORM", "wayland");
  } else {
    // Global key state and screen copies are X11's.
    qputenv("QT_QPA_PLATFORM", "xcb");
    if (Display* display = XOpenDisplay(nullptr)) {
      XCloseDisplay(display);
    } else {
      std::cerr << "Pixtrel : aucun écran X (DISPLAY) n'est accessible.\n";
      return 1;
    }
  }

  qt_messages = qInstallMessageHandler(OnQtMessage);
  QApplication qt(argc, argv);
  QApplication::setApplicationName("pixtrel");
  QApplication::setDesktopFileName("pixtrel");
  if (command && pixtrel::AskRunningProgram(*command))
    return 0;
  if (command && command->method == "Quit")
    return 0;  // nothing runs that could end
  // Square, flat-bevelled controls: the layouts were drawn for them, and the viewer's buttons
  // then leave no blended corners on its see-through strip.
  QApplication::setStyle("Windows");
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(QIcon(":/pixtrel.ico"));
  // Menus and dialogs in the windows' own face.
  QApplication::setFont(pixtrel::ToQFont(pixtrel::ui::Font{}));

  pixtrel::QtPlatform platform(wayland ? pixtrel::Session::kWayland : pixtrel::Session::kX11);
  pixtrel::InstanceService service(platform);
  if (!wayland && UnderWayland()) {
    std::cerr << "Pixtrel : " << kWaylandWarning << "\n";
    // Once the icon is up, and then the program goes on as usual.
    platform.AtStart([&platform] { platform.PlainBox(kWaylandWarning); });
  }
  if (command) {
    // Started by its own command line: once the program is up, as a running one would take it.
    platform.AtStart([&service, &command] { service.Run(*command); });
  }
  return pixtrel::RunProgram(platform, pixtrel::kShowNormal);
}
