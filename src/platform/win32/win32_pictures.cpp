#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_dib.h"
#include "platform/win32/win32_form_peer.h"
#include "platform/win32/win32_text.h"
#include "ui/placement.h"

namespace pixtrel::win32 {
namespace {

// The control's peer a window was made for, kept with the window from its first message on.
ControlPeer* PeerOfWindow(HWND hwnd, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(
        hwnd, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
  }
  return reinterpret_cast<ControlPeer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

unsigned HeldButtons(WPARAM keys) {
  unsigned held = 0;
  if ((keys & MK_LBUTTON) != 0)
    held |= ui::kHeldLeft;
  if ((keys & MK_RBUTTON) != 0)
    held |= ui::kHeldRight;
  if ((keys & MK_MBUTTON) != 0)
    held |= ui::kHeldMiddle;
  return held;
}

// The picture a control carries by file name, from the program's resources: the name without
// its extension, in capitals.
HBITMAP LoadCarriedPicture(const std::string& file) {
  std::string name = file.substr(0, file.find('.'));
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), Wide(name).c_str(),
                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

void PaintCarried(HDC dc, const ui::Image& image) {
  const ScopedGdiObject picture(LoadCarriedPicture(image.picture_file));
  if (!picture)
    return;
  BITMAP info{};
  GetObjectW(picture.As<HBITMAP>(), sizeof info, &info);
  const ScopedMemoryDc source(CreateCompatibleDC(dc));
  const ScopedSelect selected(source.Get(), picture.Get());
  if (!image.transparent) {
    BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.As<HDC>(), 0, 0, SRCCOPY);
    return;
  }
  const ui::Point key = ui::TransparentKeyPixel(info.bmWidth, info.bmHeight);
  TransparentBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.As<HDC>(), 0, 0, info.bmWidth,
                 info.bmHeight, GetPixel(source.As<HDC>(), key.x, key.y));
}

// Draws the picture where the model places it, repainting only what the system asks for.
void PaintPicture(HDC dc, const RECT& dirty, const ui::Image& image, int width, int height) {
  const Bitmap& picture = image.Picture();
  const ui::Rect place = ui::PictureRect(image, width, height);
  const bool scaled = ui::ScalesPicture(image);
  const ScopedGdiObject fill(CreateSolidBrush(scaled ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNFACE)));
  FillRect(dc, &dirty, fill.As<HBRUSH>());
  if (picture.Empty() || picture.Width() == 0 || picture.Height() == 0)
    return;
  const std::vector<std::uint32_t> header = DibInfo(picture);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(header.data());
  if (scaled || place.width != picture.Width() || place.height != picture.Height()) {
    // Rows and columns dropped or repeated; averaged only where a palette display could not
    // show the picture's colours.
    const int display_bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    const bool halftone = display_bits <= 8 && display_bits < picture.Depth();
    POINT origin{};
    if (halftone) {
      GetBrushOrgEx(dc, &origin);
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
    } else {
      SetStretchBltMode(dc, COLORONCOLOR);
    }
    StretchDIBits(dc, place.left, place.top, place.width, place.height, 0, 0, picture.Width(),
                  picture.Height(), picture.Pixels().data(), info, DIB_RGB_COLORS, SRCCOPY);
    if (halftone)
      SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
    return;
  }
  // One to one: only the part asked for. The source's rows count from the picture's bottom,
  // whichever way the DIB lies in memory.
  const int left = std::max<int>(dirty.left, place.left);
  const int top = std::max<int>(dirty.top, place.top);
  const int right = std::min<int>(dirty.right, place.left + place.width);
  const int bottom = std::min<int>(dirty.bottom, place.top + place.height);
  if (right <= left || bottom <= top)
    return;
  SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(right - left),
                    static_cast<DWORD>(bottom - top), left - place.left,
                    picture.Height() - (bottom - place.top), 0, static_cast<UINT>(picture.Height()),
                    picture.Pixels().data(), info, DIB_RGB_COLORS);
}

ui::MouseButton ButtonOf(UINT message) {
  switch (message) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return ui::MouseButton::kRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      return ui::MouseButton::kMiddle;
    default:
      return ui::MouseButton::kLeft;
  }
}

LRESULT CALLBACK ImageProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  ControlPeer* peer = PeerOfWindow(hwnd, message, lparam);
  if (peer == nullptr)
    return DefWindowProcW(hwnd, message, wparam, lparam);
  auto& image = static_cast<ui::Image&>(peer->control);
  WindowHost& host = peer->owner.host;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      if (!image.picture_file.empty()) {
        const ScopedGdiObject face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
        FillRect(dc, &paint.rcPaint, face.As<HBRUSH>());
        PaintCarried(dc, image);
      } else {
        PaintPicture(dc, paint.rcPaint, image, client.right, client.bottom);
      }
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      // The left button alone keeps the mouse: a drag with another follows the pointer only
      // while it is over the picture, and a release elsewhere leaves it open.
      if (message == WM_LBUTTONDOWN)
        SetCapture(hwnd);
      if (image.mouse.down) {
        const ui::MouseButton button = ButtonOf(message);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, button, at] { image.mouse.down(button, at); });
      }
      return 0;
    case WM_MOUSEMOVE:
      if (image.mouse.move) {
        const unsigned held = HeldButtons(wparam);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, held, at] { image.mouse.move(held, at); });
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (message == WM_LBUTTONUP && GetCapture() == hwnd)
        ReleaseCapture();
      if (image.mouse.up) {
        const ui::MouseButton button = ButtonOf(message);
        const ui::Point at = PointOf(lparam);
        host.Dispatch([&image, button, at] { image.mouse.up(button, at); });
      }
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

LRESULT CALLBACK StripProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  ControlPeer* peer = PeerOfWindow(hwnd, message, lparam);
  if (peer != nullptr && message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(hwnd, &client);
    const ScopedGdiObject brush(CreateSolidBrush(SystemColour(peer->control.color)));
    FillRect(reinterpret_cast<HDC>(wparam), &client, brush.As<HBRUSH>());
    return 1;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

void RegisterPictureClasses() {
  WNDCLASSEXW image{};
  image.cbSize = sizeof image;
  image.lpfnWndProc = ImageProc;
  image.hInstance = GetModuleHandleW(nullptr);
  image.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  image.lpszClassName = kImageClass;
  RegisterClassExW(&image);
  WNDCLASSEXW strip = image;
  strip.lpfnWndProc = StripProc;
  strip.lpszClassName = kStripClass;
  RegisterClassExW(&strip);
}

}  // namespace pixtrel::win32
