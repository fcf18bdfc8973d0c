// What the core asks of the system. Each backend implements all of it; tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "core/clock.h"
#include "core/files.h"
#include "core/settings_store.h"
#include "ui/ui.h"
#include "ui/window_set.h"

namespace pixtrel {

// The first version of the tray record, the one a 32-bit program fills: 88 bytes.
inline constexpr std::uint32_t kNotifyIconDataSize = 88;
inline constexpr std::size_t kTipLength = 63;  // the tip's characters, without its NUL
// The icon's mouse messages reach the window as a mouse move, the button's message number in
// the place of x.
inline constexpr std::uint32_t kTrayCallbackMessage = 0x200;
inline constexpr int kTrayLeftButtonUp = 514;
inline constexpr int kTrayRightButtonUp = 517;

// The tray icon record as the program fills it.
struct NotifyIconData {
  std::uint32_t size = 0;      // kNotifyIconDataSize once filled
  ui::Form* window = nullptr;  // where the icon's mouse messages go
  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::uint32_t callback_message = 0;
  bool icon = false;              // the application icon
  char tip[kTipLength + 1] = {};  // NUL-terminated
};

using WindowHandle = std::uintptr_t;  // 0: no window

class Platform {
 public:
  // Given once, before any window: the platform reports what happens to the windows there, and
  // every event it delivers runs through it.
  virtual void Attach(ui::WindowSet& windows) = 0;
  // Runs the event loop until Quit.
  virtual void RunEventLoop() = 0;
  // Runs `event` later, from the event loop, as an event of its own.
  virtual void Post(std::function<void()> event) = 0;

  // windows: a form's native counterpart, made before its creation handler runs and dropped
  // before the form is destroyed.
  virtual void CreateFormWindow(ui::Form& form) = 0;
  virtual void DestroyFormWindow(ui::Form& form) = 0;

  // input: bit 15 down now, bit 0 pressed since the last query, for a Windows key code.
  virtual std::uint16_t AsyncKeyState(std::uint8_t key) = 0;
  virtual ui::Point CursorPos() = 0;
  // The hotkey polled from now on: a system that gives programs no key state reserves it.
  virtual void WatchKey(std::uint8_t key) = 0;

  // screen
  virtual ui::Rect ScreenRect() = 0;  // the primary screen: left 0, top 0, width, height
  virtual int ScreenDepth() = 0;
  virtual WindowHandle ForegroundWindow() = 0;
  virtual ui::Rect WindowRect(WindowHandle window) = 0;  // in screen coordinates, with frame
  virtual ui::Rect ClientRect(WindowHandle window) = 0;  // left 0, top 0
  // Fills every pixel of `into` (already sized) from the screen, starting at (x, y): what lies
  // off-screen, or could not be copied, is black. The caller need not blacken it first.
  virtual void CopyScreen(Bitmap& into, int x, int y) = 0;
  virtual void CopyClient(WindowHandle window, Bitmap& into) = 0;
  // Paints whatever the window still owes the screen, so that a copy sees it.
  virtual void RepaintNow(ui::Form& form) = 0;

  // clipboard
  virtual bool ClipboardOpen() = 0;
  virtual void ClipboardEmpty() = 0;
  virtual void ClipboardSetBitmap(const Bitmap& picture) = 0;
  virtual void ClipboardSetPalette(const Bitmap& picture) = 0;
  virtual void ClipboardClose() = 0;

  // tray
  virtual void TrayAdd(const NotifyIconData& icon) = 0;
  virtual void TrayDelete(const NotifyIconData& icon) = 0;
  virtual void SetForeground(ui::Form& form) = 0;
  virtual void PostNull(ui::Form& form) = 0;
  // Runs the menu modally: the item chosen, or nothing.
  virtual ui::MenuItem* PopupMenu(ui::PopupMenu& menu, ui::Point at) = 0;

  // timer: false when the system refuses it. Each tick runs the timer's Tick as an event.
  virtual bool EnableTimer(ui::Timer& timer, bool enabled) = 0;

  // windows and the application
  // To the top of the z-order, and the foreground: a shown form, and when bringing the
  // application forward, an enabled one.
  virtual void RaiseWindow(ui::Form& form) = 0;
  virtual void BringToFront(ui::Form& form) = 0;
  virtual void RestoreApplication() = 0;
  virtual void Quit() = 0;  // ends the event loop once the current event is done

  // dialogs: the chosen path, or nothing when cancelled
  virtual std::optional<std::string> RunSaveDialog(ui::SaveDialog& dialog) = 0;
  virtual void ErrorBox(const std::string& text) = 0;  // caption "Pixtrel", stop icon, OK
  virtual void PlainBox(const std::string& text) = 0;
  // The folder browser: file-system folders only, nothing preselected; nothing if cancelled.
  virtual std::optional<std::string> BrowseForFolder(
      const std::string& title) = 0;  // caption "Pixtrel", no icon, OK

  // shell
  virtual std::string DocumentsFolder() = 0;
  virtual char PathSeparator() = 0;
  // Opens the default mail program on a "mailto:" link; failures are not reported.
  virtual void OpenMailLink(const std::string& link) = 0;

  // clock: the local time now
  virtual ClockReading Now() = 0;

  // files: where captures and the settings file are written
  virtual Files& FileSystem() = 0;
  // settings: the one settings file, wherever this system keeps it
  virtual SettingsStore& Settings() = 0;
};

}  // namespace pixtrel
