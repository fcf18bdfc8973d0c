// pixtrel_driver.exe: a user at the keyboard and mouse, and another program reading back the
// screen, the clipboard and the windows, for the end-to-end tests under wine.
#pragma once

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace driver {

// Ends the command: its text goes to stderr, the exit code is not 0.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::wstring>;  // after the command's name

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
const std::wstring& Arg(const Args& args, std::size_t index, const char* what);
int Number(const std::wstring& text);
std::string SystemError(const char* call);  // the call's name and GetLastError's words

// One line of TAB-separated key=value fields; TAB, newline and backslash escaped as \t \n \\.
class Reply {
 public:
  Reply& Add(const char* key, const std::string& value);
  Reply& Add(const char* key, const std::wstring& value) { return Add(key, Utf8(value)); }
  Reply& Add(const char* key, const wchar_t* value) { return Add(key, std::wstring(value)); }
  Reply& Add(const char* key, long long value) { return Add(key, std::to_string(value)); }
  Reply& Add(const char* key, int value) { return Add(key, static_cast<long long>(value)); }
  Reply& Add(const char* key, bool value) { return Add(key, value ? 1LL : 0LL); }
  void Print() const;  // and flushed: a test may read it while the command goes on

 private:
  std::string line_;
};

// Handles, each closed by its own call.
template <auto Close>
struct Closer {
  template <typename T>
  void operator()(T handle) const {
    Close(handle);
  }
};
template <typename T, auto Close>
using Unique = std::unique_ptr<std::remove_pointer_t<T>, Closer<Close>>;
using UniqueHandle = Unique<HANDLE, &CloseHandle>;
using UniqueDc = Unique<HDC, &DeleteDC>;
using UniqueGdi = Unique<HGDIOBJ, &DeleteObject>;
using UniqueMenu = Unique<HMENU, &DestroyMenu>;

class ScreenDc {
 public:
  ScreenDc();
  ~ScreenDc() { ReleaseDC(nullptr, dc_); }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, old_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Another program may hold it for a moment: tries for a while.
class ClipboardSession {
 public:
  ClipboardSession();
  ~ClipboardSession() { CloseClipboard(); }
  ClipboardSession(const ClipboardSession&) = delete;
  ClipboardSession& operator=(const ClipboardSession&) = delete;
};

// input
void TapKey(WORD key);
void SendKey(WORD key, bool up);
WORD KeyCode(const std::wstring& name);
void MouseTo(int x, int y);
void MouseButton(bool right, bool up);
void Pause(int ms);

// windows
HWND TopLevel(const std::wstring& title);  // fails when there is none
std::wstring TextOf(HWND window);          // through WM_GETTEXT, which crosses processes
void AddWindowFields(Reply& reply, HWND window);
int RunMessageLoop();

// The commands; each prints its reply or throws Failure.
void KeyCommand(const Args&);
void KeyDownCommand(const Args&);
void KeyUpCommand(const Args&);
void KeysCommand(const Args&);
void TypeCommand(const Args&);
void PollKeyCommand(const Args&);
void MoveCommand(const Args&);
void ClickCommand(const Args&);
void DragCommand(const Args&);
void WindowCommand(const Args&);
void WaitWindowCommand(const Args&);
void ForegroundCommand(const Args&);
void ChildrenCommand(const Args&);
void ChildCommand(const Args&);
void ClickChildCommand(const Args&);
void FocusChildCommand(const Args&);
void MenuCommand(const Args&);
void MenuItemCommand(const Args&);
void MessageBoxTextCommand(const Args&);
void MessageBoxOkCommand(const Args&);
void ColourWindowCommand(const Args&);
void TrayIconCommand(const Args&);
void ClipboardCommand(const Args&);
void SetClipboardCommand(const Args&);
void HoldClipboardCommand(const Args&);
void ScreenCommand(const Args&);
void InfoCommand(const Args&);
void ClipboardReadersCommand(const Args&);
void HoldFileCommand(const Args&);
void TaskbarCommand(const Args&);
void SysCommandCommand(const Args&);
void MailHandlerCommand(const Args&);
void RecordArgsCommand(const Args&);
void ProcessCommand(const Args&);

}  // namespace driver
