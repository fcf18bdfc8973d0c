// The platform on Windows: Win32 windows and common controls mirrored from the forms, the
// notification area, the clipboard, a window timer, the shell's dialogs, and the
// private-profile settings.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/platform.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_windows.h"

namespace pixtrel::win32 {

class Win32Platform : public Platform, public WindowHost {
 public:
  explicit Win32Platform(Composition composition = Composition::System());
  ~Win32Platform() override;

  void Attach(ui::WindowSet& windows) override { windows_set_ = &windows; }
  void RunEventLoop() override {
    RunMessageLoop();
    ending_ = true;
  }
  void Post(std::function<void()> event) override;
  void CreateFormWindow(ui::Form& form) override;
  void DestroyFormWindow(ui::Form& form) override;

  std::uint16_t AsyncKeyState(std::uint8_t key) override;
  ui::Point CursorPos() override;
  void WatchKey(std::uint8_t) override {}  // every key's state can be polled

  ui::Rect ScreenRect() override;
  int ScreenDepth() override;
  WindowHandle ForegroundWindow() override;
  ui::Rect WindowRect(WindowHandle window) override;
  ui::Rect ClientRect(WindowHandle window) override;
  void CopyScreen(Bitmap& into, int x, int y) override;
  void CopyClient(WindowHandle window, Bitmap& into) override;
  void RepaintNow(ui::Form& form) override;

  bool ClipboardOpen() override { return clipboard_.Open(MainHandle()); }
  void ClipboardEmpty() override { clipboard_.Empty(); }
  void ClipboardSetBitmap(const Bitmap& picture) override { clipboard_.SetBitmap(picture); }
  void ClipboardSetPalette(const Bitmap& picture) override { clipboard_.SetPalette(picture); }
  void ClipboardClose() override { clipboard_.Close(); }

  void TrayAdd(const NotifyIconData& icon) override;
  void TrayDelete(const NotifyIconData& icon) override;
  void SetForeground(ui::Form& form) override;
  void PostNull(ui::Form& form) override;
  ui::MenuItem* PopupMenu(ui::PopupMenu& menu, ui::Point at) override;

  bool EnableTimer(ui::Timer& timer, bool enabled) override;

  void RaiseWindow(ui::Form& form) override;
  void BringToFront(ui::Form& form) override;
  void RestoreApplication() override;
  void Quit() override;

  std::optional<std::string> RunSaveDialog(ui::SaveDialog& dialog) override;
  void ErrorBox(const std::string& text) override;
  void PlainBox(const std::string& text) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;

  std::string DocumentsFolder() override;
  char PathSeparator() override;
  void OpenMailLink(const std::string& link) override;

  ClockReading Now() override;

  Files& FileSystem() override { return files_; }
  SettingsStore& Settings() override { return settings_; }

  // WindowHost
  ui::WindowSet& Windows() override { return *windows_set_; }
  bool Ending() override { return ending_; }
  void Shown(ui::Form& form) override;
  void Hidden(ui::Form& form) override;
  void TimerFired(unsigned id) override;
  void RenderClipboard(unsigned format) override { clipboard_.Render(format); }

 private:
  FormWindow* WindowOf(ui::Form& form);
  WindowHandle HandleOf(ui::Form& form);
  WindowHandle MainHandle();
  // The window that dialogs and boxes belong to: the active form, or the main one.
  WindowHandle DialogOwner();
  // The taskbar button is the application window's: shown while a form is.
  void SyncTaskbarButton();
  // The application window's messages: the taskbar button's minimise and activation.
  friend struct ApplicationWindow;
  void ApplicationMinimized();
  void ApplicationActivated();
  void RunPosted();
  // Disables every other window of the program while a modal dialog or box is up.
  class ModalScope;

  ScopedComApartment com_;  // for the whole thread: the shell may still use it after a call
  Composition composition_;
  ui::WindowSet* windows_set_ = nullptr;
  Win32Files files_;
  Win32Settings settings_;
  Clipboard clipboard_;
  void* application_window_ = nullptr;  // owns every form; its taskbar button is the program's
  std::map<ui::Form*, std::unique_ptr<FormWindow>> windows_;
  std::map<ui::Timer*, unsigned> timers_;
  std::deque<std::function<void()>> posted_;
  bool ending_ = false;
};

}  // namespace pixtrel::win32
