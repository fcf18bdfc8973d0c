#include "support/wayland_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <stdexcept>
#include <thread>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "e2e/wayland/colour_pattern.h"
#include "support/picture_files.h"

namespace pixtrel::test {
namespace {

using Clock = std::chrono::steady_clock;

// The unprivileged user that runs sway, which refuses to run as root, and GNOME Shell, which
// greets root with a warning over the screen (tools/lib/common.sh, need_wayland_user, makes it).
constexpr char kSessionUser[] = "pixtrel-wayland";
// The socket name KWin and GNOME Shell take; sway picks its own.
constexpr char kSocket[] = "wayland-pixtrel";
constexpr char kReportPath[] = "/pixtrel/report";
constexpr char kShortcutsPath[] = "/org/freedesktop/portal/desktop";
constexpr char kShortcutsService[] = "org.pixtrel.test.Shortcuts";
constexpr char kWatcher[] = "org.kde.StatusNotifierWatcher";

// Qt D-Bus delivers calls and signals through the event loop of a Qt application.
void NeedApplication() {
  if (QCoreApplication::instance() != nullptr)
    return;
  static int argc = 1;
  static char name[] = "wayland_session";
  static char* argv[] = {name, nullptr};
  static QCoreApplication application(argc, argv);
}

void MakeFolder(const std::string& path, mode_t mode = 0755) {
  std::filesystem::create_directories(path);
  ::chmod(path.c_str(), mode);
}

std::string Tail(const std::string& text, std::size_t size = 2000) {
  return text.size() > size ? "..." + text.substr(text.size() - size) : text;
}

struct Launch {
  std::vector<std::string> argv;
  std::vector<std::string> env;
  std::string log;     // standard output and error, unless a channel takes them
  std::string folder;  // the working folder
  int channel = -1;    // a socket to be the standard input and output
};

pid_t Start(const Launch& launch) {
  // Everything made before the fork: Qt's D-Bus thread may hold the allocator's lock then.
  std::vector<char*> argv;
  for (const std::string& a : launch.argv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : launch.env)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0)
    return pid;
  // Gone with the test, however the test ends.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0)
    ::_exit(126);
  const int quiet = ::open("/dev/null", O_RDWR);
  ::dup2(quiet, 0);
  if (!launch.log.empty()) {
    const int out = ::open(launch.log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
  }
  if (launch.channel >= 0) {
    ::dup2(launch.channel, 0);
    ::dup2(launch.channel, 1);
  }
  ::execvpe(argv[0], argv.data(), envp.data());
  ::_exit(127);
}

// Ends a process we started: asked first, then made to.
void Stop(pid_t pid) {
  if (pid <= 0)
    return;
  ::kill(pid, SIGTERM);
  const auto end = Clock::now() + std::chrono::milliseconds(3000);
  while (::waitpid(pid, nullptr, WNOHANG) == 0) {
    if (Clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// One line from a descriptor, or nothing after the timeout.
std::optional<std::string> ReadLine(int fd, int timeout_ms) {
  std::string line;
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    pollfd wait{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
      return std::nullopt;
    char c = 0;
    if (::read(fd, &c, 1) != 1)
      return std::nullopt;
    if (c == '\n')
      return line;
    line += c;
  }
}

// Runs a program to its end; its exit code, or -1.
int RunToEnd(const Launch& launch, int timeout_ms = 10000) {
  const pid_t pid = Start(launch);
  int status = 0;
  if (!WaylandSession::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                               timeout_ms)) {
    Stop(pid);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string DesktopFile(const std::string& name, const std::string& exec,
                        const std::string& grant) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
         "\nNoDisplay=true\n" + grant + "\n";
}

std::string SelfPath() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

// A bus of our own: no service is started on demand, so that nothing runs in the session but
// what the session starts, and stops.
std::string BusConfig(const std::string& type, const std::string& socket,
                      const std::string& services) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n  <type>" +
         type + "</type>\n  <keep_umask/>\n  <listen>unix:path=" + socket +
         "</listen>\n  <auth>EXTERNAL</auth>\n  <servicedir>" + services +
         "</servicedir>\n  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n    <allow user=\"*\"/>\n  "
         "</policy>\n</busconfig>\n";
}

ui::Rect RectOf(const QJsonValue& value) {
  if (value.isArray()) {
    const QJsonArray a = value.toArray();
    return {a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()};
  }
  const QJsonObject o = value.toObject();
  return {o["x"].toInt(), o["y"].toInt(), o["width"].toInt(), o["height"].toInt()};
}

// The labels of a dbusmenu layout (ia{sv}av), depth first, each with its id.
void ReadMenu(const QDBusArgument& layout, std::vector<std::pair<int, std::string>>& entries) {
  int id = 0;
  QVariantMap properties;
  layout.beginStructure();
  layout >> id >> properties;
  if (properties.value("type").toString() != "separator" &&
      properties.value("visible", true).toBool() && properties.contains("label")) {
    // dbusmenu marks a mnemonic with "_", and writes a "_" of the label as "__".
    QString label = properties.value("label").toString();
    label.replace("__", "\x01").remove('_').replace("\x01", "_");
    entries.emplace_back(id, label.toStdString());
  }
  layout.beginArray();
  while (!layout.atEnd()) {
    QDBusVariant child;
    layout >> child;
    ReadMenu(child.variant().value<QDBusArgument>(), entries);
  }
  layout.endArray();
  layout.endStructure();
}

}  // namespace

// Our connection to the session's bus, and the object KWin's scripts report to.
struct WaylandSession::Bus : QDBusVirtualObject {
  QString name;
  QDBusConnection connection;
  std::optional<QString> report;

  Bus(const QString& address, const QString& connection_name)
      : name(connection_name), connection(QDBusConnection::connectToBus(address, name)) {
    connection.registerVirtualObject(kReportPath, this);
  }
  ~Bus() override {
    connection.unregisterObject(kReportPath);
    QDBusConnection::disconnectFromBus(name);
  }

  QString introspect(const QString&) const override {
    return R"xml(<interface name="org.pixtrel.test.Report">
  <method name="Report"><arg type="s" direction="in"/></method>
</interface>
)xml";
  }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
    if (message.member() != "Report" || message.arguments().size() != 1)
      return false;
    report = message.arguments()[0].toString();
    bus.send(message.createReply());
    return true;
  }

  QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& args = {}, int timeout_ms = 10000) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    return connection.call(message, QDBus::Block, timeout_ms);
  }
  // The value of a call that must succeed.
  QVariantList Ask(const QString& service, const QString& path, const QString& interface,
                   const QString& method, const QVariantList& args = {}) {
    const QDBusMessage reply = Call(service, path, interface, method, args);
    if (reply.type() != QDBusMessage::ReplyMessage) {
      throw std::runtime_error("WaylandSession: " + interface.toStdString() + "." +
                               method.toStdString() +
                               " failed: " + reply.errorMessage().toStdString());
    }
    return reply.arguments();
  }
  QVariant Property(const QString& service, const QString& path, const QString& interface,
                    const QString& property) {
    const QDBusMessage reply =
        Call(service, path, "org.freedesktop.DBus.Properties", "Get", {interface, property}, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
      return {};
    return reply.arguments()[0].value<QDBusVariant>().variant();
  }
  bool HasOwner(const QString& service) {
    const QDBusMessage reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "NameHasOwner", {service}, 3000);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
  }
};

WaylandSession::WaylandSession(const Setup& setup) : setup_(setup) {
  const auto start = Clock::now();
  NeedApplication();
  runtime_ = home_ / "run";
  MakeFolder(runtime_, 0700);
  compositor_runtime_ = runtime_;
  // The buses' sockets, where a compositor run as another user reaches them too.
  MakeFolder(home_ / "bus", 0755);
  for (const char* folder : {".config", ".local/share/applications", ".cache", "Pictures",
                             "Documents", "portals", "services"}) {
    MakeFolder(home_ / folder);
  }
  wayland_display_ = kSocket;
  try {
    StartBuses();
    if (setup.tray) {
      StartHelper("tray_watcher", {PIXTREL_TRAY_WATCHER}, {});
    }
    switch (setup.kind) {
      case Kind::kKWin:
        StartKWin();
        break;
      case Kind::kSway:
        StartSway();
        break;
      case Kind::kGnome:
        StartGnome();
        break;
    }
    if (setup.tray)
      WaitForName(kWatcher, "the tray watcher");
  } catch (...) {
    StopAll();
    throw;
  }
  start_seconds_ = std::chrono::duration<double>(Clock::now() - start).count();
}

WaylandSession::~WaylandSession() {
  StopAll();
}

void WaylandSession::StopAll() {
  if (fake_input_in_ >= 0)
    ::close(fake_input_in_);
  fake_input_in_ = -1;
  // The bus connection first: services see us go before the bus does.
  bus_.reset();
  for (auto process = processes_.rbegin(); process != processes_.rend(); ++process)
    Stop(process->pid);
  processes_.clear();
}

std::string WaylandSession::DisplayName(const std::string& socket) const {
  return compositor_runtime_ == runtime_ ? socket : compositor_runtime_ + "/" + socket;
}

void WaylandSession::Fail(const std::string& what) const {
  throw std::runtime_error("WaylandSession: " + what);
}

std::vector<std::string> WaylandSession::Environment() const {
  static const char* const kDesktops[] = {"KDE", "sway", "GNOME"};
  std::vector<std::string> env{
      "WAYLAND_DISPLAY=" + wayland_display_,
      "XDG_RUNTIME_DIR=" + runtime_,
      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (home_ / "bus/session"),
      "XDG_SESSION_TYPE=wayland",
      std::string("XDG_CURRENT_DESKTOP=") + kDesktops[static_cast<int>(setup_.kind)],
      "HOME=" + home_.Path(),
      "XDG_CONFIG_HOME=" + (home_ / ".config"),
      "XDG_DATA_HOME=" + (home_ / ".local/share"),
      "XDG_CACHE_HOME=" + (home_ / ".cache"),
  };
  switch (setup_.kind) {
    case Kind::kKWin:
      env.push_back("KDE_FULL_SESSION=true");
      env.push_back("KDE_SESSION_VERSION=5");
      break;
    case Kind::kSway:
      env.push_back("SWAYSOCK=" + swaysock_);
      break;
    case Kind::kGnome:
      env.push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (home_ / "bus/system"));
      break;
  }
  return env;
}

pid_t WaylandSession::Spawn(const std::vector<std::string>& argv,
                            const std::vector<std::string>& extra_env,
                            const std::string& log_path) {
  std::vector<std::string> env{"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8"};
  const std::vector<std::string> session = Environment();
  env.insert(env.end(), session.begin(), session.end());
  // A variable given again replaces the session's: a program reads the first of a name.
  for (const std::string& variable : extra_env) {
    const std::string name = variable.substr(0, variable.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(variable);
  }
  const pid_t pid = Start({argv, env, log_path, home_.Path()});
  if (pid < 0)
    Fail("cannot start " + argv[0]);
  processes_.push_back({pid, argv[0]});
  return pid;
}

pid_t WaylandSession::StartHelper(const std::string& name, const std::vector<std::string>& argv,
                                  const std::vector<std::string>& extra_env) {
  return Spawn(argv, extra_env, home_ / (name + ".log"));
}

void WaylandSession::WaitForName(const std::string& name, const std::string& what) {
  if (!WaitFor([&] { return bus_->HasOwner(QString::fromStdString(name)); }, 20000))
    Fail(what + " did not come up: no " + name + " on the session bus");
}

void WaylandSession::WaitForSocket(const std::string& path, pid_t pid, const std::string& what) {
  const bool up = WaitFor(
      [&] {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
      },
      20000);
  if (!up || ::waitpid(pid, nullptr, WNOHANG) == pid)
    Fail(what + " did not come up: no socket " + path);
}

void WaylandSession::StartBuses() {
  std::vector<std::string> types{"session"};
  if (setup_.kind == Kind::kGnome)
    types.push_back("system");
  for (const std::string& type : types) {
    const std::string socket = home_ / ("bus/" + type);
    const std::string config = home_ / (type + "_bus.conf");
    WriteFileBytes(config, BusConfig(type, socket, home_ / "services"));
    int channel[2];
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel);
    const pid_t pid =
        Start({{"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address"},
               {"PATH=/usr/bin:/bin"},
               home_ / (type + "_bus.log"),
               home_.Path(),
               channel[1]});
    ::close(channel[1]);
    processes_.push_back({pid, "dbus-daemon"});
    const std::optional<std::string> address = ReadLine(channel[0], 10000);
    ::close(channel[0]);
    if (!address || address->find(socket) == std::string::npos)
      Fail("the " + type + " bus did not come up: " + ReadFileBytes(home_ / (type + "_bus.log")));
  }
  static int count = 0;
  bus_ = std::make_unique<Bus>(QString::fromStdString("unix:path=" + (home_ / "bus/session")),
                               QString("pixtrel-session-%1").arg(++count));
  if (!bus_->connection.isConnected())
    Fail("cannot connect to the session bus: " +
         bus_->connection.lastError().message().toStdString());
}

