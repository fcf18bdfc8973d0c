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

void CopyScreen(Bitmap& into, int x, int y) {
  std::span<std::uint8_t> pixels = into.Pixels();
  if (into.Empty() || into.Width() == 0 || into.Height() == 0)
    return;
  std::fill(pixels.begin(), pixels.end(), 0);

  const HWND desktop = GetDesktopWindow();
  const ScopedWindowDc screen(desktop);
  if (!screen)
    return;
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
  if (right <= left || bottom <= top)
    return;

  // A section at the copy's own depth and with its colour table: GDI converts during the blit,
  // and the section's bits are already laid out as the Bitmap's.
  std::vector<std::uint32_t> info = DibInfo(into);
  void* bits = nullptr;
  const ScopedGdiObject section(CreateDIBSection(
      screen_dc, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0));
  const ScopedMemoryDc memory(CreateCompatibleDC(screen_dc));
  if (!section || !memory || bits == nullptr)
    return;
  {
    const ScopedSelect selected(memory.Get(), section.Get());
    if (!selected)
      return;
    std::memset(bits, 0, pixels.size());
    if (!BitBlt(memory.As<HDC>(), left - x, top - y, right - left, bottom - top, screen_dc, left,
                top, SRCCOPY)) {
      return;
    }
    GdiFlush();
  }
  std::memcpy(pixels.data(), bits, pixels.size());
  // The system may leave anything in the unused byte; the files and the viewer expect 0.
  if (into.Depth() == 32) {
    for (std::size_t i = 3; i < pixels.size(); i += 4)
      pixels[i] = 0;
  }
}

void CopyClient(WindowHandle window, Bitmap& into) {
  POINT origin{0, 0};
  if (window == 0 || !ClientToScreen(AsWindow(window), &origin))
    return;
  CopyScreen(into, origin.x, origin.y);
}

}  // namespace pixtrel::win32
