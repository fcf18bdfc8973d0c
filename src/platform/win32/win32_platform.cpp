#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shellapi.h>

#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

constexpr char kApplicationClass[] = "PixtrelApplication";

static_assert(NOTIFYICONDATAA_V1_SIZE == kNotifyIconDataSize,
              "the tray record is the 32-bit program's first version");

HWND AsWindow(WindowHandle handle) {
  return reinterpret_cast<HWND>(handle);
}

// A pop-up menu, destroyed with its owner.
struct MenuHandle {
  HMENU menu = CreatePopupMenu();
  ~MenuHandle() { DestroyMenu(menu); }
};

}  // namespace

Win32Platform::Win32Platform() {
  WNDCLASSEXA application{};
  application.cbSize = sizeof application;
  application.lpfnWndProc = DefWindowProcA;
  application.hInstance = GetModuleHandleA(nullptr);
  application.lpszClassName = kApplicationClass;
  RegisterClassExA(&application);
  application_window_ = CreateWindowExA(0, kApplicationClass, "Pixtrel", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

Win32Platform::~Win32Platform() {
  // Destroying a window stops its timers.
  windows_.clear();
  DestroyWindow(static_cast<HWND>(application_window_));
}

void Win32Platform::CreateFormWindow(ui::Form& form) {
  const bool main = main_form_ == nullptr;
  if (main)
    main_form_ = &form;
  windows_[&form] = std::make_unique<FormWindow>(form, *this, application_window_, main);
}

void Win32Platform::DestroyFormWindow(ui::Form& form) {
  FormWindow* window = WindowOf(form);
  if (window == nullptr)
    return;
  // A window's timers go with it.
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (std::find(form.controls.begin(), form.controls.end(), it->first) != form.controls.end()) {
      KillTimer(static_cast<HWND>(window->Handle()), it->second);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
  if (active_ == &form)
    active_ = nullptr;
  // The last capture stays on the clipboard after the program.
  if (main_form_ == &form)
    clipboard_.RenderAll(MainHandle());
  windows_.erase(&form);
  if (main_form_ == &form)
    main_form_ = nullptr;
}

FormWindow* Win32Platform::WindowOf(ui::Form& form) {
  const auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second.get();
}

WindowHandle Win32Platform::HandleOf(ui::Form& form) {
  FormWindow* window = WindowOf(form);
  return window != nullptr ? reinterpret_cast<WindowHandle>(window->Handle()) : 0;
}

WindowHandle Win32Platform::MainHandle() {
  return main_form_ != nullptr ? HandleOf(*main_form_) : 0;
}

WindowHandle Win32Platform::DialogOwner() {
  if (active_ != nullptr && IsWindowVisible(AsWindow(HandleOf(*active_))))
    return HandleOf(*active_);
  return MainHandle();
}

std::uint16_t Win32Platform::AsyncKeyState(std::uint8_t key) {
  return win32::AsyncKeyState(key);
}

ui::Point Win32Platform::CursorPos() {
  return win32::CursorPos();
}

ui::Rect Win32Platform::ScreenRect() {
  return win32::ScreenRect();
}

int Win32Platform::ScreenDepth() {
  return win32::ScreenDepth();
}

WindowHandle Win32Platform::ForegroundWindow() {
  return win32::ForegroundWindow();
}

ui::Rect Win32Platform::WindowRect(WindowHandle window) {
  return win32::WindowRect(window);
}

ui::Rect Win32Platform::ClientRect(WindowHandle window) {
  return win32::ClientRect(window);
}

void Win32Platform::CopyScreen(Bitmap& into, int x, int y) {
  win32::CopyScreen(into, x, y);
}

void Win32Platform::CopyClient(WindowHandle window, Bitmap& into) {
  win32::CopyClient(window, into);
}

void Win32Platform::RepaintNow(ui::Form& form) {
  if (FormWindow* window = WindowOf(form))
    window->PaintNow();
}

void Win32Platform::TrayAdd(const NotifyIconData& icon) {
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = AsWindow(icon.window != nullptr ? HandleOf(*icon.window) : 0);
  record.uID = icon.id;
  record.uFlags = icon.flags;
  record.uCallbackMessage = icon.callback_message;
  record.hIcon = icon.icon ? LoadIconA(GetModuleHandleA(nullptr), "MAINICON") : nullptr;
  const std::string tip = ToAnsi(std::string(icon.tip, strnlen(icon.tip, kTipLength)));
  std::memcpy(record.szTip, tip.data(), std::min(tip.size(), kTipLength));
  // Adding an icon that is there already changes nothing, its tooltip included.
  Shell_NotifyIconA(NIM_ADD, &record);
}

void Win32Platform::TrayDelete(const NotifyIconData& icon) {
  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = AsWindow(icon.window != nullptr ? HandleOf(*icon.window) : 0);
  record.uID = icon.id;
  // Nothing happens when no icon is shown.
  Shell_NotifyIconA(NIM_DELETE, &record);
}

void Win32Platform::SetForeground(ui::Form& form) {
  SetForegroundWindow(AsWindow(HandleOf(form)));
}

void Win32Platform::PostNull(ui::Form& form) {
  PostMessageA(AsWindow(HandleOf(form)), WM_NULL, 0, 0);
}

void Win32Platform::PopupMenu(ui::PopupMenu& menu, ui::Point at) {
  const MenuHandle popup;
  for (std::size_t i = 0; i < menu.entries.size(); ++i) {
    const ui::MenuItem& item = *menu.entries[i];
    AppendMenuA(popup.menu, MF_STRING | (item.Enabled() ? 0u : MF_GRAYED), i + 1,
                ToAnsi(item.Caption()).c_str());
  }
  HWND owner = AsWindow(MainHandle());
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      popup.menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
      at.x, at.y, 0, owner, nullptr));
  if (chosen == 0)
    return;
  // The choice is an event of its own, after the menu has closed.
  open_menu_ = &menu;
  PostMessageA(owner, MenuChoiceMessage(), chosen - 1, 0);
}

void Win32Platform::MenuChosen(unsigned index) {
  ui::PopupMenu* menu = std::exchange(open_menu_, nullptr);
  if (menu == nullptr || index >= menu->entries.size())
    return;
  ui::MenuItem* item = menu->entries[index];
  Dispatch([item] { item->Click(); });
}

bool Win32Platform::EnableTimer(ui::Timer& timer, bool enabled) {
  // The timer runs on the window of the form that holds it.
  ui::Form* owner = nullptr;
  for (auto& [form, window] : windows_) {
    if (std::find(form->controls.begin(), form->controls.end(), &timer) != form->controls.end())
      owner = form;
  }
  if (owner == nullptr)
    return false;
  HWND hwnd = AsWindow(HandleOf(*owner));
  auto [it, added] = timers_.emplace(&timer, static_cast<unsigned>(timers_.size() + 1));
  if (!enabled) {
    KillTimer(hwnd, it->second);
    return true;
  }
  return SetTimer(hwnd, it->second, static_cast<UINT>(timer.interval_ms), nullptr) != 0;
}

void Win32Platform::TimerFired(unsigned id) {
  for (const auto& [timer, number] : timers_) {
    if (number == id) {
      ui::Timer* fired = timer;
      Dispatch([fired] { fired->Tick(); });
      return;
    }
  }
}

void Win32Platform::BringApplicationToFront() {
  ui::Form* form = active_ != nullptr ? active_ : main_form_;
  if (form == nullptr)
    return;
  HWND hwnd = AsWindow(HandleOf(*form));
  if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd);
  }
}