void WaylandSession::StartPortal(const std::string& backend, const std::string& backend_name) {
  StartHelper(std::filesystem::path(backend).filename().string(), {backend},
              {"QT_QPA_PLATFORM=wayland"});
  WaitForName(backend_name, backend);
  // Only the backends whose files are in our folder answer: none is activated behind our back.
  StartHelper("xdg-desktop-portal", {PIXTREL_XDG_DESKTOP_PORTAL},
              {"XDG_DESKTOP_PORTAL_DIR=" + (home_ / "portals")});
  WaitForName("org.freedesktop.portal.Desktop", "xdg-desktop-portal");
}

void WaylandSession::StartKWin() {
  // KWin grants its restricted interfaces to the programs whose desktop file asks for them,
  // matching the file's Exec= to the caller's executable: our input client, and ourselves for
  // ScreenShot2.
  const std::string applications = home_ / ".local/share/applications";
  WriteFileBytes(applications + "/pixtrel-test-fake-input.desktop",
                 DesktopFile("Test input", PIXTREL_FAKE_INPUT,
                             "X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"));
  WriteFileBytes(applications + "/pixtrel-test-session.desktop",
                 DesktopFile("Test session", SelfPath(),
                             "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2"));
  if (setup_.grant_program)
    GrantProgram(PIXTREL_PROGRAM);
  // kwin_wayland carries a file capability (cap_sys_resource) that a container's bounding set
  // may lack, and then it cannot be started at all; a copy has none.
  const std::string kwin = home_ / "kwin_wayland";
  std::filesystem::copy_file(PIXTREL_KWIN_WAYLAND, kwin);
  // OpenGL compositing on llvmpipe: KWin's screenshot effect needs it. One thread: two cores.
  const pid_t pid = StartHelper(
      "kwin",
      {kwin, "--virtual", "--width", std::to_string(setup_.width), "--height",
       std::to_string(setup_.height), "--socket", kSocket, "--no-lockscreen", "--no-kactivities"},
      {"LP_NUM_THREADS=1"});
  WaitForSocket(runtime_ + "/" + kSocket, pid, "kwin_wayland");
  WaitForName("org.kde.KWin", "kwin_wayland");
  kwin_started_ = true;
  WriteFileBytes(home_ / "portals/kde.portal", ReadFileBytes(PIXTREL_PORTALS_FOLDER "/kde.portal"));
  StartPortal(PIXTREL_XDG_DESKTOP_PORTAL_KDE, "org.freedesktop.impl.portal.desktop.kde");
}

std::vector<std::string> WaylandSession::AsSessionUser(uid_t& uid) {
  uid = ::geteuid();
  if (uid != 0)
    return {};
  const passwd* user = ::getpwnam(kSessionUser);
  if (user == nullptr)
    Fail(std::string("there is no user ") + kSessionUser +
         " to run the compositor (tools/lib/common.sh: need_wayland_user)");
  uid = user->pw_uid;
  // A runtime folder of its own, which it reaches through ours; root's clients keep theirs, as
  // a program finds fault with one it does not own, and connect to its socket by its path.
  ::chmod(home_.Path().c_str(), 0711);
  compositor_runtime_ = home_ / "compositor";
  MakeFolder(compositor_runtime_, 0700);
  if (::chown(compositor_runtime_.c_str(), user->pw_uid, user->pw_gid) != 0)
    Fail("cannot give the compositor's runtime folder to " + std::string(kSessionUser));
  return {"setpriv", "--reuid=" + std::to_string(user->pw_uid),
          "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--pdeathsig=TERM"};
}

void WaylandSession::StartSway() {
  // sway refuses to run as root.
  uid_t uid = 0;
  const std::vector<std::string> as_user = AsSessionUser(uid);
  const std::string config = home_ / "sway.config";
  // No bar: swaybar would be a tray host of its own. Our colour windows float at their size.
  WriteFileBytes(config,
                 "xwayland disable\n"
                 "output HEADLESS-1 mode " +
                     std::to_string(setup_.width) + "x" + std::to_string(setup_.height) +
                     " bg #336699 solid_color\n"
                     "for_window [app_id=\"pixtrel-test-colours\"] floating enable\n");
  ::chmod(config.c_str(), 0644);
  std::vector<std::string> argv = as_user;
  argv.insert(argv.end(), {"sway", "-c", config});
  const pid_t pid =
      Start({argv,
             {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "HOME=" + home_.Path(),
              "XDG_RUNTIME_DIR=" + compositor_runtime_, "XDG_CURRENT_DESKTOP=sway",
              "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"},
             home_ / "sway.log",
             home_.Path()});
  processes_.push_back({pid, "sway"});
  // setpriv runs sway in its own process: the socket is named by sway's user and that pid.
  swaysock_ = compositor_runtime_ + "/sway-ipc." + std::to_string(uid) + "." + std::to_string(pid) +
              ".sock";
  WaitForSocket(swaysock_, pid, "sway");
  std::string socket;
  WaitFor([&] {
    for (const std::string& name : ListFolder(compositor_runtime_)) {
      if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos)
        socket = name;
    }
    return !socket.empty();
  });
  if (socket.empty())
    Fail("sway did not come up: no Wayland socket in " + compositor_runtime_);
  wayland_display_ = DisplayName(socket);

  // portal-wlr takes screen copies through PipeWire, and stops without it.
  const pid_t pipewire = StartHelper("pipewire", {"pipewire"}, {});
  WaitForSocket(runtime_ + "/pipewire-0", pipewire, "pipewire");
  WriteFileBytes(home_ / "portals/wlr.portal", ReadFileBytes(PIXTREL_PORTALS_FOLDER "/wlr.portal"));
  if (setup_.mock_shortcuts) {
    static const char* const kModes[] = {"--mode=bind", "--mode=bind-only", "--mode=refuse"};
    StartHelper("mock_shortcuts",
                {PIXTREL_MOCK_SHORTCUTS, kModes[static_cast<int>(setup_.shortcut_mode)]}, {});
    WaitForName(kShortcutsService, "the GlobalShortcuts backend");
    WriteFileBytes(home_ / "portals/pixtrel-test.portal",
                   std::string("[portal]\nDBusName=") + kShortcutsService +
                       "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=sway;\n");
  }
  // xdg-desktop-portal offers the Screenshot portal only with an Access backend beside it:
  // GTK's, which it takes for sway though its file names GNOME alone.
  StartHelper("xdg-desktop-portal-gtk", {PIXTREL_XDG_DESKTOP_PORTAL_GTK}, {});
  WaitForName("org.freedesktop.impl.portal.desktop.gtk", "xdg-desktop-portal-gtk");
  WriteFileBytes(home_ / "portals/gtk.portal", ReadFileBytes(PIXTREL_PORTALS_FOLDER "/gtk.portal"));
  StartPortal(PIXTREL_XDG_DESKTOP_PORTAL_WLR, "org.freedesktop.impl.portal.desktop.wlr");
  // Our keyboard and pointer from the start: a client that binds the seat's keyboard after its
  // first keys may miss them. The first key only wakes the keyboard.
  FakeInput("key 42 1");
  FakeInput("key 42 0");
}

