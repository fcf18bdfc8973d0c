// The desktop as the core reads it: keys, the cursor, the primary screen, other programs'
// windows, and copies of what the screen shows.
#pragma once

#include <cstdint>

#include "core/bitmap.h"
#include "platform/platform.h"
#include "ui/ui.h"

namespace pixtrel::win32 {

// Bit 15 down now, bit 0 pressed since the last query.
std::uint16_t AsyncKeyState(std::uint8_t key);
ui::Point CursorPos();

// The primary screen: left 0, top 0, its width and height.
ui::Rect ScreenRect();
// The Bitmap depth that holds the screen's pixels as they are: its own depth, 15 bits counted
// as 16 (5-5-5), and depths below 8 rounded up to 4 or 1.
int ScreenDepth();

WindowHandle ForegroundWindow();
ui::Rect WindowRect(WindowHandle window);  // screen coordinates, frame included
ui::Rect ClientRect(WindowHandle window);  // left 0, top 0

// Fills `into`, at its own size and depth, from the screen at (x, y) of the primary screen's
// coordinates. What lies beyond every screen comes out black; a 32-bit copy's fourth bytes are
// 0. A palette copy gets the screen's colours as its palette.
void CopyScreen(Bitmap& into, int x, int y);
// The window's client area as the screen shows it.
void CopyClient(WindowHandle window, Bitmap& into);

}  // namespace pixtrel::win32
