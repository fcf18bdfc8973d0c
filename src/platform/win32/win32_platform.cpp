#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shellapi.h>

#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

constexpr wchar_t kApplicationClass[] = L"PixtrelApplication";
constexpr UINT kPassActivation = WM_APP + 2;
constexpr UINT kRunPosted = WM_APP + 3;

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

// The application window: no size and nothing to paint, its title and its taskbar button are
// the program's, and it owns every form so that none has a button of its own.
struct ApplicationWindow {
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(
          hwnd, GWLP_USERDATA,
          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams));
    }
    auto* platform = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (platform != nullptr) {
      switch (message) {
        case WM_SYSCOMMAND:
          // The button's minimise is the application's; the window itself stays as it is and
          // goes with the last form.
          if ((wparam & 0xFFF0) == SC_MINIMIZE) {
            platform->ApplicationMinimized();
            return 0;
          }
          break;
        case WM_ACTIVATE:
          // Chosen on the taskbar, it passes the activation on to the form the user was in,
          // once this activation is over.
          if (LOWORD(wparam) != WA_INACTIVE)
            PostMessageW(hwnd, kPassActivation, 0, 0);
          break;
        case kPassActivation:
          if (GetActiveWindow() == hwnd)
            platform->ApplicationActivated();
          return 0;
        case kRunPosted:
          platform->RunPosted();
          return 0;
        case WM_GETMINMAXINFO:
          reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {0, 0};
          return 0;
        default:
          break;
      }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
};

// The windows that were enabled, disabled for as long as the dialog or box is up: none of them
// takes a click or a key meanwhile, as under any modal dialog.
class Win32Platform::ModalScope {
 public:
  explicit ModalScope(Win32Platform& platform) {
    for (const auto& [form, window] : platform.windows_) {
      const HWND hwnd = static_cast<HWND>(window->Handle());
      if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        disabled_.push_back(hwnd);
      }
    }
  }
  ~ModalScope() {
    for (const HWND hwnd : disabled_)
      EnableWindow(hwnd, TRUE);
  }
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

 private:
  std::vector<HWND> disabled_;
};

Win32Platform::Win32Platform(Composition composition) : composition_(composition) {
  WNDCLASSEXW application{};
  application.cbSize = sizeof application;
  application.lpfnWndProc = ApplicationWindow::Proc;
  application.hInstance = GetModuleHandleW(nullptr);
  application.hIcon = LoadIconW(application.hInstance, L"MAINICON");
  application.lpszClassName = kApplicationClass;
  RegisterClassExW(&application);
  // Centred and of no size: a taskbar preview or a window switcher shows nothing of it.
  application_window_ =
      CreateWindowExW(0, kApplicationClass, L"Pixtrel",
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                      nullptr, nullptr, application.hInstance, this);
}

Win32Platform::~Win32Platform() {
  // Destroying a window stops its timers.
  windows_.clear();
  DestroyWindow(static_cast<HWND>(application_window_));
}

void Win32Platform::CreateFormWindow(ui::Form& form) {
  windows_[&form] = std::make_unique<FormWindow>(form, *this, application_window_);
}

void Win32Platform::DestroyFormWindow(ui::Form& form) {
  FormWindow* window = WindowOf(form);
  if (window == nullptr)
    return;
  // A window's timers go with it.
  std::erase_if(timers_, [&](const auto& entry) {
    if (Windows().OwnerOf(*entry.first) != &form)
      return false;
    KillTimer(static_cast<HWND>(window->Handle()), entry.second);
    return true;
  });
  // The last capture stays on the clipboard after the program.
  if (Windows().IsMain(form))
    clipboard_.RenderAll(MainHandle());
  windows_.erase(&form);
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
  ui::Form* main = windows_set_ != nullptr ? Windows().Main() : nullptr;
  return main != nullptr ? HandleOf(*main) : 0;
}

WindowHandle Win32Platform::DialogOwner() {
  ui::Form* active = Windows().Active();
  if (active != nullptr && IsWindowVisible(AsWindow(HandleOf(*active))))
    return HandleOf(*active);
  return MainHandle();
}