void WaylandSession::StartGnome() {
  uid_t uid = 0;
  std::vector<std::string> argv = AsSessionUser(uid);
  // The shell's own folders, which it must be able to write: the portal's screenshots go to its
  // HOME. Its settings come from a file, as there is no dconf service: no welcome tour, no
  // animations to draw on two cores, no overview when the pointer reaches a corner.
  const std::string shell_home = compositor_runtime_ + "/shell";
  MakeFolder(shell_home + "/.config/glib-2.0/settings", 0700);
  // Nor its word that there is no lock screen without GDM, once a user has seen it.
  MakeFolder(shell_home + "/.local/share/gnome-shell", 0700);
  WriteFileBytes(shell_home + "/.local/share/gnome-shell/lock-warning-shown", "");
  WriteFileBytes(
      shell_home + "/.config/glib-2.0/settings/keyfile",
      "[org/gnome/shell]\nwelcome-dialog-last-shown-version='99'\n"
      "[org/gnome/desktop/interface]\nenable-animations=false\nenable-hot-corners=false\n");
  std::vector<std::string> owned{shell_home};
  for (const auto& entry : std::filesystem::recursive_directory_iterator(shell_home))
    owned.push_back(entry.path().string());
  for (const std::string& path : owned) {
    if (::chown(path.c_str(), uid, static_cast<gid_t>(-1)) != 0)
      Fail("cannot give " + path + " to the shell's user");
  }
  argv.insert(argv.end(),
              {"gnome-shell", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
               std::to_string(setup_.width) + "x" + std::to_string(setup_.height),
               "--wayland-display", kSocket});
  const pid_t pid = StartHelper(
      "gnome-shell", argv,
      {"HOME=" + shell_home, "XDG_CONFIG_HOME=" + shell_home + "/.config",
       "XDG_DATA_HOME=" + shell_home + "/.local/share", "XDG_CACHE_HOME=" + shell_home + "/.cache",
       "XDG_RUNTIME_DIR=" + compositor_runtime_, "GSETTINGS_BACKEND=keyfile", "LP_NUM_THREADS=1"});
  WaitForSocket(compositor_runtime_ + "/" + kSocket, pid, "gnome-shell");
  wayland_display_ = DisplayName(kSocket);
  WaitForName("org.gnome.Shell.Screenshot", "gnome-shell");
  // It starts in the overview, over every window.
  const auto overview = [&] {
    return bus_->Property("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell",
                          "OverviewActive");
  };
  WaitFor([&] { return overview().toBool(); }, 5000);
  bus_->Call("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Set",
             {"org.gnome.Shell", "OverviewActive", QVariant::fromValue(QDBusVariant(false))});
  if (!WaitFor([&] { return overview().isValid() && !overview().toBool(); }))
    Fail("gnome-shell stays in its overview");
  // A seat without a keyboard gives no program the keyboard focus, nor the clipboard. The
  // devices' first events only wake them: the shell passes them on to nobody.
  RemoteDesktop("NotifyKeyboardKeycode", {42, 1});
  RemoteDesktop("NotifyKeyboardKeycode", {42, 0});
  RemoteDesktop("NotifyPointerMotionRelative", {1, 1});
  // The shell takes screenshots and lists windows only for the programs that own these names,
  // its screenshot tool's and a portal's. No such program runs on this private bus.
  for (const char* name : {"org.gnome.Screenshot", "org.freedesktop.impl.portal.desktop.gtk"}) {
    if (!bus_->connection.registerService(name))
      Fail(std::string("cannot own ") + name);
  }
  StartHelper("xdg-permission-store", {PIXTREL_XDG_PERMISSION_STORE}, {});
  WaitForName("org.freedesktop.impl.portal.PermissionStore", "xdg-permission-store");
  if (setup_.screenshot_permission) {
    // What "Allow" in the shell's first dialog stores: screenshots for every program.
    bus_->Ask("org.freedesktop.impl.portal.PermissionStore",
              "/org/freedesktop/impl/portal/PermissionStore",
              "org.freedesktop.impl.portal.PermissionStore", "SetPermission",
              {"screenshot", true, "screenshot", "", QStringList{"yes"}});
  }
  WriteFileBytes(home_ / "portals/gnome.portal",
                 ReadFileBytes(PIXTREL_PORTALS_FOLDER "/gnome.portal"));
  // xdg-desktop-portal offers the Screenshot portal only where some backend answers for Access,
  // which it never asks of a program outside a sandbox. GTK's would, but its name is ours here:
  // this file names us, and the portal starts.
  WriteFileBytes(home_ / "portals/pixtrel-test-access.portal",
                 "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.gtk\n"
                 "Interfaces=org.freedesktop.impl.portal.Access;\nUseIn=gnome;\n");
  StartPortal(PIXTREL_XDG_DESKTOP_PORTAL_GNOME, "org.freedesktop.impl.portal.desktop.gnome");
}

