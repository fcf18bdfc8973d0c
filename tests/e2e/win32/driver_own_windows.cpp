// Windows the driver shows itself: a known window for the tests to capture, and a tray icon
// with a menu and a message box, so that the harness can be tried without Pixtrel.exe.
#include "driver.h"

#include <shellapi.h>

namespace driver {
namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
enum MenuItem : UINT { kMessageItem = 1, kExitItem = 2 };

NOTIFYICONDATAA tray_icon{};

LRESULT CALLBACK ColourProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY)
    PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

void TrayMenu(HWND window) {
  const UniqueMenu menu(CreatePopupMenu());
  AppendMenuW(menu.get(), MF_STRING, kMessageItem, L"&Message");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kExitItem, L"E&xit");
  POINT at{};
  GetCursorPos(&at);
  // Without this the menu stays up when the user clicks elsewhere.
  SetForegroundWindow(window);
  const auto chosen = static_cast<UINT>(
      TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0,
                     window, nullptr));
  PostMessageW(window, WM_NULL, 0, 0);
  Reply().Add("chose", static_cast<long long>(chosen)).Print();
  if (chosen == kMessageItem) {
    const int answer = MessageBoxW(window, L"Première ligne\nSeconde ligne", L"Pixtrel driver",
                                   MB_OK | MB_ICONSTOP);
    Reply().Add("answer", answer).Print();
  } else if (chosen == kExitItem) {
    DestroyWindow(window);
  }
}

LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTrayMessage) {
    Reply().Add("mouse", static_cast<long long>(lparam)).Print();
    if (lparam == WM_RBUTTONUP)
      TrayMenu(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    Shell_NotifyIconA(NIM_DELETE, &tray_icon);
    PostQuitMessage(0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND MakeWindow(WNDPROC procedure, const wchar_t* class_name, HBRUSH background,
                const std::wstring& title, DWORD style, DWORD ex_style, const RECT& rect) {
  WNDCLASSW type{};
  type.lpfnWndProc = procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.hbrBackground = background;
  type.lpszClassName = class_name;
  if (!RegisterClassW(&type))
    throw Failure(SystemError("RegisterClass"));
  const HWND window = CreateWindowExW(ex_style, class_name, title.c_str(), style, rect.left,
                                      rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                      nullptr, nullptr, type.hInstance, nullptr);
  if (window == nullptr)
    throw Failure(SystemError("CreateWindowEx"));
  return window;
}

COLORREF Colour(const std::wstring& rrggbb) {
  const int rgb = Number(L"0x" + rrggbb);
  return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void ColourWindowCommand(const Args& args) {
  const std::wstring& title = Arg(args, 0, "title");
  const int x = Number(Arg(args, 1, "x")), y = Number(Arg(args, 2, "y"));
  const int width = Number(Arg(args, 3, "width")), height = Number(Arg(args, 4, "height"));
  const COLORREF colour = Colour(Arg(args, 5, "colour"));
  DWORD style = WS_POPUP, ex_style = 0, layered = 0;
  int alpha = 255;
  COLORREF key = 0;
  for (std::size_t i = 6; i < args.size(); ++i) {
    const std::wstring& option = args[i];
    if (option == L"framed") {
      style = WS_OVERLAPPEDWINDOW;
    } else if (option == L"topmost") {
      ex_style |= WS_EX_TOPMOST;
    } else if (option.rfind(L"alpha=", 0) == 0) {
      alpha = Number(option.substr(6));
      layered |= LWA_ALPHA;
    } else if (option.rfind(L"key=", 0) == 0) {
      key = Colour(option.substr(4));
      layered |= LWA_COLORKEY;
    } else {
      throw Failure("no option " + Utf8(option));
    }
  }
  const UniqueGdi brush(CreateSolidBrush(colour));
  const HWND window =
      MakeWindow(ColourProc, L"PixtrelDriverColour", static_cast<HBRUSH>(brush.get()), title, style,
                 ex_style | (layered != 0 ? WS_EX_LAYERED : 0), {x, y, x + width, y + height});
  if (layered != 0 && !SetLayeredWindowAttributes(window, key, static_cast<BYTE>(alpha), layered))
    throw Failure(SystemError("SetLayeredWindowAttributes"));
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  SetForegroundWindow(window);
  Reply reply;
  AddWindowFields(reply.Add("ready", true), window);
  reply.Print();
  RunMessageLoop();
}

void TrayIconCommand(const Args& args) {
  const HWND window = MakeWindow(TrayProc, L"PixtrelDriverTray", nullptr, L"Pixtrel driver tray",
                                 WS_POPUP, 0, {0, 0, 1, 1});
  // The first version of the record, the one Pixtrel.exe fills.
  tray_icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  tray_icon.hWnd = window;
  tray_icon.uID = 1;
  tray_icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  tray_icon.uCallbackMessage = kTrayMessage;
  tray_icon.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  const std::wstring& tip = Arg(args, 0, "tip");
  WideCharToMultiByte(CP_ACP, 0, tip.c_str(), -1, tray_icon.szTip, 63, nullptr, nullptr);
  if (!Shell_NotifyIconA(NIM_ADD, &tray_icon))
    throw Failure("Shell_NotifyIcon refused the icon");
  Reply().Add("ready", true).Print();
  RunMessageLoop();
}

}  // namespace driver
