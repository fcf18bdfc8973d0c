#include "platform/x11/x11_display.h"

#include "capture/screen_copy.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#include <xcb/shm.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/error.h"
#include "core/key_codes.h"

namespace pixtrel {
namespace {

// The keys the program can poll, as X names them.
std::vector<KeySym> KeysymsFor(std::uint8_t key) {
  switch (key) {
    case vk::kEscape:
      return {XK_Escape};
    case vk::kPrintScreen:
      return {XK_Print};
    case vk::kEnd:
      return {XK_End};
    case vk::kInsert:
      return {XK_Insert};
    case vk::kDelete:
      return {XK_Delete};
    case vk::kPageUp:
      return {XK_Prior};
    case vk::kPageDown:
      return {XK_Next};
    case vk::kUp:
      return {XK_Up};
    case vk::kDown:
      return {XK_Down};
    case vk::kLeft:
      return {XK_Left};
    case vk::kRight:
      return {XK_Right};
    case vk::kAlt:
      return {XK_Alt_L, XK_Alt_R, XK_Meta_L, XK_Meta_R};
    case vk::kControl:
      return {XK_Control_L, XK_Control_R};
    case vk::kShift:
      return {XK_Shift_L, XK_Shift_R};
    default:
      if (key >= vk::kF1 && key <= vk::kF12)
        return {static_cast<KeySym>(XK_F1 + (key - vk::kF1))};
      return {};
  }
}

// Mouse buttons: Windows' left, right, middle are X's 1, 3, 2.
int ButtonFor(std::uint8_t key) {
  switch (key) {
    case vk::kLeftButton:
      return 1;
    case vk::kRightButton:
      return 3;
    case vk::kMiddleButton:
      return 2;
    default:
      return 0;
  }
}

unsigned ButtonMask(int button) {
  return button == 1 ? Button1Mask : button == 2 ? Button2Mask : Button3Mask;
}

// Xlib's structures, each freed by its own function.
template <typename T, auto Free>
struct XFreer {
  void operator()(T* p) const { Free(p); }
};
using ScreenResources =
    std::unique_ptr<XRRScreenResources, XFreer<XRRScreenResources, XRRFreeScreenResources>>;
using OutputInfo = std::unique_ptr<XRROutputInfo, XFreer<XRROutputInfo, XRRFreeOutputInfo>>;
using CrtcInfo = std::unique_ptr<XRRCrtcInfo, XFreer<XRRCrtcInfo, XRRFreeCrtcInfo>>;
struct ImageFreer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageFreer>;

// Collects the X errors raised while it lives, which Xlib's own handler would make fatal.
// One thread, one trap at a time.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    caught_ = false;
    previous_ = XSetErrorHandler(&Catch);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Whether a request made so far failed; waits for the server's answers.
  bool Caught() {
    XSync(display_, False);
    return caught_;
  }

 private:
  static int Catch(Display*, XErrorEvent*) {
    caught_ = true;
    return 0;
  }
  static inline bool caught_ = false;
  Display* display_;
  int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

// An image in a shared-memory segment that the server copies the screen into. Attached on both
// sides only when both agreed, and detached from both on every path.
class ShmImage {
 public:
  ShmImage(Display* display, Visual* visual, int depth, int width, int height) : display_(display) {
    image_.reset(XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                                 &segment_, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height)));
    if (!image_)
      return;
    segment_.shmid = shmget(
        IPC_PRIVATE,
        static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(image_->height),
        IPC_CREAT | 0600);
    if (segment_.shmid < 0)
      return;
    void* address = shmat(segment_.shmid, nullptr, 0);
    // Marked for removal now, so it goes away with the process whatever happens.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void*>(-1))
      return;
    segment_.shmaddr = image_->data = static_cast<char*>(address);
    segment_.readOnly = False;
    // The server may refuse the segment (another IPC namespace, another user): it says so
    // only in an error that comes later.
    ErrorTrap trap(display);
    server_attached_ = XShmAttach(display, &segment_) && !trap.Caught();
  }
  ~ShmImage() {
    if (server_attached_)
      XShmDetach(display_, &segment_);
    if (segment_.shmaddr != nullptr)
      shmdt(segment_.shmaddr);
  }
  ShmImage(const ShmImage&) = delete;
  ShmImage& operator=(const ShmImage&) = delete;

  bool Usable() const { return server_attached_; }
  XImage* Image() const { return image_.get(); }
  ShmSeg Segment() const { return segment_.shmseg; }

 private:
  Display* display_;
  XShmSegmentInfo segment_{};
  ImagePtr image_;  // its data is the segment, which the image does not free
  bool server_attached_ = false;
};

