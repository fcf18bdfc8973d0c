#include "platform/x11/x11_state.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>

namespace pixtrel {

WindowHandle X11Display::ForegroundWindow() {
  Display* d = state_->display;
  const Atom active = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window window = 0;
  if (XGetWindowProperty(d, state_->root, active, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    if (count == 1)
      window = *reinterpret_cast<Window*>(data);
    XFree(data);
    return window;
  }
  // No window manager: the window with the input focus.
  int revert = 0;
  XGetInputFocus(d, &window, &revert);
  return window == PointerRoot || window == None || window == state_->root ? 0 : window;
}

ui::Rect X11Display::ClientRect(WindowHandle window) {
  XWindowAttributes attributes;
  if (window == 0 || !XGetWindowAttributes(state_->display, window, &attributes))
    return {};
  return {0, 0, attributes.width, attributes.height};
}

ui::Rect X11Display::WindowRect(WindowHandle window) {
  Display* d = state_->display;
  XWindowAttributes attributes;
  if (window == 0 || !XGetWindowAttributes(d, window, &attributes))
    return {};
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(d, window, state_->root, 0, 0, &x, &y, &child);
  long extents[4] = {0, 0, 0, 0};  // left, right, top, bottom
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, window, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (count == 4)
      std::memcpy(extents, data, sizeof extents);
    XFree(data);
  }
  const ui::Rect primary = PrimaryRect();
  return {x - static_cast<int>(extents[0]) - primary.left,
          y - static_cast<int>(extents[2]) - primary.top,
          attributes.width + static_cast<int>(extents[0] + extents[1]),
          attributes.height + static_cast<int>(extents[2] + extents[3])};
}

void X11Display::CopyClient(WindowHandle window, Bitmap& into) {
  int x = 0, y = 0;
  Window child = 0;
  if (window == 0)
    return;
  XTranslateCoordinates(state_->display, window, state_->root, 0, 0, &x, &y, &child);
  const ui::Rect primary = PrimaryRect();
  CopyScreen(into, x - primary.left, y - primary.top);
}

}  // namespace pixtrel
