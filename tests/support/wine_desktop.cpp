#include "support/wine_desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <QImage>

#include "platform/x11/x11_display.h"
#include "support/desktop.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace pixtrel::test {
namespace {

namespace fs = std::filesystem;

Display* X(void* display) {
  return static_cast<Display*>(display);
}

// Waits for a child; its exit code, or -1 once killed after the timeout.
int Reap(pid_t pid, int timeout_ms) {
  int status = 0;
  if (!Desktop::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeout_ms)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Windows come and go while the tests walk the tree; one that vanished mid-walk is no error.
int IgnoreXErrors(Display*, XErrorEvent*) {
  return 0;
}

void Walk(Display* d, Window window, Window parent,
          const std::function<void(Window, Window)>& visit) {
  visit(window, parent);
  Window root = 0, up = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, window, &root, &up, &children, &count))
    return;
  for (unsigned i = 0; i < count; ++i)
    Walk(d, children[i], window, visit);
  if (children != nullptr)
    XFree(children);
}

std::string ClassOf(Display* d, Window window) {
  XClassHint hint{};
  if (!XGetClassHint(d, window, &hint))
    return {};
  std::string name = hint.res_class != nullptr ? hint.res_class : "";
  XFree(hint.res_name);
  XFree(hint.res_class);
  return name;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty())
      lines.push_back(line);
  }
  return lines;
}

// Where the wineserver of a prefix listens: Debian's wine names a folder of TMPDIR in the
// prefix's "wineserver" file; upstream wine uses /tmp/.wine-UID.
std::string ServerSocket(const std::string& prefix) {
  struct stat info {};
  if (::stat(prefix.c_str(), &info) != 0)
    return {};
  char name[64];
  std::snprintf(name, sizeof name, "/server-%llx-%llx/socket",
                static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  std::string folder = ReadFileBytes(prefix + "/wineserver");
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\0'))
    folder.pop_back();
  if (folder.empty())
    return "/tmp/.wine-" + std::to_string(::getuid()) + name;
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + folder + name;
}

QImage ToQImage(const Bitmap& picture) {
  QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const Color c = picture.PixelColor(x, y);
      image.setPixel(x, y, qRgb(c.red, c.green, c.blue));
    }
  }
  return image;
}

}  // namespace

Fields::Fields(const std::string& line) {
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find('\t', start);
    if (end == std::string::npos)
      end = line.size();
    const std::string field = line.substr(start, end - start);
    const std::size_t equals = field.find('=');
    if (equals != std::string::npos)
      values_[field.substr(0, equals)] = Unescape(field.substr(equals + 1));
    start = end + 1;
  }
}

std::string Fields::Text(const std::string& key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

int Fields::Number(const std::string& key) const {
  const std::string text = Text(key);
  return text.empty() ? -1 : std::stoi(text);
}

ui::Rect Fields::Rect() const {
  return {Number("left"), Number("top"), Number("width"), Number("height")};
}

ui::Rect Fields::ClientRect() const {
  return {Number("client_left"), Number("client_top"), Number("client_width"),
          Number("client_height")};
}

Fields DriverResult::Reply() const {
  const std::vector<Fields> lines = Lines();
  return lines.empty() ? Fields() : lines.front();
}

std::vector<Fields> DriverResult::Lines() const {
  std::vector<Fields> lines;
  for (const std::string& line : SplitLines(out))
    lines.emplace_back(line);
  return lines;
}

Process::~Process() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

Process::Process(Process&& other) noexcept : pid_(other.pid_), output_(std::move(other.output_)) {
  other.pid_ = -1;
}

std::optional<Fields> Process::WaitForLine(const std::string& key, int timeout_ms) const {
  std::optional<Fields> found;
  Desktop::WaitFor(
      [&] {
        for (const std::string& line : SplitLines(Output())) {
          if (Fields fields(line); fields.Has(key)) {
            found = fields;
            return true;
          }
        }
        return false;
      },
      timeout_ms);
  return found;
}

std::optional<int> Process::WaitForExit(int timeout_ms) {
  int status = 0;
  if (pid_ <= 0)
    return -1;
  if (!Desktop::WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout_ms))
    return std::nullopt;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

WineDesktop::WineDesktop(int width, int height, std::string locale)
    : server_(width, height), locale_(std::move(locale)) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix == nullptr || !FileExists(std::string(prefix) + "/system.reg"))
    throw std::runtime_error("no wine prefix: run these tests after start_wine_session");
  prefix_ = prefix;
  XSetErrorHandler(IgnoreXErrors);
  display_ = XOpenDisplay(server_.Name().c_str());
  if (display_ == nullptr)
    throw std::runtime_error("no X display");
  // The connection stays open: the background goes with the client that set it.
  PaintPatternedRoot(display_);
  tray_.emplace(Run({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                     "--height", "24", "--expand", "false"},
                    home_ / "trayer.log", home_ / "trayer.log"),
                home_ / "trayer.log");
  const Atom selection = XInternAtom(X(display_), "_NET_SYSTEM_TRAY_S0", False);
  if (!Desktop::WaitFor([&] { return XGetSelectionOwner(X(display_), selection) != None; }))
    throw std::runtime_error("the tray host did not start");
  std::remove(SettingsPath().c_str());
  StartServer();
  FreshDocuments();
}

