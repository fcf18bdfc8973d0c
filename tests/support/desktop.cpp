#include "support/desktop.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/x11/x11_display.h"
#include "support/x_titles.h"

// Last: its macros would clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace pixtrel::test {
namespace {

Display* X(void* display) {
  return static_cast<Display*>(display);
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& log, const std::string& folder) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Gone with the test, however the test ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::chdir(folder.c_str()) != 0)
      ::_exit(126);
    if (!log.empty()) {
      std::FILE* out = std::fopen(log.c_str(), "w");
      if (out != nullptr) {
        ::dup2(fileno(out), 1);
        ::dup2(fileno(out), 2);
      }
    }
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

void Stop(pid_t& pid) {
  if (pid <= 0)
    return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

struct Found {
  Window window = 0;
  Window parent = 0;
};

// Depth-first through the whole tree, the first window the test accepts.
Found Search(Display* d, Window from, Window parent,
             const std::function<bool(Window, Window, const std::string&)>& accept) {
  const std::string title = TitleOf(d, from);
  if (accept(from, parent, title))
    return {from, parent};
  Window root = 0, up = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, from, &root, &up, &children, &count))
    return {};
  Found found;
  for (unsigned i = 0; i < count && found.window == 0; ++i)
    found = Search(d, children[i], from, accept);
  if (children != nullptr)
    XFree(children);
  return found;
}

WindowState StateOf(Display* d, Window window) {
  WindowState state;
  XWindowAttributes attributes;
  if (window == 0 || !XGetWindowAttributes(d, window, &attributes))
    return state;
  state.viewable = attributes.map_state == IsViewable;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
  state.rect = {x, y, attributes.width, attributes.height};
  return state;
}

// Windows come and go while the tests walk the tree; one that vanished mid-walk is no error.
int IgnoreXErrors(Display*, XErrorEvent*) {
  return 0;
}

}  // namespace

std::string TitleOf(Display* d, Window window) {
  std::string title;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return title;
  }
  char* name = nullptr;
  if (XFetchName(d, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

Desktop::Desktop(int width, int height, Setup setup)
    : server_(width, height), with_tray_(setup.tray) {
  XSetErrorHandler(IgnoreXErrors);
  display_ = XOpenDisplay(server_.Name().c_str());
  if (display_ == nullptr)
    throw std::runtime_error("no X display");
  ::mkdir((home_ / "run").c_str(), 0700);
  ::mkdir((home_ / ".config").c_str(), 0700);
  PaintPatternedRoot(display_);
  if (setup.window_manager) {
    window_manager_ = Spawn({"openbox"}, {"DISPLAY=" + server_.Name(), "HOME=" + home_.Path()},
                            home_ / "openbox.log", home_.Path());
    const Atom selection = XInternAtom(X(display_), "WM_S0", False);
    if (!WaitFor([&] { return XGetSelectionOwner(X(display_), selection) != None; }))
      throw std::runtime_error("the window manager did not start");
    // It takes windows in a moment after it has claimed the screen.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  if (!setup.tray)
    return;
  tray_ = Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                 "--height", "24", "--expand", "false"},
                {"DISPLAY=" + server_.Name(), "HOME=" + home_.Path()}, home_ / "trayer.log",
                home_.Path());
  const Atom selection = XInternAtom(X(display_), "_NET_SYSTEM_TRAY_S0", False);
  if (!WaitFor([&] { return XGetSelectionOwner(X(display_), selection) != None; }))
    throw std::runtime_error("the tray host did not start");
}

Desktop::~Desktop() {
  Stop(program_);
  Stop(tray_);
  Stop(window_manager_);
  if (display_ != nullptr)
    XCloseDisplay(X(display_));
}

void PaintPatternedRoot(void* display) {
  Display* d = X(display);
  const int width = DisplayWidth(d, DefaultScreen(d));
  const int height = DisplayHeight(d, DefaultScreen(d));
  const ::Window root = DefaultRootWindow(d);
  const Pixmap pixmap = XCreatePixmap(d, root, width, height, DefaultDepth(d, DefaultScreen(d)));
  XImage* image = XGetImage(d, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      XPutPixel(image, x, y,
                ((x * 255 / width) << 16) | ((y * 255 / height) << 8) | ((x ^ y) & 0xFF));
  }
  const GC gc = XCreateGC(d, pixmap, 0, nullptr);
  XPutImage(d, pixmap, gc, image, 0, 0, 0, 0, width, height);
  XFreeGC(d, gc);
  XDestroyImage(image);
  XSetWindowBackgroundPixmap(d, root, pixmap);
  XClearWindow(d, root);
  XFreePixmap(d, pixmap);
  XSync(d, False);
}

void Desktop::WriteSettings(const std::string& text) const {
  WriteFileBytes(SettingsPath(), text);
}

void Desktop::Start(const std::vector<std::string>& environment) {
  std::vector<std::string> env{"DISPLAY=" + server_.Name(), "HOME=" + home_.Path(),
                               "XDG_RUNTIME_DIR=" + (home_ / "run"), "PATH=/usr/bin:/bin",
                               "LANG=C.UTF-8"};
  env.insert(env.end(), environment.begin(), environment.end());
  // A sanitizer build's program reports to the same settings as the tests.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name))
      env.push_back(std::string(name) + "=" + value);
  }
  program_ = Spawn({PIXTREL_PROGRAM}, env, home_ / "pixtrel.log", home_.Path());
  if (!with_tray_) {
    if (!WaitFor([&] { return Log().find("notification") != std::string::npos; }))
      throw std::runtime_error("no word about the missing tray: " + Log());
    return;
  }
  if (!WaitFor([&] { return TrayIconShown(); }))
    throw std::runtime_error("no tray icon: " + Log());
  // The icon paints a moment after it is mapped: wait until the screen holds still.
  Bitmap last = Screen();
  WaitFor([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Bitmap now = Screen();
    const bool still = std::equal(now.Pixels().begin(), now.Pixels().end(), last.Pixels().begin());
    last = std::move(now);
    return still;
  });
}

