#include "platform/x11/x11_state.h"

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "capture/screen_copy.h"
#include "platform/x11/x11_pixel_memory.h"

namespace pixtrel {
namespace {

// Xlib's images, freed by their own function.
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

}  // namespace

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

void ShmImageFree::operator()(ShmImage* image) const {
  delete image;
}

namespace {

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

// Has the server write rows of the screen straight into the picture, where the picture's memory
// is a segment it shares. False if it refused.
bool CopyIntoSegment(Display* d, Window root, const ShmPixelMemory::Place& place,
                     const ui::Rect& from) {
  xcb_connection_t* connection = XGetXCBConnection(d);
  xcb_generic_error_t* error = nullptr;
  xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
      connection,
      xcb_shm_get_image(connection, static_cast<xcb_drawable_t>(root),
                        static_cast<std::int16_t>(from.left), static_cast<std::int16_t>(from.top),
                        static_cast<std::uint16_t>(from.width),
                        static_cast<std::uint16_t>(from.height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                        place.segment, place.offset),
      &error);
  const bool refused = reply == nullptr || error != nullptr;
  std::free(reply);
  std::free(error);
  return !refused;
}

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
  // Whole rows of four-byte pixels are the server's own layout: they land in the picture as
  // they are, fourth byte and all, with no copy.
  if (s.shm && s.pixel_memory && into.Depth() == 32 && s.bits_per_pixel == 32 && dx == 0 &&
      from.width == into.Width()) {
    const std::size_t bytes = into.Stride() * static_cast<std::size_t>(from.height);
    if (const auto place = s.pixel_memory->Find(into.Row(dy), bytes))
      return CopyIntoSegment(d, s.root, *place, from);
  }
  if (s.shm) {
    if (!s.shm_image || s.shm_image->Image()->width != from.width) {
      s.shm_image.reset();
      const int bytes_per_line = from.width * (depth > 16 ? 4 : depth > 8 ? 2 : 1);
      ShmImagePtr fresh(new ShmImage(d, visual, depth, from.width, 2 * BandRows(bytes_per_line)));
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

}  // namespace pixtrel