// Rows [first, first + count) of an image of the screen into `into`, the first at row `dy`,
// column `dx`.
void CopyImageRows(const XImage* image, int first, int count, Bitmap& into, int dx, int dy) {
  XImage* pixels = const_cast<XImage*>(image);  // XGetPixel only reads, but is not declared so
  for (int row = first; row < first + count; ++row) {
    std::uint8_t* out = into.Row(dy + row - first);
    if (into.Depth() == 8) {
      // A palette screen: the pixels are colormap indexes.
      for (int col = 0; col < image->width; ++col)
        out[dx + col] = static_cast<std::uint8_t>(XGetPixel(pixels, col, row));
    } else if (into.Depth() == 32 && image->bits_per_pixel == 32) {
      CopyOpaquePixels(out + dx * 4,
                       image->data + static_cast<std::size_t>(row) * image->bytes_per_line,
                       image->width);
    } else if (into.Depth() > 8) {
      for (int col = 0; col < image->width; ++col) {
        const unsigned long pixel = XGetPixel(pixels, col, row);
        const auto r = static_cast<std::uint8_t>((pixel & image->red_mask) * 255 /
                                                 std::max(image->red_mask, 1UL));
        const auto g = static_cast<std::uint8_t>((pixel & image->green_mask) * 255 /
                                                 std::max(image->green_mask, 1UL));
        const auto b = static_cast<std::uint8_t>((pixel & image->blue_mask) * 255 /
                                                 std::max(image->blue_mask, 1UL));
        into.SetPixelColor(dx + col, dy + row - first, {r, g, b});
      }
    }
  }
}

// Rows a band of the screen holds: about 1 MB, so that a band is still in the cache when it is
// copied out.
int BandRows(int bytes_per_line) {
  return std::max((1 << 20) / std::max(bytes_per_line, 1), 1);
}

// Copies the screen area at (left, top), as wide as the segment's image and `height` rows high,
// into `into` at (dx, dy). The segment holds two bands, not a whole screen: the server fills one
// while the other is copied out, so a frame costs about the longer of the two instead of their
// sum; a first capture has 2 MB of fresh shared pages to fault in, not a screenful; and the
// bands are copied out while they are still in the cache. False if the server refused a band.
bool CopyInBands(Display* d, Window root, const ShmImage& shm, int left, int top, int height,
                 Bitmap& into, int dx, int dy) {
  const XImage* image = shm.Image();
  const int rows = image->height / 2;
  const int bands = (height + rows - 1) / rows;
  xcb_connection_t* connection = XGetXCBConnection(d);
  std::array<xcb_shm_get_image_cookie_t, 2> cookies{};
  const auto ask = [&](int band) {
    const int half = band % 2;
    cookies[static_cast<std::size_t>(half)] = xcb_shm_get_image(
        connection, static_cast<xcb_drawable_t>(root), static_cast<std::int16_t>(left),
        static_cast<std::int16_t>(top + band * rows), static_cast<std::uint16_t>(image->width),
        static_cast<std::uint16_t>(std::min(rows, height - band * rows)), ~0u,
        XCB_IMAGE_FORMAT_Z_PIXMAP, static_cast<xcb_shm_seg_t>(shm.Segment()),
        static_cast<std::uint32_t>(half * rows) *
            static_cast<std::uint32_t>(image->bytes_per_line));
  };
  for (int band = 0; band < std::min(bands, 2); ++band)
    ask(band);
  for (int band = 0; band < bands; ++band) {
    xcb_generic_error_t* error = nullptr;
    xcb_shm_get_image_reply_t* reply =
        xcb_shm_get_image_reply(connection, cookies[static_cast<std::size_t>(band % 2)], &error);
    const bool refused = reply == nullptr || error != nullptr;
    std::free(reply);
    std::free(error);
    if (refused) {
      if (band + 1 < bands)  // its request is out
        xcb_discard_reply(connection, cookies[static_cast<std::size_t>((band + 1) % 2)].sequence);
      return false;
    }
    CopyImageRows(image, band % 2 * rows, std::min(rows, height - band * rows), into, dx,
                  dy + band * rows);
    if (band + 2 < bands)
      ask(band + 2);  // into the half just emptied
  }
  return true;
}

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

struct X11Display::State {
  Display* display = nullptr;
  Window root = 0;
  int xi_opcode = -1;
  std::array<bool, 256> key_pressed{};   // by keycode, since the last query
  std::array<bool, 8> button_pressed{};  // by X button number
  bool shm = false;
  bool monitors = false;  // RandR 1.5: the primary monitor in one round trip
  std::unique_ptr<ShmImage> shm_image;

