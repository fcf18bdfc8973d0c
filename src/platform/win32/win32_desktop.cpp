#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_dib.h"

namespace pixtrel::win32 {
namespace {

HWND AsWindow(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

ui::Rect FromRect(const RECT& r) {
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

PaletteEntry Entry(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return {blue, green, red, 0};
}

// The colours GDI matches a screen copy against when it is kept at 8 bits or fewer. On a
// palette screen they are the system palette, so each pixel keeps its exact colour; other
// screens have none to give, so the usual fixed tables stand in.
std::vector<PaletteEntry> ScreenColours(HDC screen, int depth) {
  const std::size_t count = std::size_t{1} << depth;
  std::vector<PALETTEENTRY> system(count);
  if ((GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0 &&
      GetSystemPaletteEntries(screen, 0, static_cast<UINT>(count), system.data()) == count) {
    std::vector<PaletteEntry> colours;
    for (const PALETTEENTRY& e : system)
      colours.push_back(Entry(e.peRed, e.peGreen, e.peBlue));
    return colours;
  }
  if (depth == 1)
    return {Entry(0, 0, 0), Entry(255, 255, 255)};
  if (depth == 4) {
    return {Entry(0, 0, 0),       Entry(128, 0, 0),   Entry(0, 128, 0),   Entry(128, 128, 0),
            Entry(0, 0, 128),     Entry(128, 0, 128), Entry(0, 128, 128), Entry(192, 192, 192),
            Entry(128, 128, 128), Entry(255, 0, 0),   Entry(0, 255, 0),   Entry(255, 255, 0),
            Entry(0, 0, 255),     Entry(255, 0, 255), Entry(0, 255, 255), Entry(255, 255, 255)};
  }
  std::vector<PaletteEntry> colours(count);
  const ScopedGdiObject halftone(CreateHalftonePalette(screen));
  if (halftone) {
    GetPaletteEntries(halftone.As<HPALETTE>(), 0, static_cast<UINT>(count), system.data());
    for (std::size_t i = 0; i < count; ++i)
      colours[i] = Entry(system[i].peRed, system[i].peGreen, system[i].peBlue);
  }
  return colours;
}

}  // namespace

std::uint16_t AsyncKeyState(std::uint8_t key) {
  return static_cast<std::uint16_t>(GetAsyncKeyState(key));
}

ui::Point CursorPos() {
  POINT at{};
  if (!GetCursorPos(&at))
    return {};
  return {at.x, at.y};
}

ui::Rect ScreenRect() {
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

int ScreenDepth() {
  const ScopedWindowDc screen(GetDesktopWindow());
  const int bits =
      screen ? GetDeviceCaps(screen.As<HDC>(), BITSPIXEL) * GetDeviceCaps(screen.As<HDC>(), PLANES)
             : 0;
  if (bits > 24 || bits <= 0)
    return 32;
  if (bits > 16)
    return 24;
  if (bits > 8)
    return 16;
  if (bits > 4)
    return 8;
  return bits > 1 ? 4 : 1;
}

WindowHandle ForegroundWindow() {
  return reinterpret_cast<WindowHandle>(GetForegroundWindow());
}

ui::Rect WindowRect(WindowHandle window) {
  RECT r{};
  if (window == 0 || !GetWindowRect(AsWindow(window), &r))
    return {};
  return FromRect(r);
}

ui::Rect ClientRect(WindowHandle window) {
  RECT r{};
  if (window == 0 || !GetClientRect(AsWindow(window), &r))
    return {};
  return FromRect(r);
}

namespace {

// The DIB section a screen copy is blitted into, kept from one copy to the next while the size
// and depth stay: a held key's auto-record then makes no new section, and faults no new pages
// in, every frame. Palette copies make theirs afresh, with the colours of the moment.
struct CaptureSection {
  int width = 0;
  int height = 0;
  int depth = 0;
  ScopedGdiObject bitmap;
  ScopedMemoryDc dc;
  void* bits = nullptr;
};

CaptureSection& SectionFor(HDC screen, const Bitmap& into) {
  static CaptureSection section;
  if (section.bitmap && section.width == into.Width() && section.height == into.Height() &&
      section.depth == into.Depth() && into.Depth() > 8) {
    return section;
  }
  section = CaptureSection{};
  std::vector<std::uint32_t> info = DibInfo(into);
  section.bitmap =
      ScopedGdiObject(CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(info.data()),
                                       DIB_RGB_COLORS, &section.bits, nullptr, 0));
  section.dc = ScopedMemoryDc(CreateCompatibleDC(screen));
  if (!section.dc)
    section.bitmap.Reset();
  section.width = into.Width();
  section.height = into.Height();
  section.depth = into.Depth();
  return section;
}

}  // namespace

void CopyScreen(Bitmap& into, int x, int y) {
  std::span<std::uint8_t> pixels = into.Pixels();
  if (into.Empty() || into.Width() == 0 || into.Height() == 0)
    return;

  const HWND desktop = GetDesktopWindow();
  const ScopedWindowDc screen(desktop);
  if (!screen) {
    std::fill(pixels.begin(), pixels.end(), 0);
    return;
  }
  const HDC screen_dc = screen.As<HDC>();
  if (into.Depth() <= 8)
    into.Palette() = ScreenColours(screen_dc, into.Depth());

  // Every monitor counts as screen, as on the X11 side; only what lies beyond them all is black.
  const int desk_left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int desk_top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int left = std::max(x, desk_left);
  const int top = std::max(y, desk_top);
  const int right = std::min(x + into.Width(), desk_left + GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const int bottom = std::min(y + into.Height(), desk_top + GetSystemMetrics(SM_CYVIRTUALSCREEN));
  if (right <= left || bottom <= top) {
    std::fill(pixels.begin(), pixels.end(), 0);
    return;
  }

  CaptureSection& section = SectionFor(screen_dc, into);
  if (!section.bitmap || section.bits == nullptr) {
    std::fill(pixels.begin(), pixels.end(), 0);
    return;
  }
  {
    const ScopedSelect selected(section.dc.Get(), section.bitmap.Get());
    if (!selected) {
      std::fill(pixels.begin(), pixels.end(), 0);
      return;
    }
    // Only what lies beyond the screen needs blackening, and most copies have none.
    if (right - left != into.Width() || bottom - top != into.Height())
      std::memset(section.bits, 0, pixels.size());
    if (!BitBlt(section.dc.As<HDC>(), left - x, top - y, right - left, bottom - top, screen_dc,
                left, top, SRCCOPY)) {
      std::fill(pixels.begin(), pixels.end(), 0);
      return;
    }
    GdiFlush();
  }
  const auto* bits = static_cast<const std::uint8_t*>(section.bits);
  if (into.Depth() != 32) {
    std::memcpy(pixels.data(), bits, pixels.size());
    return;
  }
  // The system may leave anything in the unused byte; the files and the viewer expect 0.
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    std::uint32_t pixel;
    std::memcpy(&pixel, bits + i, 4);
    pixel &= 0x00FFFFFFu;
    std::memcpy(pixels.data() + i, &pixel, 4);
  }
}

void CopyClient(WindowHandle window, Bitmap& into) {
  // The client area's corner on the screen. In a right-to-left (mirrored) window the client
  // origin is its right edge: mapped as a rectangle, the corners come back in screen order.
  RECT client{};
  if (window == 0 || !GetClientRect(AsWindow(window), &client))
    return;
  SetLastError(ERROR_SUCCESS);
  if (MapWindowPoints(AsWindow(window), nullptr, reinterpret_cast<POINT*>(&client), 2) == 0 &&
      GetLastError() != ERROR_SUCCESS)
    return;
  CopyScreen(into, std::min(client.left, client.right), std::min(client.top, client.bottom));
}

}  // namespace pixtrel::win32