void Desktop::Signal(int signal) const {
  if (program_ > 0)
    ::kill(program_, signal);
}

void Desktop::KillServer() {
  // Our own connection goes first: Xlib ends a process whose server vanished under it.
  XCloseDisplay(X(display_));
  display_ = nullptr;
  Stop(tray_);
  Stop(window_manager_);
  server_.Stop();
}

std::optional<int> Desktop::WaitForExit(int timeout_ms) {
  int status = 0;
  if (!WaitFor([&] { return ::waitpid(program_, &status, WNOHANG) == program_; }, timeout_ms))
    return std::nullopt;
  program_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Desktop::Xdo(const std::string& args) const {
  return server_.Run("xdotool " + args) == 0;
}

bool Desktop::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

WindowState Desktop::Window(const std::string& title) const {
  Display* d = X(display_);
  const Found found =
      Search(d, DefaultRootWindow(d), 0,
             [&](::Window, ::Window, const std::string& name) { return name == title; });
  return StateOf(d, found.window);
}

bool Desktop::MenuShown() const {
  return Menu().width > 0;
}

ui::Rect Desktop::Menu() const {
  Display* d = X(display_);
  const ::Window root = DefaultRootWindow(d);
  // The program's menus are its windows on the root that bypass the window manager.
  const Found found = Search(d, root, 0, [&](::Window window, ::Window parent, const std::string&) {
    XWindowAttributes attributes;
    if (parent != root || !StateOf(d, window).viewable ||
        !XGetWindowAttributes(d, window, &attributes) || !attributes.override_redirect)
      return false;
    XClassHint hint{};
    if (!XGetClassHint(d, window, &hint))
      return false;
    const bool ours = hint.res_class != nullptr && std::string(hint.res_class) == "pixtrel";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return ours;
  });
  return found.window != 0 ? StateOf(d, found.window).rect : ui::Rect{};
}

bool Desktop::ChooseFromTrayMenu(int item) const {
  // An icon added a moment ago may not take clicks yet: click again until the menu is up.
  const bool shown = WaitFor([&] {
    const ui::Point icon = TrayIconCentre();
    Xdo("mousemove " + std::to_string(icon.x) + " " + std::to_string(icon.y) + " click 3");
    return WaitFor([&] { return MenuShown(); }, 1000);
  });
  std::string keys = "sleep 0.2";
  for (int i = 0; i < item; ++i)
    keys += " key Down";
  return shown && Xdo(keys + " key Return");
}

bool Desktop::TrayIconShown() const {
  return TrayIconCentre().x >= 0;
}

ui::Point Desktop::TrayIconCentre() const {
  Display* d = X(display_);
  const ::Window root = DefaultRootWindow(d);
  // The icon is the program's only window that the tray host has taken in.
  const Found found =
      Search(d, root, 0, [&](::Window window, ::Window parent, const std::string& name) {
        return name == "pixtrel" && parent != root && StateOf(d, window).viewable;
      });
  if (found.window == 0)
    return {-1, -1};
  const WindowState state = StateOf(d, found.window);
  return {state.rect.left + state.rect.width / 2, state.rect.top + state.rect.height / 2};
}

Bitmap Desktop::Screen() const {
  X11Display x11;
  const ui::Rect rect = x11.PrimaryRect();
  Bitmap screen(rect.width, rect.height, 32);
  x11.CopyScreen(screen, 0, 0);
  return screen;
}

Bitmap Desktop::ClipboardImage() const {
  const std::string file = home_ / "clipboard.png";
  if (server_.Run("xclip -selection clipboard -t image/png -o > '" + file + "' 2>/dev/null") != 0)
    return Bitmap();
  return DecodeImage(ReadFileBytes(file));
}

void Desktop::Shot(const std::string& name) const {
  const std::string path = std::string(PIXTREL_SHOTS) + "/" + name + ".png";
  ::mkdir(PIXTREL_SHOTS, 0755);
  SavePng(Screen(), path);
  std::cout << "screenshot: " << path << "\n";
}

}  // namespace pixtrel::test
