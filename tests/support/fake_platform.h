// The whole program's platform, scripted: keys, screen, windows, clipboard, tray, timer,
// clock, dialogs and files, with a record of every call that matters.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/settings_file.h"
#include "support/memory_files.h"

namespace pixtrel::test {

// The settings file as the INI engine keeps it, with the characters a system's profile calls
// could not keep, as those lack the letters outside one code page.
class FakeSettings : public SettingsFile {
 public:
  using SettingsFile::SettingsFile;
  bool CanHold(std::string_view value) override {
    return lacks.empty() || value.find(lacks) == std::string_view::npos;
  }
  std::string lacks;  // a character, UTF-8
};

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // Keys by Windows code: held down, and pressed since the last query.
  std::map<std::uint8_t, bool> down;
  std::map<std::uint8_t, bool> pressed;
  // Answers given before the steady state above, one per query, for keys held for a while.
  std::map<std::uint8_t, std::deque<std::uint16_t>> script;
  void Press(std::uint8_t key) { pressed[key] = true; }
  // Held for `polls` queries of that key, then released.
  void HoldFor(std::uint8_t key, int polls);
  ui::Point cursor;
  std::uint8_t watched_key = 0;  // the hotkey the program last said it polls

  Bitmap screen;  // the primary screen, any size and depth
  WindowHandle foreground = 0;
  ui::Rect window_rect;
  ui::Rect client_rect;
  Bitmap client_pixels;

  bool clipboard_refuses = false;
  std::vector<std::string> clipboard;  // every call in order: open, empty, bitmap WxH, ...
  Bitmap clipboard_bitmap;

  std::vector<std::string> tray;  // add <tip> / delete
  bool TrayShown() const { return tray_shown_; }
  std::string TrayTip() const { return tray_tip_; }
  std::vector<std::string> popups;  // <menu> at x,y
  std::vector<std::string> calls;   // foreground, post-null, front, restore, quit

  bool timer_refused = false;
  bool timer_on = false;
  int timer_starts = 0;
  // One tick of every timer the program armed, delivered as the event loop would.
  void FireTimers();

  ClockReading now{2026, 3, 7, 9, 5, 3, 42};
  int ms_per_reading = 0;             // the clock moves this much at every reading
  std::deque<ClockReading> readings;  // given first, one per reading, before `now`

  std::deque<std::optional<std::string>> save_answers;    // next dialog's answer
  std::vector<std::string> offered;                       // the name each dialog started with
  std::deque<std::optional<std::string>> folder_answers;  // the browser's next answer
  std::vector<std::string> browser_titles;
  std::vector<std::string> mail_links;
  std::vector<std::string> errors;
  std::vector<std::string> messages;
  bool quit = false;

  MemoryFiles files;
  std::string documents = "/home/ann/Documents";

  // Platform
  // No windows of their own, unless a test gives the forms some.
  std::function<void(ui::Form&, ui::WindowSet&)> create_window;
  std::function<void(ui::Form&)> destroy_window;
  void Attach(ui::WindowSet& windows) override { windows_ = &windows; }
  void RunEventLoop() override {}
  // Events posted for later, run when a test says the loop got to them.
  void Post(std::function<void()> event) override { posted.push_back(std::move(event)); }
  std::deque<std::function<void()>> posted;
  void RunPosted();
  // What a user does to a window through the system, reported as a backend would report it.
  void UserActivates(ui::Form& form) { windows_->Activated(form); }
  void UserCloses(ui::Form& form) { windows_->CloseRequested(form); }
  void UserMinimizes(ui::Form& form) { windows_->Minimized(form); }
  void CreateFormWindow(ui::Form& form) override {
    if (create_window)
      create_window(form, *windows_);
  }
  void DestroyFormWindow(ui::Form& form) override;
  std::uint16_t AsyncKeyState(std::uint8_t key) override;
  ui::Point CursorPos() override { return cursor; }
  void WatchKey(std::uint8_t key) override { watched_key = key; }
  ui::Rect ScreenRect() override { return {0, 0, screen.Width(), screen.Height()}; }
  int ScreenDepth() override { return screen.Depth(); }
  WindowHandle ForegroundWindow() override { return foreground; }
  ui::Rect WindowRect(WindowHandle) override { return window_rect; }
  ui::Rect ClientRect(WindowHandle) override { return client_rect; }
  void CopyScreen(Bitmap& into, int x, int y) override;
  void CopyClient(WindowHandle window, Bitmap& into) override;
  void RepaintNow(ui::Form& form) override { calls.push_back("repaint " + form.Name()); }
  // What stands above the screen's own pixels, as a copy sees it (the overlay's picture).
  std::function<const Bitmap*()> shown_on_top;
  bool ClipboardOpen() override;
  void ClipboardEmpty() override;
  void ClipboardSetBitmap(const Bitmap& picture) override;
  void ClipboardSetPalette(const Bitmap& picture) override;
  void ClipboardClose() override;
  void TrayAdd(const NotifyIconData& icon) override;
  void TrayDelete(const NotifyIconData& icon) override;
  void SetForeground(ui::Form&) override { calls.push_back("foreground"); }
  void PostNull(ui::Form&) override { calls.push_back("post-null"); }
  ui::MenuItem* PopupMenu(ui::PopupMenu& menu, ui::Point at) override;
  std::deque<ui::MenuItem*> menu_answers;  // the next menu's choice; nothing when none
  bool EnableTimer(ui::Timer& timer, bool enabled) override;
  void BringToFront(ui::Form& form) override { calls.push_back("front " + form.Name()); }
  void RaiseWindow(ui::Form& form) override { calls.push_back("raise " + form.Name()); }
  void RestoreApplication() override { calls.push_back("restore"); }
  void Quit() override { quit = true; }
  std::optional<std::string> RunSaveDialog(ui::SaveDialog& dialog) override;
  // Runs while the box is up, as the modal loop of a real one would run other events.
  std::function<void()> while_error_box;
  void ErrorBox(const std::string& text) override {
    errors.push_back(text);
    if (while_error_box)
      while_error_box();
  }
  void PlainBox(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void OpenMailLink(const std::string& link) override { mail_links.push_back(link); }
  std::string DocumentsFolder() override { return documents; }
  char PathSeparator() override { return '/'; }
  ClockReading Now() override;

  Files& FileSystem() override { return files; }
  SettingsStore& Settings() override { return settings; }

  FakeSettings settings{files, [this] { return files.settings_path; }};

 private:
  ui::WindowSet* windows_ = nullptr;
  std::vector<ui::Timer*> timers_;
  bool tray_shown_ = false;
  std::string tray_tip_;
};

}  // namespace pixtrel::test
