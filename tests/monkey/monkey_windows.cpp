#include <strings.h>

#include <string>
#include <vector>

#include "monkey/monkey.h"
#include "support/x_titles.h"

// Last: its macros would clash with other names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace pixtrel::monkey {
namespace {

using test::TitleOf;

// Windows come and go while the tree is walked; one that vanished mid-walk is no error.
int IgnoreXErrors(Display*, XErrorEvent*) {
  return 0;
}

class Connection {
 public:
  Connection() : display_(XOpenDisplay(nullptr)) { XSetErrorHandler(IgnoreXErrors); }
  ~Connection() {
    if (display_ != nullptr)
      XCloseDisplay(display_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  Display* Get() const { return display_; }

 private:
  Display* display_;
};

std::string ClassOf(Display* d, Window window) {
  XClassHint hint{};
  if (!XGetClassHint(d, window, &hint))
    return "";
  std::string name = hint.res_name != nullptr ? hint.res_name : "";
  if (hint.res_class != nullptr)
    name += std::string("\n") + hint.res_class;
  XFree(hint.res_name);
  XFree(hint.res_class);
  return name;
}

bool HasPrefix(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         ::strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

std::vector<Window> Children(Display* d, Window window) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> out;
  if (XQueryTree(d, window, &root, &parent, &children, &count) && children != nullptr) {
    out.assign(children, children + count);
    XFree(children);
  }
  return out;
}

// The top-level windows: the root's children, and those a window manager framed, down to
// `depth` levels; `visit` says whether to stop going down.
template <typename Visit>
void Walk(Display* d, Window window, int depth, const Visit& visit) {
  for (const Window child : Children(d, window)) {
    if (!visit(child) && depth > 1)
      Walk(d, child, depth - 1, visit);
  }
}

}  // namespace

std::vector<Shown> ProgramWindows(const std::string& program_class) {
  Connection connection;
  Display* d = connection.Get();
  std::vector<Shown> shown;
  if (d == nullptr)
    return shown;
  const Window root = DefaultRootWindow(d);
  Walk(d, root, 3, [&](Window window) {
    const std::string names = ClassOf(d, window);
    const std::size_t newline = names.find('\n');
    if (!HasPrefix(names, program_class) &&
        (newline == std::string::npos || !HasPrefix(names.substr(newline + 1), program_class)))
      return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes) || attributes.map_state != IsViewable)
      return true;
    // The tray icon, docked in the tray host, is the tray's own business.
    if (attributes.width <= 48 && attributes.height <= 48)
      return true;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, root, 0, 0, &x, &y, &child);
    Shown one;
    one.title = TitleOf(d, window);
    one.rect = {x, y, attributes.width, attributes.height};
    // Wine's menus have no title; Qt's carry the program's name.
    one.menu = attributes.override_redirect && (one.title.empty() || one.title == "pixtrel");
    shown.push_back(one);
    return true;
  });
  return shown;
}

std::string WindowWith(const std::string& word) {
  Connection connection;
  Display* d = connection.Get();
  std::string found;
  if (d == nullptr)
    return found;
  Walk(d, DefaultRootWindow(d), 3, [&](Window window) {
    if (!found.empty())
      return true;
    const std::string title = TitleOf(d, window);
    if (title.find(word) == std::string::npos && ClassOf(d, window).find(word) == std::string::npos)
      return false;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable)
      found = title.empty() ? word : title;
    return true;
  });
  return found;
}

}  // namespace pixtrel::monkey