void Win32Platform::RaiseWindow(ui::Form& form) {
  HWND hwnd = AsWindow(HandleOf(form));
  if (!IsWindowVisible(hwnd))
    return;
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
  Activated(form);
}

void Win32Platform::RestoreApplication() {
  for (auto& [form, window] : windows_) {
    HWND hwnd = static_cast<HWND>(window->Handle());
    if (IsWindowVisible(hwnd) && IsIconic(hwnd))
      ShowWindow(hwnd, SW_RESTORE);
  }
}

void Win32Platform::Quit() {
  PostQuitMessage(0);
}

std::optional<std::string> Win32Platform::RunSaveDialog(ui::SaveDialog& dialog) {
  return win32::RunSaveDialog(DialogOwner(), dialog);
}

void Win32Platform::ErrorBox(const std::string& text) {
  win32::ErrorBox(DialogOwner(), text);
}

void Win32Platform::PlainBox(const std::string& text) {
  win32::PlainBox(DialogOwner(), text);
}

std::optional<std::string> Win32Platform::BrowseForFolder(const std::string& title) {
  return win32::BrowseForFolder(DialogOwner(), title);
}

std::string Win32Platform::DocumentsFolder() {
  return win32::DocumentsFolder(MainHandle());
}

char Win32Platform::PathSeparator() {
  return kPathSeparator;
}

void Win32Platform::OpenMailLink(const std::string& link) {
  win32::OpenMailLink(MainHandle(), link);
}

ClockReading Win32Platform::Now() {
  return LocalNow();
}

void Win32Platform::Dispatch(const std::function<void()>& handler) {
  if (dispatch_)
    dispatch_(handler);
  else
    handler();
}

void Win32Platform::Activated(ui::Form& form) {
  if (active_ == &form)
    return;
  active_ = &form;
  if (form.on_activate)
    Dispatch(form.on_activate);
}

void Win32Platform::Hidden(ui::Form& form) {
  if (active_ == &form)
    active_ = nullptr;
}

void Win32Platform::MainWindowClosed() {
  PostQuitMessage(0);
}

}  // namespace pixtrel::win32
