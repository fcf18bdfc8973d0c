// What other programs and the shell do to Pixtrel.exe on a real Windows desktop: clipboard
// readers that read every change, programs that hold a file open, the taskbar's view of the
// windows, and the program that opens "mailto:" links.
#include "driver.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace driver {
namespace {

// What a 32-bit top-down DIB section holds once `draw` has drawn into its DC, the unused byte
// cleared.
template <class Draw>
std::vector<std::uint32_t> Drawn(int width, int height, Draw draw) {
  const ScreenDc screen;
  const UniqueDc memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const UniqueGdi bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr)
    throw Failure(SystemError("CreateDIBSection"));
  {
    const Selected selected(memory.get(), bitmap.get());
    draw(memory.get(), screen.Get());
  }
  GdiFlush();
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  std::memcpy(pixels.data(), bits, pixels.size() * 4);
  for (std::uint32_t& pixel : pixels)
    pixel &= 0x00FFFFFF;
  return pixels;
}

std::vector<std::uint32_t> ScreenPixels(int width, int height) {
  return Drawn(width, height, [&](HDC into, HDC screen) {
    BitBlt(into, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  });
}

// A CF_DIB of any depth as 32-bit pixels; empty if it is not width x height.
std::vector<std::uint32_t> DibPixels(HGLOBAL memory, int width, int height) {
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(memory));
  if (header == nullptr)
    return {};
  std::vector<std::uint32_t> pixels;
  if (header->biWidth == width && std::abs(header->biHeight) == height) {
    const int colours = header->biBitCount > 8   ? 0
                        : header->biClrUsed != 0 ? static_cast<int>(header->biClrUsed)
                                                 : 1 << header->biBitCount;
    const int masks = header->biCompression == BI_BITFIELDS ? 3 : 0;
    const auto* bits =
        reinterpret_cast<const char*>(header) + header->biSize + (masks + colours) * 4;
    pixels = Drawn(width, height, [&](HDC into, HDC) {
      SetDIBitsToDevice(into, 0, 0, width, height, 0, 0, 0, height, bits,
                        reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
    });
  }
  GlobalUnlock(memory);
  return pixels;
}

struct Readings {
  int updates = 0;
  int busy = 0;  // the clipboard could not be opened
  int read = 0;
  int equal = 0;
};

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLIPBOARDUPDATE) {
    auto* readings = reinterpret_cast<Readings*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    ++readings->updates;
    // As a clipboard history does: open at once, copy the picture out, close; look at it after.
    HGLOBAL copy = nullptr;
    if (OpenClipboard(window)) {
      if (const HANDLE dib = GetClipboardData(CF_DIB)) {
        const SIZE_T size = GlobalSize(dib);
        copy = GlobalAlloc(GMEM_MOVEABLE, size);
        const void* from = GlobalLock(dib);
        if (copy != nullptr && from != nullptr) {
          std::memcpy(GlobalLock(copy), from, size);
          GlobalUnlock(copy);
        }
        GlobalUnlock(dib);
      }
      CloseClipboard();
    } else {
      ++readings->busy;
    }
    if (copy != nullptr) {
      ++readings->read;
      const std::vector<std::uint32_t> pixels = DibPixels(copy, width, height);
      if (!pixels.empty() && pixels == ScreenPixels(width, height))
        ++readings->equal;
      GlobalFree(copy);
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

// For MS milliseconds: reads the picture at every change of the clipboard, and, from another
// thread, sends the clipboard's owner a message every 50 ms and times its answer.
void ClipboardReadersCommand(const Args& args) {
  const int ms = Number(Arg(args, 0, "milliseconds"));
  WNDCLASSW type{};
  type.lpfnWndProc = ListenerProc;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"PixtrelDriverListener";
  RegisterClassW(&type);
  const HWND window = CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, type.hInstance, nullptr);
  Readings readings;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&readings));
  if (window == nullptr || !AddClipboardFormatListener(window))
    throw Failure(SystemError("AddClipboardFormatListener"));

  std::atomic<bool> done{false};
  std::atomic<int> sent{0}, slow{0}, unanswered{0};
  std::atomic<DWORD> longest{0};
  std::thread sender([&] {
    while (!done) {
      if (const HWND owner = GetClipboardOwner()) {
        const DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result))
          ++unanswered;
        const DWORD waited = GetTickCount() - start;
        ++sent;
        if (waited > 200)
          ++slow;
        if (waited > longest)
          longest = waited;
      }
      Pause(50);
    }
  });
  Reply().Add("ready", true).Print();
  const DWORD start = GetTickCount();
  while (static_cast<int>(GetTickCount() - start) < ms) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  done = true;
  sender.join();
  RemoveClipboardFormatListener(window);
  DestroyWindow(window);
  Reply()
      .Add("updates", readings.updates)
      .Add("busy", readings.busy)
      .Add("read", readings.read)
      .Add("equal", readings.equal)
      .Add("sent", sent.load())
      .Add("slow", slow.load())
      .Add("unanswered", unanswered.load())
      .Add("longest_ms", static_cast<long long>(longest.load()))
      .Print();
}