  // Reads the raw input events that arrived since the last look. Called after a round trip, so
  // that every press the server had seen by then is in our queue.
  void Pump() {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != GenericEvent || event.xcookie.extension != xi_opcode)
        continue;
      if (!XGetEventData(display, &event.xcookie))
        continue;
      const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
      if (event.xcookie.evtype == XI_RawKeyPress && raw->detail >= 0 && raw->detail < 256) {
        key_pressed[static_cast<std::size_t>(raw->detail)] = true;
      } else if (event.xcookie.evtype == XI_RawButtonPress && raw->detail > 0 && raw->detail < 8) {
        button_pressed[static_cast<std::size_t>(raw->detail)] = true;
      }
      XFreeEventData(display, &event.xcookie);
    }
  }
};

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
  int major = 0, minor = 0;
  state_->monitors = XRRQueryExtension(state_->display, &event, &error) &&
                     XRRQueryVersion(state_->display, &major, &minor) &&
                     (major > 1 || (major == 1 && minor >= 5));
}

X11Display::~X11Display() {
  state_->shm_image.reset();
  XCloseDisplay(state_->display);
}

ui::Rect X11Display::PrimaryRect() {
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

namespace {

void FillPalette(Display* d, Bitmap& into) {
  const int screen = DefaultScreen(d);
  const int entries = std::min<int>(DefaultVisual(d, screen)->map_entries, 256);
  std::vector<XColor> colors(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i)
    colors[static_cast<std::size_t>(i)].pixel = static_cast<unsigned long>(i);
  XQueryColors(d, DefaultColormap(d, screen), colors.data(), entries);
  std::vector<PaletteEntry>& palette = into.Palette();
  for (int i = 0; i < entries && i < static_cast<int>(palette.size()); ++i) {
    const XColor& c = colors[static_cast<std::size_t>(i)];
    palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(c.blue >> 8),
                                            static_cast<std::uint8_t>(c.green >> 8),
                                            static_cast<std::uint8_t>(c.red >> 8), 0};
  }
}

}  // namespace

void X11Display::CopyScreen(Bitmap& into, int x, int y) {
  Display* d = state_->display;
  const ui::Rect primary = PrimaryRect();
  // In root coordinates: the root window is all that can be copied.
  const ui::Rect root{0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
  CopyFromScreen(
      into, primary.left + x, primary.top + y, root,
      [&](const ui::Rect& from, ui::Point to) { return CopyRootArea(from, into, to.x, to.y); });
}

bool X11Display::CopyRootArea(const ui::Rect& from, Bitmap& into, int dx, int dy) {
  Display* d = state_->display;
  Visual* visual = DefaultVisual(d, DefaultScreen(d));
  const int depth = DefaultDepth(d, DefaultScreen(d));
  State& s = *state_;
  if (into.Depth() == 8)
    FillPalette(d, into);  // a palette screen's colormap is the picture's palette
  if (s.shm) {
    if (!s.shm_image || s.shm_image->Image()->width != from.width) {
      s.shm_image.reset();
      const int bytes_per_line = from.width * (depth > 16 ? 4 : depth > 8 ? 2 : 1);
      auto fresh =
          std::make_unique<ShmImage>(d, visual, depth, from.width, 2 * BandRows(bytes_per_line));
      if (fresh->Usable())
        s.shm_image = std::move(fresh);
      else
        s.shm = false;  // plain copies from now on
    }
    if (s.shm_image &&
        CopyInBands(d, s.root, *s.shm_image, from.left, from.top, from.height, into, dx, dy))
      return true;
  }
  const ImagePtr image(XGetImage(d, s.root, from.left, from.top, static_cast<unsigned>(from.width),
                                 static_cast<unsigned>(from.height), AllPlanes, ZPixmap));
  if (!image)
    return false;
  CopyImageRows(image.get(), 0, from.height, into, dx, dy);
  return true;
}

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

std::uint16_t X11Display::AsyncKeyState(std::uint8_t key) {
  State& s = *state_;
  bool down = false;
  bool pressed = false;
  if (const int button = ButtonFor(key); button != 0) {
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(s.display, s.root, &root, &child, &rx, &ry, &wx, &wy, &mask);
    s.Pump();
    down = (mask & ButtonMask(button)) != 0;
    pressed = s.button_pressed[static_cast<std::size_t>(button)];
    s.button_pressed[static_cast<std::size_t>(button)] = false;
  } else {
    char keys[32];
    XQueryKeymap(s.display, keys);
    s.Pump();
    for (const KeySym sym : KeysymsFor(key)) {
      const KeyCode code = XKeysymToKeycode(s.display, sym);
      if (code == 0)
        continue;
      down = down || (keys[code / 8] & (1 << (code % 8))) != 0;
      pressed = pressed || s.key_pressed[code];
      s.key_pressed[code] = false;
    }
  }
  return static_cast<std::uint16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

ui::Point X11Display::CursorPos() {
  Window root = 0, child = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(state_->display, state_->root, &root, &child, &rx, &ry, &wx, &wy, &mask);
  const ui::Rect primary = PrimaryRect();
  return {rx - primary.left, ry - primary.top};
}

}  // namespace pixtrel
