// Other programs' windows as a user finds them: where they are, what their controls say, and
// their controls, menus and message boxes pressed.
#include "driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <functional>

namespace driver {
namespace {

std::string Hex(unsigned long value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*lX", digits, value);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Menus and buttons show "&Ok" as "Ok"; a tab starts the shortcut's column.
std::wstring Shown(const std::wstring& text) {
  std::wstring shown;
  for (std::size_t i = 0; i < text.size() && text[i] != L'\t'; ++i) {
    if (text[i] == L'&' && i + 1 < text.size())
      ++i;
    shown += text[i];
  }
  return shown;
}

LRESULT Ask(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 2000, &result))
    throw Failure(SystemError("SendMessageTimeout"));
  return static_cast<LRESULT>(result);
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The first shown top-level window of that class, such as a menu's or a message box's.
HWND ShownOfClass(const wchar_t* name) {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  for (const HWND window : windows) {
    if (IsWindowVisible(window) && ClassOf(window) == name)
      return window;
  }
  return nullptr;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

// A control by its text, by "#ID", or by "CLASS:N", the nth of that class from 0.
HWND Child(HWND parent, const std::wstring& control) {
  const std::vector<HWND> children = Children(parent);
  for (const HWND child : children) {
    if (Shown(TextOf(child)) == Shown(control))
      return child;
  }
  if (control.size() > 1 && control[0] == L'#') {
    const int id = Number(control.substr(1));
    for (const HWND child : children) {
      if (GetDlgCtrlID(child) == id)
        return child;
    }
  }
  const std::size_t colon = control.rfind(L':');
  if (colon != std::wstring::npos && colon + 1 < control.size() &&
      std::iswdigit(control[colon + 1])) {
    int left = Number(control.substr(colon + 1));
    for (const HWND child : children) {
      if (SameText(ClassOf(child), control.substr(0, colon)) && left-- == 0)
        return child;
    }
  }
  throw Failure("no control " + Utf8(control) + " in " + Utf8(TextOf(parent)));
}

void AddRect(Reply& reply, const RECT& rect) {
  reply.Add("left", static_cast<int>(rect.left))
      .Add("top", static_cast<int>(rect.top))
      .Add("width", static_cast<int>(rect.right - rect.left))
      .Add("height", static_cast<int>(rect.bottom - rect.top));
}

void AddChildFields(Reply& reply, HWND child) {
  const std::wstring kind = ClassOf(child);
  RECT rect{};
  GetWindowRect(child, &rect);
  reply.Add("id", GetDlgCtrlID(child))
      .Add("class", kind)
      .Add("text", TextOf(child))
      .Add("visible", IsWindowVisible(child) != FALSE)
      .Add("enabled", IsWindowEnabled(child) != FALSE);
  AddRect(reply, rect);
  if (SameText(kind, L"Button")) {
    reply.Add("check", static_cast<int>(Ask(child, BM_GETCHECK)));
  } else if (SameText(kind, TRACKBAR_CLASSW)) {
    reply.Add("pos", static_cast<int>(Ask(child, TBM_GETPOS)))
        .Add("min", static_cast<int>(Ask(child, TBM_GETRANGEMIN)))
        .Add("max", static_cast<int>(Ask(child, TBM_GETRANGEMAX)));
  } else if (SameText(kind, L"ComboBox")) {
    reply.Add("selected", static_cast<int>(Ask(child, CB_GETCURSEL)))
        .Add("count", static_cast<int>(Ask(child, CB_GETCOUNT)));
  }
}

void ClickAt(const RECT& rect) {
  MouseTo((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  Pause(50);
  MouseButton(false, false);
  Pause(50);
  MouseButton(false, true);
}

HWND OpenMenu() {
  const HWND window = ShownOfClass(L"#32768");
  if (window == nullptr)
    throw Failure("no pop-up menu is up");
  return window;
}

HWND OpenMessageBox() {
  const HWND box = ShownOfClass(L"#32770");
  if (box == nullptr)
    throw Failure("no message box is open");
  return box;
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (static_cast<int>(GetTickCount() - start) > ms)
      return false;
    Pause(20);
  }
  return true;
}

// Activation reaches the other thread later; a click meanwhile may lose its capture to it.
bool BringForward(HWND window) {
  if (!SetForegroundWindow(window)) {
    // Windows lets the thread of the foreground window give it away.
    const DWORD theirs = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    AttachThreadInput(GetCurrentThreadId(), theirs, TRUE);
    SetForegroundWindow(window);
    AttachThreadInput(GetCurrentThreadId(), theirs, FALSE);
  }
  const bool done = WaitUntil([&] { return GetForegroundWindow() == window; }, 2000);
  Pause(50);
  return done;
}

}  // namespace

HWND TopLevel(const std::wstring& title) {
  const HWND window = FindWindowW(nullptr, title.c_str());
  if (window == nullptr)
    throw Failure("no window called \"" + Utf8(title) + "\"");
  return window;
}

std::wstring TextOf(HWND window) {
  const auto length = static_cast<std::size_t>(Ask(window, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<std::size_t>(
      Ask(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(copied, length));
  return text;
}

void AddWindowFields(Reply& reply, HWND window) {
  RECT rect{}, client{};
  GetWindowRect(window, &rect);
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const auto style = static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE));
  const auto ex_style = static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE));
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  reply.Add("exists", true)
      .Add("title", TextOf(window))
      .Add("class", ClassOf(window))
      .Add("visible", IsWindowVisible(window) != FALSE)
      .Add("iconic", IsIconic(window) != FALSE)
      .Add("foreground", GetForegroundWindow() == window);
  AddRect(reply, rect);
  reply.Add("client_left", static_cast<int>(origin.x))
      .Add("client_top", static_cast<int>(origin.y))
      .Add("client_width", static_cast<int>(client.right))
      .Add("client_height", static_cast<int>(client.bottom))
      .Add("topmost", (ex_style & WS_EX_TOPMOST) != 0)
      .Add("layered", (ex_style & WS_EX_LAYERED) != 0)
      .Add("style", Hex(style, 8))
      .Add("ex_style", Hex(ex_style, 8))
      .Add("pid", static_cast<long long>(process));
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  if ((ex_style & WS_EX_LAYERED) != 0 && GetLayeredWindowAttributes(window, &key, &alpha, &flags)) {
    reply.Add("colour_key", Hex((GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key), 6))
        .Add("alpha", static_cast<int>(alpha))
        .Add("layered_flags", static_cast<long long>(flags));
  }
}

namespace {

// exists=0 when there is no window.
void PrintWindow(HWND window) {
  Reply reply;
  if (window == nullptr)
    reply.Add("exists", false);
  else
    AddWindowFields(reply, window);
  reply.Print();
}

}  // namespace

void WindowCommand(const Args& args) {
  PrintWindow(FindWindowW(nullptr, Arg(args, 0, "title").c_str()));
}

void WaitWindowCommand(const Args& args) {
  const std::wstring& title = Arg(args, 0, "title");
  const std::wstring state = args.size() > 1 ? args[1] : L"visible";
  const int ms = args.size() > 2 ? Number(args[2]) : 5000;
  HWND window = nullptr;
  const bool met = WaitUntil(
      [&] {
        window = FindWindowW(nullptr, title.c_str());
        if (state == L"gone")
          return window == nullptr;
        if (window == nullptr)
          return false;
        const bool visible = IsWindowVisible(window) != FALSE;
        if (state == L"exists")
          return true;
        if (state == L"visible" || state == L"hidden")
          return visible == (state == L"visible");
        throw Failure("a window is visible, hidden, exists or gone, not " + Utf8(state));
      },
      ms);
  PrintWindow(window);
  if (!met)
    throw Failure(Utf8(title) + " not " + Utf8(state) + " after " + std::to_string(ms) + " ms");
}

void ForegroundCommand(const Args& args) {
  if (args.empty()) {
    PrintWindow(GetForegroundWindow());
    return;
  }
  const HWND window = TopLevel(args[0]);
  const bool done = BringForward(window);
  PrintWindow(window);
  if (!done)
    throw Failure("it did not come to the foreground");
}

void ChildrenCommand(const Args& args) {
  for (const HWND child : Children(TopLevel(Arg(args, 0, "title")))) {
    Reply reply;
    AddChildFields(reply, child);
    reply.Print();
  }
}

void ChildCommand(const Args& args) {
  Reply reply;
  AddChildFields(reply, Child(TopLevel(Arg(args, 0, "title")), Arg(args, 1, "control")));
  reply.Print();
}

void ClickChildCommand(const Args& args) {
  const HWND top = TopLevel(Arg(args, 0, "title"));
  const HWND child = Child(top, Arg(args, 1, "control"));
  BringForward(top);
  if (SameText(ClassOf(child), L"Button")) {
    // Posted: a button that opens a modal window would hold a sent message until it closed.
    if (!PostMessageW(child, BM_CLICK, 0, 0))
      throw Failure(SystemError("PostMessage"));
    return;
  }
  RECT rect{};
  GetWindowRect(child, &rect);
  ClickAt(rect);
}

void FocusChildCommand(const Args& args) {
  const HWND top = TopLevel(Arg(args, 0, "title"));
  const HWND child = Child(top, Arg(args, 1, "control"));
  BringForward(top);
  // SetFocus reaches only the windows of threads that share our input state.
  const DWORD theirs = GetWindowThreadProcessId(child, nullptr);
  AttachThreadInput(GetCurrentThreadId(), theirs, TRUE);
  SetFocus(child);
  const bool focused = GetFocus() == child;
  AttachThreadInput(GetCurrentThreadId(), theirs, FALSE);
  Reply reply;
  AddChildFields(reply, child);
  reply.Add("focused", focused).Print();
}

void MenuCommand(const Args&) {
  const HWND window = OpenMenu();
  const auto menu = reinterpret_cast<HMENU>(Ask(window, MN_GETHMENU));
  Reply reply;
  RECT rect{};
  GetWindowRect(window, &rect);
  AddRect(reply, rect);
  const int count = GetMenuItemCount(menu);
  reply.Add("count", count);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    reply.Add(("item" + std::to_string(i)).c_str(), Shown(text));
  }
  reply.Print();
}

void MenuItemCommand(const Args& args) {
  const std::wstring& item = Arg(args, 0, "item");
  const HWND window = OpenMenu();
  if (item.size() > 1 && item[0] == L'#') {
    // From the keyboard: the first Down selects the first item, and separators are skipped.
    std::vector<std::wstring> keys(static_cast<std::size_t>(Number(item.substr(1))) + 1, L"DOWN");
    keys.push_back(L"RETURN");
    KeysCommand(keys);
    return;
  }
  const auto menu = reinterpret_cast<HMENU>(Ask(window, MN_GETHMENU));
  const int count = GetMenuItemCount(menu);
  // Wine keeps a menu to its process: another one can find its window but not read it.
  if (count < 0)
    throw Failure("the menu cannot be read from here; name the item by its place, #N");
  const std::wstring wanted = Shown(item);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    if (Shown(text) != wanted)
      continue;
    RECT rect{};
    if (!GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &rect))
      throw Failure(SystemError("GetMenuItemRect"));
    ClickAt(rect);
    Reply().Add("item", i).Print();
    return;
  }
  throw Failure("no item " + Utf8(wanted) + " among " + std::to_string(count));
}

void MessageBoxTextCommand(const Args&) {
  const HWND box = OpenMessageBox();
  // The text is the static control that message boxes number 0xFFFF.
  const HWND text = GetDlgItem(box, 0xFFFF);
  Reply reply;
  reply.Add("caption", TextOf(box)).Add("text", text != nullptr ? TextOf(text) : L"");
  std::wstring buttons;
  for (const HWND child : Children(box)) {
    if (!SameText(ClassOf(child), L"Button"))
      continue;
    if (!buttons.empty())
      buttons += L',';
    buttons += Shown(TextOf(child));
  }
  reply.Add("buttons", buttons).Print();
}

void MessageBoxOkCommand(const Args&) {
  const HWND box = OpenMessageBox();
  const HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr)
    throw Failure("the message box has no OK");
  BringForward(box);
  PostMessageW(ok, BM_CLICK, 0, 0);
  const DWORD start = GetTickCount();
  if (!WaitUntil([&] { return !IsWindow(box); }, 5000))
    throw Failure("the message box stayed open");
  Reply().Add("closed_ms", static_cast<long long>(GetTickCount() - start)).Print();
}

}  // namespace driver