std::uint16_t Win32Platform::AsyncKeyState(std::uint8_t key) {
  // A held key's auto-record polls again and again without going back to the message loop,
  // while other programs wait on the thread: a clipboard reader's request for the picture
  // (WM_RENDERFORMAT), sent with the clipboard open, holds every program's clipboard until it
  // is answered. Each poll answers what was sent meanwhile; what was posted waits for the loop.
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
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
  // A copy right after must see the painting, not the frame before it.
  WaitForComposition(composition_);
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
  PostMessageW(AsWindow(HandleOf(form)), WM_NULL, 0, 0);
}

ui::MenuItem* Win32Platform::PopupMenu(ui::PopupMenu& menu, ui::Point at) {
  const MenuHandle popup;
  for (std::size_t i = 0; i < menu.entries.size(); ++i) {
    const ui::MenuItem& item = *menu.entries[i];
    AppendMenuW(popup.menu, MF_STRING | (item.Enabled() ? 0u : MF_GRAYED), i + 1,
                Wide(item.Caption()).c_str());
  }
  HWND owner = AsWindow(MainHandle());
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      popup.menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
      at.x, at.y, 0, owner, nullptr));
  return chosen == 0 || chosen > menu.entries.size() ? nullptr : menu.entries[chosen - 1];
}

void Win32Platform::Post(std::function<void()> event) {
  posted_.push_back(std::move(event));
  PostMessageW(static_cast<HWND>(application_window_), kRunPosted, 0, 0);
}

void Win32Platform::RunPosted() {
  if (posted_.empty())
    return;
  const std::function<void()> event = std::move(posted_.front());
  posted_.pop_front();
  event();
}

bool Win32Platform::EnableTimer(ui::Timer& timer, bool enabled) {
  // The timer runs on the window of the form that holds it.
  ui::Form* owner = Windows().OwnerOf(timer);
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

void Win32Platform::RaiseWindow(ui::Form& form) {
  HWND hwnd = AsWindow(HandleOf(form));
  if (!IsWindowVisible(hwnd))
    return;
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  TakeForeground(hwnd);
}

void Win32Platform::BringToFront(ui::Form& form) {
  if (IsWindowEnabled(AsWindow(HandleOf(form))))
    RaiseWindow(form);
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
  const WindowHandle owner = DialogOwner();
  const ModalScope modal(*this);
  return win32::RunSaveDialog(owner, dialog);
}

void Win32Platform::ErrorBox(const std::string& text) {
  const WindowHandle owner = DialogOwner();
  const ModalScope modal(*this);
  win32::ErrorBox(owner, text);
}

void Win32Platform::PlainBox(const std::string& text) {
  const WindowHandle owner = DialogOwner();
  const ModalScope modal(*this);
  win32::PlainBox(owner, text);
}

std::optional<std::string> Win32Platform::BrowseForFolder(const std::string& title) {
  const WindowHandle owner = DialogOwner();
  const ModalScope modal(*this);
  return win32::BrowseForFolder(owner, title);
}

std::string Win32Platform::DocumentsFolder() {
  return win32::DocumentsFolder(MainHandle());
}

char Win32Platform::PathSeparator() {
  return kPathSeparator;
}

void Win32Platform::OpenMailLink(const std::string& link) {
  win32::OpenMailLink(link);
}

ClockReading Win32Platform::Now() {
  return LocalNow();
}

void Win32Platform::Shown(ui::Form&) {
  SyncTaskbarButton();
}

void Win32Platform::Hidden(ui::Form&) {
  SyncTaskbarButton();
}

void Win32Platform::SyncTaskbarButton() {
  const HWND application = static_cast<HWND>(application_window_);
  const bool any = std::any_of(windows_.begin(), windows_.end(), [](const auto& entry) {
    return IsWindowVisible(static_cast<HWND>(entry.second->Handle())) != FALSE;
  });
  if (any != (IsWindowVisible(application) != FALSE))
    ShowWindow(application, any ? SW_SHOWNA : SW_HIDE);
}

void Win32Platform::ApplicationMinimized() {
  // The application's minimise, reported through its main form.
  if (ui::Form* main = Windows().Main())
    Windows().Minimized(*main);
}

void Win32Platform::ApplicationActivated() {
  // The window the user last worked in, a dialog of the program's included.
  HWND target = GetLastActivePopup(static_cast<HWND>(application_window_));
  if (target == application_window_ || !IsWindowVisible(target))
    target = AsWindow(DialogOwner());
  if (target != nullptr && IsWindowVisible(target))
    SetForegroundWindow(target);
}

}  // namespace pixtrel::win32
