#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commctrl.h>

#include "platform/win32/win32_windows.h"

#include <memory>
#include <string>
#include <string_view>

#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_form_peer.h"
#include "platform/win32/win32_text.h"

namespace pixtrel::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"PixtrelForm";

LPCWSTR ToCursorName(ui::Cursor cursor) {
  switch (cursor) {
    case ui::Cursor::kSizeAll:
      return IDC_SIZEALL;
    case ui::Cursor::kHand:
      return IDC_HAND;
    case ui::Cursor::kDrag:
      return IDC_UPARROW;
    case ui::Cursor::kCross:
      return IDC_CROSS;
    case ui::Cursor::kDefault:
      break;
  }
  return nullptr;
}

FormPeer* FormPeerOf(HWND hwnd) {
  return reinterpret_cast<FormPeer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool IsForm(HWND hwnd) {
  wchar_t name[32] = {};
  return GetClassNameW(hwnd, name, 32) > 0 && std::wstring_view(name) == kFormClass;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* peer = static_cast<FormPeer*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    peer->hwnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(peer));
  }
  if (FormPeer* peer = FormPeerOf(hwnd))
    return peer->Proc(message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void RegisterClasses() {
  static bool registered = false;
  if (registered)
    return;
  registered = true;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = GetModuleHandleW(nullptr);
  form.hIcon = LoadIconW(form.hInstance, L"MAINICON");
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.lpszClassName = kFormClass;
  RegisterClassExW(&form);
  RegisterPictureClasses();
}

DWORD FormStyle(const ui::Form& form) {
  // No WS_CLIPCHILDREN: under wine it keeps the form's own painting off the screen.
  DWORD style = 0;
  switch (form.border) {
    case ui::FormBorder::kNone:
      style |= WS_POPUP;
      break;
    case ui::FormBorder::kDialog:
      style |= WS_POPUP | WS_CAPTION | (form.title_buttons ? WS_SYSMENU : 0);
      break;
    case ui::FormBorder::kSizeable:
      style |= WS_OVERLAPPEDWINDOW;
      break;
  }
  return style;
}

DWORD FormExStyle(const ui::Form& form) {
  DWORD style = 0;
  if (form.border == ui::FormBorder::kDialog)
    style |= WS_EX_DLGMODALFRAME;
  if (form.topmost)
    style |= WS_EX_TOPMOST;
  if (form.layered)
    style |= WS_EX_LAYERED;
  return style;
}

// The window's outer size for the form's client size.
SIZE OuterSize(const ui::Form& form) {
  RECT rect{0, 0, form.bounds.width, form.bounds.height};
  AdjustWindowRectEx(&rect, FormStyle(form), FALSE, FormExStyle(form));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

ui::Point PointOf(std::intptr_t lparam) {
  return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

COLORREF SystemColour(ui::ColorRef color) {
  // The layouts' system colours carry the system colour index in their low byte.
  if ((color & 0x80000000u) != 0)
    return GetSysColor(static_cast<int>(color & 0xFF));
  return color;
}

void FormPeer::Create(void* owner) {
  RegisterClasses();
  const SIZE size = OuterSize(form);
  CreateWindowExW(FormExStyle(form), kFormClass, Wide(form.Caption()).c_str(), FormStyle(form),
                  form.bounds.left, form.bounds.top, size.cx, size.cy, static_cast<HWND>(owner),
                  nullptr, GetModuleHandleW(nullptr), this);
  if (form.layered) {
    SetLayeredWindowAttributes(hwnd, SystemColour(form.transparent_color),
                               static_cast<BYTE>(form.alpha), LWA_COLORKEY | LWA_ALPHA);
  }
  background.Reset();
  background = ScopedGdiObject(CreateSolidBrush(SystemColour(form.color)));
  for (ui::Control* control : form.controls)
    MakeControl(*control);
  OrderControls();
  form.SetPeer(this);
}

void FormPeer::Changed(ui::Control&, ui::Property property) {
  ApplyForm(property);
}

void FormPeer::ApplyForm(ui::Property property) {
  switch (property) {
    case ui::Property::kCaption:
      SetWindowTextW(hwnd, Wide(form.Caption()).c_str());
      return;
    case ui::Property::kBounds: {
      if (form.window_state == ui::WindowState::kMaximized)
        return;
      const SIZE size = OuterSize(form);
      SetWindowPos(hwnd, nullptr, form.bounds.left, form.bounds.top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return;
    }
    case ui::Property::kVisible:
      break;
    default:
      return;
  }
  // Hidden by its destruction a moment later, a window is not hidden or shown again on the way
  // out. (It would cost nothing on Windows; wine with no window manager waits 2 s for each
  // hidden window to be withdrawn.)
  if (host.Ending())
    return;
  const bool shown = IsWindowVisible(hwnd) != FALSE;
  if (form.Visible() == shown)
    return;
  if (!form.Visible()) {
    ShowWindow(hwnd, SW_HIDE);
    host.Hidden(form);
    return;
  }
  switch (form.window_state) {
    case ui::WindowState::kMaximized:
      ShowWindow(hwnd, SW_SHOWMAXIMIZED);
      break;
    case ui::WindowState::kMinimized:
      ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
      host.Shown(form);
      return;
    case ui::WindowState::kNormal:
      ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
      break;
  }
  host.Shown(form);
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  TakeForeground(hwnd);
}

std::intptr_t FormPeer::Proc(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_HSCROLL:
      Scrolled(reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ControlColours(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT && SetCursorOver(reinterpret_cast<HWND>(wparam)))
        return TRUE;
      break;
    case WM_MOUSEMOVE:
      // The tray icon's messages arrive here too, the mouse message in the place of x.
      if (form.on_form_mouse_move)
        host.Dispatch([this, at = PointOf(lparam)] { form.on_form_mouse_move(at); });
      return 0;
    case WM_TIMER:
      host.TimerFired(static_cast<unsigned>(wparam));
      return 0;
    case WM_RENDERFORMAT:
      host.RenderClipboard(static_cast<unsigned>(wparam));
      return 0;
    case WM_CLOSE:
      host.Windows().CloseRequested(form);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE)
        host.Windows().Activated(form);
      break;
    case WM_SIZE:
      // Minimised by the system: the taskbar, a shortcut.
      if (wparam == SIZE_MINIMIZED)
        host.Windows().Minimized(form);
      else
        host.Windows().Resized(form);
      break;
    case WM_MOVE:
      Moved();
      break;
    case WM_GETMINMAXINFO:
      if (Maximizing(reinterpret_cast<MINMAXINFO*>(lparam)))
        return 0;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void FormPeer::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  FillRect(dc, &paint.rcPaint, background.As<HBRUSH>());
  EndPaint(hwnd, &paint);
}

bool FormPeer::SetCursorOver(HWND child) {
  ControlPeer* peer = PeerOf(child);
  LPCWSTR name = peer != nullptr ? ToCursorName(peer->control.cursor) : nullptr;
  if (name == nullptr)
    return false;
  SetCursor(LoadCursorW(nullptr, name));
  return true;
}

void FormPeer::Moved() {
  if (!IsWindowVisible(hwnd) || IsIconic(hwnd) || IsZoomed(hwnd))
    return;
  // Moved by the user by its title bar.
  RECT outer;
  GetWindowRect(hwnd, &outer);
  host.Windows().Moved(form, {outer.left, outer.top});
}

bool FormPeer::Maximizing(void* min_max_info) {
  if (form.window_state != ui::WindowState::kMaximized)
    return false;
  // Maximised, a frameless window covers the primary screen exactly, as the selection's
  // coordinates need.
  auto* info = static_cast<MINMAXINFO*>(min_max_info);
  info->ptMaxPosition = {0, 0};
  info->ptMaxSize = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return true;
}

FormWindow::FormWindow(ui::Form& form, WindowHost& host, void* owner)
    : peer_(std::make_unique<FormPeer>(form, host)) {
  peer_->Create(owner);
}

FormWindow::~FormWindow() {
  // The controls' windows read their peers until they are gone (WM_DESTROY, WM_NCDESTROY, a
  // mouse capture they lose): the windows go first.
  if (peer_->hwnd != nullptr) {
    SetWindowLongPtrW(peer_->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(peer_->hwnd);
  }
  peer_->form.SetPeer(nullptr);
  peer_->peers.clear();
}

ui::Form& FormWindow::form() {
  return peer_->form;
}

void* FormWindow::Handle() const {
  return peer_->hwnd;
}

void FormWindow::PaintNow() {
  RedrawWindow(peer_->hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between controls in every form, as in a dialog.
    HWND top = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (top != nullptr && IsForm(top) && IsDialogMessageW(top, &message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace pixtrel::win32
