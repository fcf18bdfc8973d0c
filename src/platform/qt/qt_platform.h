// The platform on a Linux desktop: Qt 6 Widgets for windows, tray, dialogs and clipboard; the
// session's Desktop for key state, the active window and screen copies: Xlib on X11, the
// compositor's and the portals' services on Wayland.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QImage>

#include "platform/desktop.h"
#include "platform/platform.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_windows.h"
#include "platform/shortcut_keys.h"
#include "settings/settings_file.h"

class QMimeData;
class QObject;
class QSystemTrayIcon;
class QTimer;

namespace pixtrel {

class WaylandDesktop;

enum class Session { kX11, kWayland };

class QtPlatform : public Platform, public WindowHost {
 public:
  // Needs the QApplication made first.
  explicit QtPlatform(Session session);
  ~QtPlatform() override;

  void Attach(ui::WindowSet& windows) override { windows_set_ = &windows; }
  void RunEventLoop() override;
  void Post(std::function<void()> event) override;
  void CreateFormWindow(ui::Form& form) override;
  void DestroyFormWindow(ui::Form& form) override;

  std::uint16_t AsyncKeyState(std::uint8_t key) override;
  ui::Point CursorPos() override { return desktop_->CursorPos(); }
  void WatchKey(std::uint8_t key) override { desktop_->WatchKey(key); }

  ui::Rect ScreenRect() override;
  int ScreenDepth() override { return desktop_->Depth(); }
  WindowHandle ForegroundWindow() override { return desktop_->ForegroundWindow(); }
  ui::Rect WindowRect(WindowHandle window) override { return desktop_->WindowRect(window); }
  ui::Rect ClientRect(WindowHandle window) override { return desktop_->ClientRect(window); }
  void CopyScreen(Bitmap& into, int x, int y) override { desktop_->CopyScreen(into, x, y); }
  void CopyClient(WindowHandle window, Bitmap& into) override {
    desktop_->CopyClient(window, into);
  }
  void RepaintNow(ui::Form& form) override;

  bool ClipboardOpen() override { return true; }
  void ClipboardEmpty() override;
  void ClipboardSetBitmap(const Bitmap& picture) override;
  void ClipboardSetPalette(const Bitmap&) override {}  // the image carries its colours
  void ClipboardClose() override;

  void TrayAdd(const NotifyIconData& icon) override;
  void TrayDelete(const NotifyIconData& icon) override;
  void SetForeground(ui::Form& form) override;
  void PostNull(ui::Form&) override {}
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
  char PathSeparator() override { return '/'; }
  void OpenMailLink(const std::string& link) override;

  ClockReading Now() override;

  Files& FileSystem() override { return files_; }
  SettingsStore& Settings() override { return settings_; }

  // WindowHost
  ui::WindowSet& Windows() override { return *windows_set_; }
  ui::Rect PrimaryRect() override { return desktop_->PrimaryRect(); }
  bool KeyedByAlpha() override { return wayland_ != nullptr; }

  // What the desktop's launcher or another start of the program asks: a capture of that mode,
  // as its shortcut would, or a command of the window set ("preferences", "quit").
  void Capture(CaptureMode mode) { shortcuts_.Press(mode); }
  bool Command(const std::string& name) {
    return windows_set_ != nullptr && Windows().Command(name);
  }
  // Runs `event` once the event loop runs: the program is made by then, and a wait for the
  // desktop during its start cannot run it early.
  void AtStart(std::function<void()> event);

 private:
  class Watcher;
  friend class Watcher;
  FormWindow* WindowOf(ui::Form& form);
  // A button released over the tray icon, as the message number the main window expects.
  void TrayMessage(int message);

  // SIGTERM and SIGINT end the program as "Close..." would, once the handler under way is done.
  void QuitOnTermination();

  // Wayland gives the clipboard to a program with the keyboard focus alone: the picture waits
  // for one of its windows to have it.
  void OfferClipboard(QMimeData* data);

  ShortcutKeys shortcuts_;
  std::unique_ptr<Desktop> desktop_;
  WaylandDesktop* wayland_ = nullptr;
  PosixFiles files_;
  SettingsFile settings_{files_, &PosixFiles::SettingsFilePath};
  ui::WindowSet* windows_set_ = nullptr;
  std::map<ui::Form*, std::unique_ptr<FormWindow>> windows_;
  std::unique_ptr<Watcher> watcher_;
  std::unique_ptr<QObject> termination_;

  std::unique_ptr<QSystemTrayIcon> tray_;
  ui::Form* tray_window_ = nullptr;
  bool tray_embedded_ = false;
  bool told_no_tray_ = false;

  std::map<ui::Timer*, std::unique_ptr<QTimer>> timers_;

  std::shared_ptr<const Bitmap> clipboard_picture_;
  bool clipboard_placed_ = false;
  bool clipboard_emptied_ = false;
  std::unique_ptr<QMimeData> waiting_for_focus_;
  bool looping_ = false;
  std::vector<std::function<void()>> at_start_;
};

}  // namespace pixtrel
