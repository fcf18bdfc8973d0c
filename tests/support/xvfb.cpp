#include "support/xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace pixtrel::test {

Xvfb::Xvfb(int width, int height, int depth, bool own_ipc) {
  int fds[2];
  if (::pipe(fds) != 0)
    throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    // Gone with the test, however the test ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::close(fds[0]);
    // It tries display numbers in turn and complains of each one taken.
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0)
      ::dup2(quiet, 2);
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    const std::string fd = std::to_string(fds[1]);
    // -displayfd: the server picks a free display and writes its number to us.
    if (own_ipc) {
      ::execlp("unshare", "unshare", "--ipc", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
               screen.c_str(), "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    }
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n')
    number += c;
  ::close(fds[0]);
  if (number.empty())
    throw std::runtime_error("Xvfb did not start");
  name_ = ":" + number;
  ::setenv("DISPLAY", name_.c_str(), 1);
}

Xvfb::~Xvfb() {
  Stop();
}

void Xvfb::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
}

int Xvfb::Run(const std::string& command) const {
  const int status = std::system(("DISPLAY=" + name_ + " " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ColourWindow::ColourWindow(int left, int top, int width, int height, unsigned long rgb,
                           bool managed) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr)
    throw std::runtime_error("no X display");
  display_ = display;
  window_ =
      XCreateSimpleWindow(display, DefaultRootWindow(display), left, top,
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, rgb);
  if (managed) {
    XMapRaised(display, window_);
    XSync(display, False);
    return;
  }
  XSetWindowAttributes attributes;
  attributes.override_redirect = True;  // placed exactly where asked
  XChangeWindowAttributes(display, window_, CWOverrideRedirect, &attributes);
  XMapRaised(display, window_);
  XSetInputFocus(display, window_, RevertToParent, CurrentTime);
  XSync(display, False);
}

ColourWindow::~ColourWindow() {
  XCloseDisplay(static_cast<Display*>(display_));
}

ClipboardGrabber::ClipboardGrabber() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr)
    throw std::runtime_error("no X display");
  display_ = display;
  window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  XSetSelectionOwner(display, clipboard, window_, CurrentTime);
  XSync(display, False);
  if (XGetSelectionOwner(display, clipboard) != window_)
    throw std::runtime_error("could not take the clipboard");
  thread_ = std::thread([this] { Run(); });
}

ClipboardGrabber::~ClipboardGrabber() {
  stop_ = true;
  thread_.join();
  XCloseDisplay(static_cast<Display*>(display_));
}

void ClipboardGrabber::Run() {
  auto* display = static_cast<Display*>(display_);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  while (!stop_) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == SelectionClear) {
        ++taken_;
        XSetSelectionOwner(display, clipboard, window_, CurrentTime);
      } else if (event.type == SelectionRequest) {
        // Refused: no property.
        const XSelectionRequestEvent& request = event.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.property = None;
        reply.xselection.time = request.time;
        XSendEvent(display, request.requestor, False, NoEventMask, &reply);
      }
    }
    XFlush(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace pixtrel::test
