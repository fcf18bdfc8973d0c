#include "driver.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <exception>

namespace driver {

std::string Utf8(const std::wstring& text) {
  if (text.empty())
    return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& text) {
  if (text.empty())
    return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

const std::wstring& Arg(const Args& args, std::size_t index, const char* what) {
  if (index >= args.size())
    throw Failure(std::string("missing ") + what);
  return args[index];
}

int Number(const std::wstring& text) {
  wchar_t* end = nullptr;
  const long value = std::wcstol(text.c_str(), &end, 0);
  if (text.empty() || *end != L'\0')
    throw Failure("not a number: " + Utf8(text));
  return static_cast<int>(value);
}

std::string SystemError(const char* call) {
  const DWORD code = GetLastError();
  wchar_t* words = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
  std::string text = std::string(call) + " failed (" + std::to_string(code) + ")";
  if (words != nullptr) {
    text += ": " + Utf8(words);
    LocalFree(words);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

Reply& Reply::Add(const char* key, const std::string& value) {
  if (!line_.empty())
    line_ += '\t';
  line_ += key;
  line_ += '=';
  for (const char c : value) {
    switch (c) {
      case '\t':
        line_ += "\\t";
        break;
      case '\n':
        line_ += "\\n";
        break;
      case '\r':
        line_ += "\\r";
        break;
      case '\\':
        line_ += "\\\\";
        break;
      default:
        line_ += c;
    }
  }
  return *this;
}

void Reply::Print() const {
  std::fputs((line_ + "\n").c_str(), stdout);
  std::fflush(stdout);
}

ScreenDc::ScreenDc() : dc_(GetDC(nullptr)) {
  if (dc_ == nullptr)
    throw Failure(SystemError("GetDC"));
}

void InfoCommand(const Args&) {
  wchar_t documents[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  Reply()
      .Add("screen_width", GetSystemMetrics(SM_CXSCREEN))
      .Add("screen_height", GetSystemMetrics(SM_CYSCREEN))
      .Add("bits", GetDeviceCaps(ScreenDc().Get(), BITSPIXEL))
      .Add("code_page", static_cast<long long>(GetACP()))
      .Add("documents", documents)
      .Add("windows", windows)
      .Print();
}

namespace {

struct Command {
  const wchar_t* name;
  void (*run)(const Args&);
  const char* usage;
};

constexpr Command kCommands[] = {
    {L"key", KeyCommand, "NAME [alt|ctrl|shift]...  a tap, the modifiers held 300 ms around it"},
    {L"keydown", KeyDownCommand, "NAME"},
    {L"keyup", KeyUpCommand, "NAME"},
    {L"keys", KeysCommand, "[ctrl+|alt+|shift+]NAME...  taps one after another"},
    {L"type", TypeCommand, "TEXT  as unicode key events"},
    {L"poll-key", PollKeyCommand, "NAME MS  GetAsyncKeyState every 10 ms; says ready first"},
    {L"move", MoveCommand, "X Y"},
    {L"click", ClickCommand, "X Y [left|right]"},
    {L"drag", DragCommand, "X1 Y1 X2 Y2  left button, at a hand's pace"},
    {L"window", WindowCommand, "TITLE"},
    {L"wait-window", WaitWindowCommand, "TITLE [visible|hidden|exists|gone] [MS]"},
    {L"foreground", ForegroundCommand, "[TITLE]  brings it forward, or tells which is"},
    {L"children", ChildrenCommand, "TITLE  one line a control"},
    {L"child", ChildCommand, "TITLE CONTROL  CONTROL: its text, #ID, or CLASS:N"},
    {L"click-child", ClickChildCommand, "TITLE CONTROL  BM_CLICK"},
    {L"focus-child", FocusChildCommand, "TITLE CONTROL  the keyboard to it"},
    {L"menu", MenuCommand, " the pop-up menu that is up"},
    {L"menu-item", MenuItemCommand,
     "TEXT|#N  the item of that text, or the Nth the Down key reaches"},
    {L"messagebox-text", MessageBoxTextCommand, " the open message box's caption and text"},
    {L"messagebox-ok", MessageBoxOkCommand, " presses its OK"},
    {L"colour-window", ColourWindowCommand,
     "TITLE X Y W H RRGGBB [framed] [topmost] [alpha=N] [key=RRGGBB]"},
    {L"tray-icon", TrayIconCommand, "TIP  an icon with a menu; prints its mouse messages"},
    {L"clipboard", ClipboardCommand, "FILE  the CF_DIB as a .bmp file"},
    {L"set-clipboard", SetClipboardCommand, "FILE  a .bmp file as CF_DIB"},
    {L"hold-clipboard", HoldClipboardCommand, "MS  keeps it open that long; says ready first"},
    {L"screen", ScreenCommand, "FILE [X Y W H]  through GetDC(NULL), as a .bmp file"},
    {L"info", InfoCommand, " the screen, the code page, the documents and Windows folders"},
    {L"clipboard-readers", ClipboardReadersCommand,
     "MS  reads every change, and times the owner's answers; says ready first"},
    {L"hold-file", HoldFileCommand, "FILE MS [rw|none|rwd]  keeps it open; says ready first"},
    {L"taskbar", TaskbarCommand, "TITLE  its process's taskbar buttons, and the foreground"},
    {L"syscommand", SysCommandCommand, "WINDOW minimize|restore|close  posted to it"},
    {L"mail-handler", MailHandlerCommand,
     "FILE MS  handles mailto: links into FILE until one comes; says ready first"},
    {L"record-args", RecordArgsCommand, "FILE ARGS...  writes them into FILE"},
    {L"process", ProcessCommand,
     "TITLE  its process's memory, kernel handles, GDI objects and windows"},
};

int Usage() {
  std::fputs("pixtrel_driver COMMAND [ARGS...]\n", stderr);
  for (const Command& command : kCommands)
    std::fprintf(stderr, "  %s %s\n", Utf8(command.name).c_str(), command.usage);
  return 2;
}

}  // namespace
}  // namespace driver

int main() {
  using namespace driver;
  // Lines end in \n alone, as the tests on Linux read them.
  _setmode(_fileno(stdout), _O_BINARY);
  // The arguments in UTF-16, whatever the ANSI code page makes of them.
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count < 2)
    return Usage();
  const std::wstring name = argv[1];
  const Args args(argv + 2, argv + count);
  LocalFree(argv);
  for (const Command& command : kCommands) {
    if (name != command.name)
      continue;
    try {
      command.run(args);
      return 0;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", Utf8(name).c_str(), error.what());
      return 1;
    }
  }
  return Usage();
}
