#include "platform/x11/x11_display.h"

#include "platform/x11/x11_state.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "core/error.h"
#include "platform/x11/x11_pixel_memory.h"

namespace pixtrel {
namespace {

// Xlib's structures, each freed by its own function.
template <typename T, auto Free>
struct XFreer {
  void operator()(T* p) const { Free(p); }
};
using ScreenResources =
    std::unique_ptr<XRRScreenResources, XFreer<XRRScreenResources, XRRFreeScreenResources>>;
using OutputInfo = std::unique_ptr<XRROutputInfo, XFreer<XRROutputInfo, XRRFreeOutputInfo>>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, XFreer<XRRCrtcInfo, XRRFreeCrtcInfo>>;

// Xlib calls this when the connection breaks, and would end the program after it with a
// message of its own.
int LostServer(Display*) {
  ExitOnLostServer();
}

}  // namespace

void ExitOnLostServer() {
  static constexpr char kLine[] =
      "Pixtrel : la connexion à l'écran X est perdue ; fin du programme.\n";
  // Only what is safe here: the program may be in the middle of anything.
  [[maybe_unused]] const ssize_t written = ::write(2, kLine, sizeof kLine - 1);
  ::_exit(1);
}

X11Display::X11Display() : state_(std::make_unique<State>()) {
  state_->display = XOpenDisplay(nullptr);
  if (state_->display == nullptr)
    throw Error("Impossible d'ouvrir l'écran X");
  state_->root = DefaultRootWindow(state_->display);
  XSetIOErrorHandler(&LostServer);

  int event = 0, error = 0;
  if (XQueryExtension(state_->display, "XInputExtension", &state_->xi_opcode, &event, &error)) {
    // Raw events reach every client that asks, without a grab: a tap between two polls
    // still shows.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(state_->display, state_->root, &mask, 1);
    XFlush(state_->display);
  }
  state_->shm = XShmQueryExtension(state_->display);
  int formats = 0;
  if (XPixmapFormatValues* format = XListPixmapFormats(state_->display, &formats)) {
    for (int i = 0; i < formats; ++i) {
      if (format[i].depth == DefaultDepth(state_->display, DefaultScreen(state_->display)))
        state_->bits_per_pixel = format[i].bits_per_pixel;
    }
    XFree(format);
  }
  if (state_->shm) {
    state_->pixel_memory = std::make_shared<ShmPixelMemory>(XGetXCBConnection(state_->display));
    PixelMemory::Use(state_->pixel_memory);
  }
  int major = 0, minor = 0;
  if (XRRQueryExtension(state_->display, &event, &error)) {
    state_->randr_event = event;
    state_->monitors = XRRQueryVersion(state_->display, &major, &minor) &&
                       (major > 1 || (major == 1 && minor >= 5));
    // Told of every change to screens, outputs and monitors, the primary monitor need not be
    // asked for again at each capture.
    XRRSelectInput(state_->display, state_->root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                       RROutputPropertyNotifyMask);
    XFlush(state_->display);
  }
}

X11Display::~X11Display() {
  state_->shm_image.reset();
  if (state_->pixel_memory) {
    PixelMemory::Use(nullptr);
    state_->pixel_memory->Disconnect();
  }
  XCloseDisplay(state_->display);
}

ui::Rect X11Display::PrimaryRect() {
  state_->Pump();
  if (!state_->primary || state_->randr_event < 0)
    state_->primary = AskPrimaryRect();
  return *state_->primary;
}

ui::Rect X11Display::AskPrimaryRect() {
  Display* d = state_->display;
  ui::Rect rect{0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
  if (state_->monitors) {
    // The monitor that shows the primary output, in two round trips instead of four.
    const RROutput primary = XRRGetOutputPrimary(d, state_->root);
    if (primary == 0)
      return rect;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(d, state_->root, True, &count);
    for (int i = 0; i < count; ++i) {
      const XRRMonitorInfo& monitor = monitors[i];
      const bool shows = std::find(monitor.outputs, monitor.outputs + monitor.noutput, primary) !=
                         monitor.outputs + monitor.noutput;
      if (shows && monitor.width > 0 && monitor.height > 0)
        rect = {monitor.x, monitor.y, monitor.width, monitor.height};
    }
    if (monitors != nullptr)
      XRRFreeMonitors(monitors);
    return rect;
  }
  int event = 0, error = 0;
  if (!XRRQueryExtension(d, &event, &error))
    return rect;
  const ScreenResources resources(XRRGetScreenResourcesCurrent(d, state_->root));
  const RROutput primary = XRRGetOutputPrimary(d, state_->root);
  if (!resources || primary == 0)
    return rect;
  const OutputInfo output(XRRGetOutputInfo(d, resources.get(), primary));
  if (!output || output->crtc == 0)
    return rect;
  const CrtcInfo crtc(XRRGetCrtcInfo(d, resources.get(), output->crtc));
  if (crtc && crtc->width > 0 && crtc->height > 0)
    rect = {crtc->x, crtc->y, static_cast<int>(crtc->width), static_cast<int>(crtc->height)};
  return rect;
}

int X11Display::Depth() {
  const int depth = DefaultDepth(state_->display, DefaultScreen(state_->display));
  return depth >= 24 ? 32 : depth;
}

}  // namespace pixtrel