// Keeps a file open for MS milliseconds, sharing it as a viewer (rw), as nobody (none), or all
// ways (rwd).
void HoldFileCommand(const Args& args) {
  const std::wstring& path = Arg(args, 0, "file");
  const int ms = Number(Arg(args, 1, "milliseconds"));
  const std::wstring share = args.size() > 2 ? args[2] : L"rw";
  const DWORD mode = share == L"none"  ? 0
                     : share == L"rwd" ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                       : FILE_SHARE_READ | FILE_SHARE_WRITE;
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, mode, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE)
    throw Failure(SystemError("CreateFile"));
  Reply().Add("ready", true).Print();
  Pause(ms);
}

namespace {

struct Listing {
  DWORD process;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectOfProcess(HWND window, LPARAM data) {
  auto* listing = reinterpret_cast<Listing*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == listing->process)
    listing->windows.push_back(window);
  return TRUE;
}

}  // namespace

// The windows of TITLE's process that the taskbar shows a button for (visible, and unowned or
// made an application window, and no tool window), one line each, then the foreground window.
void TaskbarCommand(const Args& args) {
  const HWND any = TopLevel(Arg(args, 0, "title"));
  Listing listing{0, {}};
  GetWindowThreadProcessId(any, &listing.process);
  EnumWindows(CollectOfProcess, reinterpret_cast<LPARAM>(&listing));
  for (const HWND window : listing.windows) {
    const auto ex_style = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const bool unowned = GetWindow(window, GW_OWNER) == nullptr;
    if (!IsWindowVisible(window) || (ex_style & WS_EX_TOOLWINDOW) != 0 ||
        (!unowned && (ex_style & WS_EX_APPWINDOW) == 0))
      continue;
    Reply()
        .Add("button", TextOf(window))
        .Add("hwnd", static_cast<long long>(reinterpret_cast<std::uintptr_t>(window)))
        .Add("iconic", IsIconic(window) != FALSE)
        .Print();
  }
  const HWND foreground = GetForegroundWindow();
  Reply().Add("foreground", foreground != nullptr ? TextOf(foreground) : L"").Print();
}

// The system command CODE (minimize, restore, close) posted to a window given by its number,
// as the taskbar posts it to a button's window.
void SysCommandCommand(const Args& args) {
  const auto window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(
      std::wcstoull(Arg(args, 0, "window number").c_str(), nullptr, 10)));
  const std::wstring& code = Arg(args, 1, "command");
  const WPARAM command = code == L"minimize"  ? SC_MINIMIZE
                         : code == L"restore" ? SC_RESTORE
                         : code == L"close"   ? SC_CLOSE
                                              : throw Failure("minimize, restore or close");
  if (!PostMessageW(window, WM_SYSCOMMAND, command, 0))
    throw Failure(SystemError("PostMessage"));
}

// Makes this program the handler of "mailto:" links, each recorded in FILE, for MS milliseconds
// at most or until one comes; then the old handler is put back.
void MailHandlerCommand(const Args& args) {
  const std::wstring& file = Arg(args, 0, "file");
  const int ms = Number(Arg(args, 1, "milliseconds"));
  const wchar_t* key = L"Software\\Classes\\mailto\\shell\\open\\command";
  HKEY command = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &command,
                      nullptr) != ERROR_SUCCESS)
    throw Failure("the mailto key cannot be opened");
  std::wstring old(1024, L'\0');
  DWORD size = static_cast<DWORD>(old.size() * sizeof(wchar_t));
  const bool had = RegQueryValueExW(command, nullptr, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(old.data()), &size) == ERROR_SUCCESS;
  old.resize(had ? size / sizeof(wchar_t) : 0);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring handler =
      L"\"" + std::wstring(self) + L"\" record-args \"" + file + L"\" \"%1\"";
  RegSetValueExW(command, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(handler.c_str()),
                 static_cast<DWORD>((handler.size() + 1) * sizeof(wchar_t)));
  Reply().Add("ready", true).Print();
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES &&
         static_cast<int>(GetTickCount() - start) < ms)
    Pause(50);
  if (had) {
    RegSetValueExW(command, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(old.c_str()),
                   static_cast<DWORD>(old.size() * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(command, nullptr);
  }
  RegCloseKey(command);
  Reply().Add("recorded", GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES).Print();
}

// Writes the arguments after FILE into FILE, one a line: what a mail program was handed.
void RecordArgsCommand(const Args& args) {
  const std::wstring& file = Arg(args, 0, "file");
  std::string lines;
  for (std::size_t i = 1; i < args.size(); ++i)
    lines += Utf8(args[i]) + "\n";
  const UniqueHandle out(
      CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (out.get() == INVALID_HANDLE_VALUE ||
      !WriteFile(out.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr))
    throw Failure(SystemError("writing the file"));
}

}  // namespace driver
