#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "capture/screen_copy.h"
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
  const ScopedWindowDc screen(GetDesktopWindow());
  const HDC screen_dc = screen.As<HDC>();
  if (screen && into.Depth() <= 8)
    into.Palette() = ScreenColours(screen_dc, into.Depth());
  // Every monitor counts as screen, as on the X11 side; only what lies beyond them all is black.
  const ui::Rect desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  CopyFromScreen(into, x, y, desktop, [&](const ui::Rect& from, ui::Point to) {
    if (!screen)
      return false;
    CaptureSection& section = SectionFor(screen_dc, into);
    if (!section.bitmap || section.bits == nullptr)
      return false;
    {
      const ScopedSelect selected(section.dc.Get(), section.bitmap.Get());
      if (!selected || !BitBlt(section.dc.As<HDC>(), to.x, to.y, from.width, from.height, screen_dc,
                               from.left, from.top, SRCCOPY))
        return false;
      GdiFlush();
    }
    // The section's rows lie as the picture's do. Only the part copied is taken from it: it
    // keeps the last frame's pixels elsewhere.
    const auto* bits = static_cast<const std::uint8_t*>(section.bits);
    const int bytes = into.Depth() / 8;
    for (int row = to.y; row < to.y + from.height; ++row) {
      const std::uint8_t* in = bits + static_cast<std::size_t>(row) * into.Stride();
      std::uint8_t* out = into.Row(row);
      if (into.Depth() == 32)
        CopyOpaquePixels(out + to.x * 4, in + to.x * 4, from.width);
      else if (bytes > 0)
        std::memcpy(out + to.x * bytes, in + to.x * bytes,
                    static_cast<std::size_t>(from.width * bytes));
      else  // less than a byte a pixel: a fresh section, black where nothing was copied
        std::memcpy(out, in, into.Stride());
    }
    return true;
  });
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