void WaylandSession::GrantProgram(const std::string& path) const {
  if (setup_.kind != Kind::kKWin)
    return;
  WriteFileBytes(home_ / (".local/share/applications/pixtrel-test-" +
                          std::filesystem::path(path).filename().string() + ".desktop"),
                 DesktopFile("Program under test", path,
                             "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2"));
  // A running KWin looks at its desktop files again at most every 1.5 s.
  if (kwin_started_)
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
}

void WaylandSession::StartProgram(const std::vector<std::string>& args,
                                  const std::vector<std::string>& extra_env) {
  std::vector<std::string> argv{PIXTREL_PROGRAM};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = extra_env;
  // A sanitizer build's program reports to the same settings as the tests.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name))
      env.push_back(std::string(name) + "=" + value);
  }
  // Mesa's EGL, which Qt's Wayland plugin loads, keeps memory to the end and has no frame
  // pointers: its leaks are told apart only by a full stack.
  if (const char* asan = std::getenv("ASAN_OPTIONS"))
    env.push_back(std::string("ASAN_OPTIONS=") + asan + ":fast_unwind_on_malloc=0");
  program_ = Spawn(argv, env, home_ / "pixtrel.log");
}

std::optional<int> WaylandSession::WaitForExit(int timeout_ms) {
  int status = 0;
  if (program_ <= 0 ||
      !WaitFor([&] { return ::waitpid(program_, &status, WNOHANG) == program_; }, timeout_ms))
    return std::nullopt;
  // Reaped: its number may be another process's from now on.
  std::erase_if(processes_, [&](const Process& p) { return p.pid == program_; });
  program_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WaylandSession::Signal(int signal) const {
  if (program_ > 0)
    ::kill(program_, signal);
}

bool WaylandSession::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (Clock::now() > end)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// --- Input

void WaylandSession::FakeInput(const std::string& command) {
  if (fake_input_ < 0) {
    int channel[2];
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel);
    std::vector<std::string> env{"PATH=/usr/bin:/bin"};
    const std::vector<std::string> session = Environment();
    env.insert(env.end(), session.begin(), session.end());
    std::vector<std::string> argv{PIXTREL_FAKE_INPUT};
    if (setup_.kind == Kind::kSway) {
      argv.insert(argv.end(),
                  {"--wlroots", std::to_string(setup_.width), std::to_string(setup_.height)});
    }
    fake_input_ = Start({argv, env, home_ / "fake_input.log", home_.Path(), channel[1]});
    ::close(channel[1]);
    processes_.push_back({fake_input_, "fake_input"});
    fake_input_in_ = channel[0];
    if (ReadLine(fake_input_in_, 10000) != "ready")
      Fail("our input client did not come up: " + ReadFileBytes(home_ / "fake_input.log"));
  }
  const std::string line = command + "\n";
  if (::send(fake_input_in_, line.data(), line.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(line.size()) ||
      ReadLine(fake_input_in_, 5000) != "ok")
    Fail("our input client did not take \"" + command +
         "\": " + ReadFileBytes(home_ / "fake_input.log"));
}

void WaylandSession::RemoteDesktop(const std::string& method, const std::vector<int>& args) {
  const QString service = "org.gnome.Mutter.RemoteDesktop";
  if (remote_desktop_.empty()) {
    // A session of Mutter's remote-desktop interface, tied to our connection: what a
    // remote-desktop server would open, with no dialog. Its virtual devices are the only
    // keyboard and pointer of the headless seat.
    const QVariantList created =
        bus_->Ask(service, "/org/gnome/Mutter/RemoteDesktop", service, "CreateSession");
    remote_desktop_ = created.value(0).value<QDBusObjectPath>().path().toStdString();
    bus_->Ask(service, QString::fromStdString(remote_desktop_), service + ".Session", "Start");
  }
  if (method.empty())
    return;
  QVariantList values;
  if (method == "NotifyKeyboardKeycode") {
    values = {static_cast<uint>(args[0]), args[1] != 0};
  } else if (method == "NotifyPointerButton") {
    values = {args[0], args[1] != 0};
  } else {
    values = {static_cast<double>(args[0]), static_cast<double>(args[1])};
  }
  bus_->Ask(service, QString::fromStdString(remote_desktop_), service + ".Session",
            QString::fromStdString(method), values);
}

void WaylandSession::KeyDown(int code) {
  if (setup_.kind == Kind::kGnome)
    RemoteDesktop("NotifyKeyboardKeycode", {code, 1});
  else
    FakeInput("key " + std::to_string(code) + " 1");
}

void WaylandSession::KeyUp(int code) {
  if (setup_.kind == Kind::kGnome)
    RemoteDesktop("NotifyKeyboardKeycode", {code, 0});
  else
    FakeInput("key " + std::to_string(code) + " 0");
}

void WaylandSession::Key(const std::vector<int>& codes) {
  for (int code : codes)
    KeyDown(code);
  for (auto code = codes.rbegin(); code != codes.rend(); ++code)
    KeyUp(*code);
}

namespace {

// One i3-style IPC exchange with sway: its answer's payload.
std::string SwayIpc(const std::string& socket, std::uint32_t type, const std::string& payload) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    ::close(fd);
    throw std::runtime_error("WaylandSession: cannot reach sway at " + socket);
  }
  std::string message = "i3-ipc";
  const std::uint32_t header[2] = {static_cast<std::uint32_t>(payload.size()), type};
  message.append(reinterpret_cast<const char*>(header), sizeof(header));
  message += payload;
  ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[65536];
  std::size_t expected = 14;
  while (answer.size() < expected) {
    const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0)
      break;
    answer.append(buffer, static_cast<std::size_t>(got));
    if (answer.size() >= 14) {
      std::uint32_t size = 0;
      std::memcpy(&size, answer.data() + 6, 4);
      expected = 14 + size;
    }
  }
  ::close(fd);
  return answer.size() >= 14 ? answer.substr(14) : std::string();
}

}  // namespace