WineDesktop::~WineDesktop() {
  program_.reset();
  Reap(Run({"wineserver", "-k"}, "/dev/null", "/dev/null"), 10000);
  wineserver_.reset();
  tray_.reset();
  if (!documents_link_.empty()) {
    std::error_code ignored;
    fs::remove(documents_link_, ignored);
    fs::create_directory_symlink(documents_link_was_, documents_link_, ignored);
  }
  std::remove(SettingsPath().c_str());
  XCloseDisplay(X(display_));
}

std::vector<std::string> WineDesktop::Environment(const std::vector<std::string>& extra) const {
  std::vector<std::string> env;
  const auto overridden = [&](const std::string& name) {
    return std::any_of(extra.begin(), extra.end(),
                       [&](const std::string& entry) { return entry.starts_with(name + "="); });
  };
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name != "DISPLAY" && name != "WINEARCH" && name != "WINEDLLOVERRIDES" && name != "LANG" &&
        !name.starts_with("LC_") && !overridden(name))
      env.push_back(text);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  env.push_back("DISPLAY=" + server_.Name());
  env.push_back("WINEARCH=win32");
  if (std::getenv("WINEDEBUG") == nullptr && !overridden("WINEDEBUG"))
    env.push_back("WINEDEBUG=-all");
  // No offer to download Mono or Gecko: a dialog nobody would answer.
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
  // Arguments reach the programs as UTF-8 in any of the locales the tests use.
  env.push_back("LANG=" + locale_);
  return env;
}

