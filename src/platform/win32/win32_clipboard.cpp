#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_dib.h"

namespace pixtrel::win32 {
namespace {

constexpr DWORD kOpenPatience = 250;  // ms

// Once placed the handle is the system's; only a refused one is still ours to delete.
void Place(UINT format, ScopedGdiObject object) {
  if (object && SetClipboardData(format, object.Get()) != nullptr)
    object.Take();
}

}  // namespace

bool Clipboard::Open(WindowHandle owner) {
  session_.reset();
  // Readers hold the clipboard for a moment at every change (the clipboard history, remote
  // desktops, clipboard managers), and one may be waiting on us meanwhile, for the picture it
  // asked for: answer what is sent while trying again, for a while.
  const DWORD start = GetTickCount();
  for (;;) {
    session_.emplace(reinterpret_cast<void*>(owner));
    if (session_->IsOpen())
      return true;
    session_.reset();
    if (GetTickCount() - start >= kOpenPatience)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void Clipboard::Empty() {
  if (session_)
    EmptyClipboard();
}

void Clipboard::SetBitmap(const Bitmap& picture) {
  if (!session_ || picture.Empty())
    return;
  // The copy reuses the memory of the one before.
  held_ = picture;
  with_palette_ = false;
  SetClipboardData(CF_BITMAP, nullptr);
}

void Clipboard::SetPalette(const Bitmap& picture) {
  if (!session_ || picture.Palette().empty())
    return;
  with_palette_ = true;
  SetClipboardData(CF_PALETTE, nullptr);
}

void Clipboard::Render(unsigned format) {
  if (held_.Empty())
    return;
  if (format == CF_BITMAP) {
    const ScopedWindowDc screen(nullptr);
    if (!screen)
      return;
    std::vector<std::uint32_t> info = DibInfo(held_);
    const auto* dib = reinterpret_cast<const BITMAPINFO*>(info.data());
    Place(CF_BITMAP, ScopedGdiObject(CreateDIBitmap(screen.As<HDC>(), &dib->bmiHeader, CBM_INIT,
                                                    std::as_const(held_).Pixels().data(), dib,
                                                    DIB_RGB_COLORS)));
    return;
  }
  if (format != CF_PALETTE || !with_palette_)
    return;
  const std::vector<PaletteEntry>& colours = held_.Palette();
  std::vector<PALETTEENTRY> entries;
  for (const PaletteEntry& c : colours)
    entries.push_back({c.red, c.green, c.blue, 0});
  // LOGPALETTE declares one entry; the others follow it in the same block.
  std::vector<std::uint32_t> block(1 + entries.size());
  auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(entries.size());
  std::memcpy(reinterpret_cast<char*>(block.data()) + offsetof(LOGPALETTE, palPalEntry),
              entries.data(), entries.size() * sizeof(PALETTEENTRY));
  Place(CF_PALETTE, ScopedGdiObject(CreatePalette(palette)));
}

void Clipboard::Close() {
  session_.reset();
}

void Clipboard::RenderAll(WindowHandle owner) {
  const HWND window = reinterpret_cast<HWND>(owner);
  if (held_.Empty() || GetClipboardOwner() != window)
    return;
  const ScopedClipboard session(window);
  // Another program may have taken it meanwhile.
  if (!session.IsOpen() || GetClipboardOwner() != window)
    return;
  Render(CF_BITMAP);
  Render(CF_PALETTE);
}

}  // namespace pixtrel::win32