void WaylandSession::Pointer(int x, int y) {
  if (setup_.kind == Kind::kGnome) {
    // Absolute moves need a screen cast stream: relative ones from the bottom right corner,
    // where the pointer stops and nothing happens, unaccelerated.
    RemoteDesktop("NotifyPointerMotionRelative", {100000, 100000});
    RemoteDesktop("NotifyPointerMotionRelative", {x - (setup_.width - 1), y - (setup_.height - 1)});
  } else {
    FakeInput("motion " + std::to_string(x) + " " + std::to_string(y));
  }
}

void WaylandSession::Button(int button, bool down) {
  if (setup_.kind == Kind::kGnome)
    RemoteDesktop("NotifyPointerButton", {button, down ? 1 : 0});
  else
    FakeInput("button " + std::to_string(button) + (down ? " 1" : " 0"));
}

void WaylandSession::Click(int button) {
  Button(button, true);
  Button(button, false);
}

void WaylandSession::Drag(ui::Point from, ui::Point to) {
  Pointer(from.x, from.y);
  Button(kLeftButton, true);
  // Through points between, as a hand moves: a program may look at the way as well as the end.
  constexpr int kSteps = 8;
  for (int i = 1; i <= kSteps; ++i) {
    Pointer(from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Button(kLeftButton, false);
}

// --- The screen and the clipboard

Bitmap WaylandSession::KWinScreen() {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0)
    Fail("pipe failed");
  QVariantMap metadata;
  {
    // KWin writes the pixels into the pipe after its answer; our copy of the write end must be
    // gone before we read, or the reading never ends.
    const QDBusUnixFileDescriptor write_end(pipe[1]);
    ::close(pipe[1]);
    const QDBusMessage reply = bus_->Call(
        "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureWorkspace",
        {QVariantMap{{"include-cursor", false}, {"native-resolution", true}},
         QVariant::fromValue(write_end)});
    if (reply.type() != QDBusMessage::ReplyMessage) {
      ::close(pipe[0]);
      Fail("KWin's CaptureWorkspace failed: " + reply.errorMessage().toStdString());
    }
    metadata = qdbus_cast<QVariantMap>(reply.arguments().value(0));
  }
  std::string bytes;
  char buffer[65536];
  ssize_t got = 0;
  while ((got = ::read(pipe[0], buffer, sizeof(buffer))) > 0)
    bytes.append(buffer, static_cast<std::size_t>(got));
  ::close(pipe[0]);
  const int width = metadata.value("width").toInt();
  const int height = metadata.value("height").toInt();
  const std::size_t stride = metadata.value("stride").toUInt();
  // QImage's 32-bit formats (RGB32, ARGB32, premultiplied or not: all opaque here) hold
  // blue, green, red, alpha in memory, as our 32-bit pictures do.
  if (width <= 0 || bytes.size() < stride * static_cast<std::size_t>(height))
    Fail("KWin's CaptureWorkspace gave " + std::to_string(bytes.size()) + " bytes for " +
         std::to_string(width) + " x " + std::to_string(height));
  Bitmap screen(width, height, 32);
  for (int y = 0; y < height; ++y)
    std::memcpy(screen.Row(y), bytes.data() + stride * y, static_cast<std::size_t>(width) * 4);
  return screen;
}

Bitmap WaylandSession::GnomeScreen() {
  // Where the shell may write.
  const std::string file = compositor_runtime_ + "/shell/screen.png";
  const QVariantList answer = bus_->Ask("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                                        "org.gnome.Shell.Screenshot", "Screenshot",
                                        {false, false, QString::fromStdString(file)});
  if (!answer.value(0).toBool())
    Fail("GNOME Shell's Screenshot failed");
  Bitmap screen = DecodeImage(ReadFileBytes(file));
  std::filesystem::remove(file);
  return screen;
}

Bitmap WaylandSession::Screen() {
  switch (setup_.kind) {
    case Kind::kKWin:
      return KWinScreen();
    case Kind::kGnome:
      return GnomeScreen();
    case Kind::kSway:
      break;
  }
  // PPM: no compression either way.
  const std::string file = home_ / "screen.ppm";
  std::vector<std::string> env{"PATH=/usr/bin:/bin"};
  const std::vector<std::string> session = Environment();
  env.insert(env.end(), session.begin(), session.end());
  if (RunToEnd({{"grim", "-t", "ppm", file}, env, home_ / "grim.log", home_.Path()}) != 0)
    Fail("grim failed: " + ReadFileBytes(home_ / "grim.log"));
  Bitmap screen = DecodeImage(ReadFileBytes(file));
  std::filesystem::remove(file);
  return screen;
}

Bitmap WaylandSession::ClipboardImage() const {
  const std::string file = home_ / "clipboard.png";
  std::vector<std::string> env{"PATH=/usr/bin:/bin"};
  const std::vector<std::string> session = Environment();
  env.insert(env.end(), session.begin(), session.end());
  // wl-paste writes what it reads to its standard output: a shell sends that to the file. KWin
  // 5.27 never tells a data-control client that the clipboard is empty, and wl-paste waits on:
  // an answer takes it some 20 ms, none in a second means none.
  if (RunToEnd({{"sh", "-c", "exec wl-paste --no-newline -t image/png > \"$0\"", file},
                env,
                home_ / "wl-paste.log",
                home_.Path()},
               1000) != 0)
    return Bitmap();
  return DecodeImage(ReadFileBytes(file));
}

void WaylandSession::Shot(const std::string& name) {
  const std::string path = std::string(PIXTREL_SHOTS) + "/" + name + ".png";
  MakeFolder(PIXTREL_SHOTS);
  SavePng(Screen(), path);
  std::cout << "screenshot: " << path << "\n";
}

// --- The tray

std::string WaylandSession::TrayItem() {
  const QStringList items =
      bus_->Property(kWatcher, "/StatusNotifierWatcher", kWatcher, "RegisteredStatusNotifierItems")
          .toStringList();
  return items.isEmpty() ? std::string() : items.first().toStdString();
}

bool WaylandSession::TrayItemShown() {
  return !TrayItem().empty();
}

namespace {

std::pair<QString, QString> ServiceAndPath(const std::string& item) {
  const std::size_t slash = item.find('/');
  return {QString::fromStdString(item.substr(0, slash)),
          QString::fromStdString(item.substr(slash))};
}

}  // namespace

bool WaylandSession::TrayActivate() {
  const std::string item = TrayItem();
  if (item.empty())
    return false;
  const auto [service, path] = ServiceAndPath(item);
  return bus_->Call(service, path, "org.kde.StatusNotifierItem", "Activate", {0, 0}).type() ==
         QDBusMessage::ReplyMessage;
}

bool WaylandSession::TrayContextMenu() {
  const std::string item = TrayItem();
  if (item.empty())
    return false;
  const auto [service, path] = ServiceAndPath(item);
  return bus_->Call(service, path, "org.kde.StatusNotifierItem", "ContextMenu", {0, 0}).type() ==
         QDBusMessage::ReplyMessage;
}

std::vector<std::string> WaylandSession::TrayMenuLabels() {
  std::vector<std::string> labels;
  const std::string item = TrayItem();
  if (item.empty())
    return labels;
  const auto [service, path] = ServiceAndPath(item);
  const QString menu = bus_->Property(service, path, "org.kde.StatusNotifierItem", "Menu")
                           .value<QDBusObjectPath>()
                           .path();
  if (menu.isEmpty())
    return labels;
  // A host tells the menu it is about to show, as the program may fill it in then.
  bus_->Call(service, menu, "com.canonical.dbusmenu", "AboutToShow", {0});
  const QDBusMessage reply =
      bus_->Call(service, menu, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
    return labels;
  std::vector<std::pair<int, std::string>> entries;
  ReadMenu(reply.arguments()[1].value<QDBusArgument>(), entries);
  menu_ids_.clear();
  for (const auto& [id, label] : entries) {
    labels.push_back(label);
    menu_ids_.emplace_back(label, id);
  }
  menu_path_ = menu.toStdString();
  return labels;
}

bool WaylandSession::TrayMenuClick(const std::string& label) {
  TrayMenuLabels();
  const auto entry = std::find_if(menu_ids_.begin(), menu_ids_.end(),
                                  [&](const auto& e) { return e.first == label; });
  if (entry == menu_ids_.end())
    return false;
  const auto [service, path] = ServiceAndPath(TrayItem());
  const QDBusMessage reply =
      bus_->Call(service, QString::fromStdString(menu_path_), "com.canonical.dbusmenu", "Event",
                 {entry->second, "clicked", QVariant::fromValue(QDBusVariant(0)), 0u});
  return reply.type() == QDBusMessage::ReplyMessage;
}

// --- Windows

pid_t WaylandSession::ShowColours(const std::string& title, int width, int height,
                                  const std::vector<std::string>& options) {
  std::vector<std::string> argv{PIXTREL_COLOUR_WINDOW, title, std::to_string(width),
                                std::to_string(height)};
  argv.insert(argv.end(), options.begin(), options.end());
  return Spawn(argv, {"QT_QPA_PLATFORM=wayland"}, WindowLogPath(title));
}

std::string WaylandSession::WindowLogPath(const std::string& title) const {
  return home_ / ("window-" + title + ".log");
}

std::string WaylandSession::WindowLog(const std::string& title) const {
  return ReadFileBytes(WindowLogPath(title));
}

std::string WaylandSession::KWinScript(const std::string& body) {
  // The script calls us back with what it found.
  static int count = 0;
  const std::string name = "pixtrel-test-" + std::to_string(++count);
  const std::string file = home_ / (name + ".js");
  WriteFileBytes(file, "var report;\ntry {\n  report = (function() {\n" + body +
                           "\n  })();\n} catch (e) {\n  report = \"error: \" + e;\n}\ncallDBus(\"" +
                           bus_->connection.baseService().toStdString() + "\", \"" + kReportPath +
                           "\", \"org.pixtrel.test.Report\", \"Report\", report);\n");
  bus_->report.reset();
  // Now and then KWin, busy with a program starting, drops a script run: run it again.
  for (int attempt = 0; attempt < 3 && !bus_->report; ++attempt) {
    const QVariantList loaded =
        bus_->Ask("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "loadScript",
                  {QString::fromStdString(file), QString::fromStdString(name)});
    // Started through Scripting: KWin numbers scripts by their count, and the object of one
    // just unloaded may still answer to the new one's number.
    if (loaded.value(0).toInt() < 0)
      continue;
    bus_->Ask("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "start");
    WaitFor([&] { return bus_->report.has_value(); }, 2000);
    bus_->Call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript",
               {QString::fromStdString(name)});
  }
  std::filesystem::remove(file);
  if (!bus_->report || bus_->report->startsWith("error: "))
    Fail("KWin's script failed: " + bus_->report.value_or("no report").toStdString() + "\n" +
         Tail(ReadFileBytes(home_ / "kwin.log")));
  return bus_->report->toStdString();
}

QJsonObject WaylandSession::SwayTree() {
  return QJsonDocument::fromJson(QByteArray::fromStdString(SwayIpc(swaysock_, 4, ""))).object();
}

namespace {

// Every window of sway's tree, depth first.
void SwayWindows(const QJsonObject& node, std::vector<QJsonObject>& windows) {
  if (node["type"] == "con" || node["type"] == "floating_con") {
    if (node.contains("app_id") || node.contains("window"))
      windows.push_back(node);
  }
  for (const char* children : {"nodes", "floating_nodes"}) {
    for (const QJsonValue& child : node[children].toArray())
      SwayWindows(child.toObject(), windows);
  }
}

}  // namespace

bool WaylandSession::WaitForWindow(const std::string& title, int timeout_ms) {
  const QString wanted = QString::fromStdString(title);
  return WaitFor(
      [&] {
        switch (setup_.kind) {
          case Kind::kKWin: {
            const std::string captions = KWinScript(
                "var captions = [];\n"
                "var clients = workspace.clientList();\n"
                "for (var i = 0; i < clients.length; ++i) "
                "captions.push(String(clients[i].caption));\n"
                "return JSON.stringify(captions);");
            return QJsonDocument::fromJson(QByteArray::fromStdString(captions))
                .array()
                .contains(wanted);
          }
          case Kind::kSway: {
            std::vector<QJsonObject> windows;
            SwayWindows(SwayTree(), windows);
            return std::any_of(windows.begin(), windows.end(), [&](const QJsonObject& window) {
              return window["name"].toString() == wanted;
            });
          }
          case Kind::kGnome: {
            const QDBusMessage reply =
                bus_->Call("org.gnome.Shell.Introspect", "/org/gnome/Shell/Introspect",
                           "org.gnome.Shell.Introspect", "GetWindows");
            if (reply.type() != QDBusMessage::ReplyMessage)
              return false;
            const QDBusArgument windows = reply.arguments().value(0).value<QDBusArgument>();
            bool found = false;
            windows.beginMap();
            while (!windows.atEnd()) {
              quint64 id = 0;
              QVariantMap properties;
              windows.beginMapEntry();
              windows >> id >> properties;
              windows.endMapEntry();
              found = found || properties.value("title").toString() == wanted;
            }
            windows.endMap();
            return found;
          }
        }
        return false;
      },
      timeout_ms);
}

std::vector<WaylandSession::WindowInfo> WaylandSession::Windows() {
  if (setup_.kind != Kind::kKWin)
    Fail("Windows() needs KWin");
  const std::string found = KWinScript(
      "var list = [];\n"
      "var windows = workspace.clientList().slice();\n"
      "windows.sort(function(a, b) { return a.stackingOrder - b.stackingOrder; });\n"
      "for (var i = 0; i < windows.length; ++i) {\n"
      "  var w = windows[i], f = w.frameGeometry;\n"
      "  list.push({caption: String(w.caption), frame: [f.x, f.y, f.width, f.height],\n"
      "             above: w.keepAbove, opacity: w.opacity});\n"
      "}\n"
      "return JSON.stringify(list);");
  std::vector<WindowInfo> windows;
  for (const QJsonValue& value :
       QJsonDocument::fromJson(QByteArray::fromStdString(found)).array()) {
    const QJsonObject window = value.toObject();
    windows.push_back({window["caption"].toString().toStdString(), RectOf(window["frame"]),
                       window["above"].toBool(), window["opacity"].toDouble()});
  }
  return windows;
}

std::optional<WaylandSession::WindowGeometry> WaylandSession::ActiveWindow() {
  switch (setup_.kind) {
    case Kind::kKWin: {
      // KWin 5.27 tells scripts no client area: the buffer is the program's surface, which is
      // its client area when KWin draws the decoration (a program that draws its own, with a
      // shadow around it, has a larger buffer than its frame).
      const std::string found = KWinScript(
          "var c = workspace.activeClient;\n"
          "if (!c) return \"\";\n"
          "var f = c.frameGeometry, b = c.bufferGeometry;\n"
          "return JSON.stringify({frame: [f.x, f.y, f.width, f.height],\n"
          "                       client: [b.x, b.y, b.width, b.height]});");
      const QJsonObject window = QJsonDocument::fromJson(QByteArray::fromStdString(found)).object();
      if (window.isEmpty())
        return std::nullopt;
      return WindowGeometry{RectOf(window["frame"]), RectOf(window["client"])};
    }
    case Kind::kSway: {
      std::vector<QJsonObject> windows;
      SwayWindows(SwayTree(), windows);
      for (const QJsonObject& window : windows) {
        if (!window["focused"].toBool())
          continue;
        // rect holds the border but not the title bar above it (deco_rect); window_rect is the
        // surface, from rect's corner.
        const ui::Rect rect = RectOf(window["rect"]);
        const ui::Rect surface = RectOf(window["window_rect"]);
        const ui::Rect title = RectOf(window["deco_rect"]);
        return WindowGeometry{
            {rect.left, rect.top - title.height, rect.width, rect.height + title.height},
            {rect.left + surface.left, rect.top + surface.top, surface.width, surface.height}};
      }
      return std::nullopt;
    }
    case Kind::kGnome:
      return std::nullopt;
  }
  return std::nullopt;
}

// --- Our GlobalShortcuts backend

namespace {

bool AskShortcuts(QDBusConnection& bus, const char* method, const std::string& id) {
  QDBusMessage message = QDBusMessage::createMethodCall(kShortcutsService, kShortcutsPath,
                                                        "org.pixtrel.test.Shortcuts", method);
  message.setArguments({QString::fromStdString(id)});
  const QDBusMessage reply = bus.call(message, QDBus::Block, 5000);
  return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

}  // namespace

bool WaylandSession::Trigger(const std::string& id) {
  return AskShortcuts(bus_->connection, "Trigger", id);
}

bool WaylandSession::ShortcutPress(const std::string& id) {
  return AskShortcuts(bus_->connection, "Press", id);
}

bool WaylandSession::ShortcutRelease(const std::string& id) {
  return AskShortcuts(bus_->connection, "Release", id);
}

std::vector<std::string> WaylandSession::ShortcutCalls() {
  std::vector<std::string> calls;
  const QDBusMessage reply =
      bus_->Call(kShortcutsService, kShortcutsPath, "org.pixtrel.test.Shortcuts", "Calls");
  for (const QString& call : reply.arguments().value(0).toStringList())
    calls.push_back(call.toStdString());
  return calls;
}

// --- Finding the colour window

ui::Rect FindColours(const Bitmap& screen, int width, int height) {
  namespace colours = pixtrel::test::colours;
  const auto is = [&](int x, int y, colours::Rgb rgb) {
    return screen.PixelColor(x, y) == Color{rgb.red, rgb.green, rgb.blue};
  };
  for (int top = 0; top + height <= screen.Height(); ++top) {
    for (int left = 0; left + width <= screen.Width(); ++left) {
      // The top left corner: a top pixel over a left one.
      if (!is(left, top, colours::kTop) || !is(left, top + 1, colours::kLeft))
        continue;
      bool whole = true;
      for (int y = 0; y < height && whole; ++y) {
        for (int x = 0; x < width && whole; ++x)
          whole = is(left + x, top + y, colours::At(x, y, width, height));
      }
      if (whole)
        return {left, top, width, height};
    }
  }
  return {};
}

}  // namespace pixtrel::test