pid_t WineDesktop::Run(const std::vector<std::string>& args, const std::string& out,
                       const std::string& err, const std::vector<std::string>& environment) const {
  const std::vector<std::string> env = Environment(environment);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Gone with the test, however the test ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::chdir(home_.Path().c_str()) != 0)
      ::_exit(126);
    // Wine's services live as long as the server: they must hold no pipe of the test's.
    const int in = ::open("/dev/null", O_RDONLY);
    const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int err_fd =
        err == out ? out_fd : ::open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out_fd < 0 || err_fd < 0)
      ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    ::closefrom(3);
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env)
      envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    ::execvpe(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

void WineDesktop::StartServer() {
  // A server of an earlier test (or of the session) has its explorer on another display.
  Reap(Run({"wineserver", "-k"}, "/dev/null", "/dev/null"), 10000);
  Reap(Run({"wineserver", "-w"}, "/dev/null", "/dev/null"), 10000);
  const std::string socket = ServerSocket(prefix_);
  // Left by a server that was killed: it would look like ours before ours is up.
  std::remove(socket.c_str());
  const std::string log = home_ / "wineserver.log";
  // In the foreground, so that it is our child and goes with the test.
  wineserver_.emplace(Run({"wineserver", "-f", "-p"}, log, log), log);
  if (!Desktop::WaitFor(
          [&] { return FileExists(ServerSocket(prefix_)) || !wineserver_->Running(); }, 10000) ||
      !FileExists(ServerSocket(prefix_)))
    throw std::runtime_error("the wineserver did not start: " + ReadFileBytes(log));
  // Its services start with the first program; with our /dev/null, not a test's pipe.
  if (Reap(Run({"wine", "wineboot"}, "/dev/null", "/dev/null"), 60000) != 0)
    throw std::runtime_error("wineboot failed");
  // With no window manager to take them, wine's windows are its own: it draws their frames,
  // as Windows would, and hiding one does not wait 2 s for a manager that never answers.
  Reap(Run({"wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N",
            "/f"},
           "/dev/null", "/dev/null"),
       10000);
}

void WineDesktop::FreshDocuments() {
  const DriverResult info = Driver({"info"});
  std::string path = info.Reply().Text("documents");
  if (!info.Ok() || path.size() < 3 || path.substr(1, 2) != ":\\")
    throw std::runtime_error("no documents folder: " + info.err);
  std::replace(path.begin(), path.end(), '\\', '/');
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
  documents_link_ = prefix_ + "/dosdevices/" + drive + ":" + path.substr(2);
  std::error_code error;
  if (fs::exists(documents_link_, error) && !fs::is_symlink(documents_link_, error))
    throw std::runtime_error(documents_link_ + " is a folder, not wine's link to one");
  const fs::path was = fs::read_symlink(documents_link_, error);
  // A test that was killed left its link to a folder that is gone.
  documents_link_was_ = !error && fs::exists(was, error) ? was.string() : std::getenv("HOME");
  documents_ = home_ / "Documents";
  fs::create_directory(documents_);
  fs::remove(documents_link_, error);
  fs::create_directory_symlink(documents_, documents_link_);
}

std::string WineDesktop::SettingsPath() const {
  return prefix_ + "/drive_c/windows/Pixtrel.cfg";
}

void WineDesktop::WriteSettings(const std::string& text) const {
  WriteFileBytes(SettingsPath(), text);
}

std::string WineDesktop::WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void WineDesktop::Start(const std::string& exe, const std::vector<std::string>& args,
                        const std::vector<std::string>& environment) {
  const std::size_t icons = TrayIcons().size();
  std::vector<std::string> command{"wine", exe};
  command.insert(command.end(), args.begin(), args.end());
  program_.emplace(Run(command, home_ / "program.log", home_ / "program.log", environment),
                   home_ / "program.log");
  if (!Desktop::WaitFor([&] { return TrayIcons().size() > icons; }, 10000))
    throw std::runtime_error("no tray icon: " + Log());
  // The icon paints a moment after it is docked: wait until the screen holds still.
  Bitmap last = Screen();
  Desktop::WaitFor([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Bitmap now = Screen();
    const bool still = std::equal(now.Pixels().begin(), now.Pixels().end(), last.Pixels().begin());
    last = std::move(now);
    return still;
  });
}

std::optional<int> WineDesktop::WaitForExit(int timeout_ms) {
  return program_ ? program_->WaitForExit(timeout_ms) : std::nullopt;
}

DriverResult WineDesktop::Driver(const std::vector<std::string>& args, int timeout_ms) const {
  const std::string name = home_ / ("driver-" + std::to_string(++runs_));
  std::vector<std::string> command{"wine", PIXTREL_DRIVER};
  command.insert(command.end(), args.begin(), args.end());
  DriverResult result;
  result.exit_code = Reap(Run(command, name + ".out", name + ".err"), timeout_ms);
  result.out = ReadFileBytes(name + ".out");
  result.err = ReadFileBytes(name + ".err");
  return result;
}

Process WineDesktop::DriverInBackground(const std::vector<std::string>& args) const {
  const std::string output = home_ / ("driver-" + std::to_string(++runs_) + ".out");
  std::vector<std::string> command{"wine", PIXTREL_DRIVER};
  command.insert(command.end(), args.begin(), args.end());
  Process process(Run(command, output, output), output);
  if (!process.WaitForLine("ready", 10000))
    throw std::runtime_error("the driver did not get ready: " + process.Output());
  return process;
}

Fields WineDesktop::Window(const std::string& title) const {
  return Driver({"window", title}).Reply();
}

Bitmap WineDesktop::WindowsScreen() const {
  const std::string file = home_ / "windows-screen.bmp";
  if (!Driver({"screen", WindowsPath(file)}).Ok())
    return Bitmap();
  return DecodeImage(ReadFileBytes(file));
}

Bitmap WineDesktop::Clipboard() const {
  const std::string file = home_ / "clipboard.bmp";
  std::remove(file.c_str());
  if (!Driver({"clipboard", WindowsPath(file)}).Ok())
    return Bitmap();
  return DecodeImage(ReadFileBytes(file));
}

bool WineDesktop::SetClipboard(const Bitmap& picture) const {
  const std::string file = home_ / "to-clipboard.bmp";
  return ToQImage(picture).save(QString::fromStdString(file), "BMP") &&
         Driver({"set-clipboard", WindowsPath(file)}).Ok();
}

bool WineDesktop::Xdo(const std::string& args) const {
  return server_.Run("xdotool " + args) == 0;
}

std::vector<ui::Rect> WineDesktop::TrayIcons() const {
  Display* d = X(display_);
  const ::Window root = DefaultRootWindow(d);
  std::vector<ui::Rect> icons;
  // A docked icon is explorer's window that the tray host has taken in.
  Walk(d, root, 0, [&](::Window window, ::Window parent) {
    XWindowAttributes attributes;
    if (parent == 0 || parent == root || !XGetWindowAttributes(d, window, &attributes) ||
        attributes.map_state != IsViewable || ClassOf(d, window) != "explorer.exe")
      return;
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(d, window, root, 0, 0, &x, &y, &child);
    icons.push_back({x, y, attributes.width, attributes.height});
  });
  return icons;
}

ui::Point WineDesktop::TrayIconCentre() const {
  const std::vector<ui::Rect> icons = TrayIcons();
  if (icons.empty())
    return {-1, -1};
  return {icons[0].left + icons[0].width / 2, icons[0].top + icons[0].height / 2};
}

Bitmap WineDesktop::Screen() const {
  X11Display x11;
  const ui::Rect rect = x11.PrimaryRect();
  Bitmap screen(rect.width, rect.height, 32);
  x11.CopyScreen(screen, 0, 0);
  return screen;
}

void WineDesktop::Shot(const std::string& name) const {
  const std::string path = std::string(PIXTREL_SHOTS) + "/" + name + ".png";
  ::mkdir(PIXTREL_SHOTS, 0755);
  ToQImage(Screen()).save(QString::fromStdString(path));
  std::cout << "screenshot: " << path << "\n";
}

}  // namespace pixtrel::test
