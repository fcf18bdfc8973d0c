// What Windows does that wine lets pass, checked where a test can reach it: names beyond the
// ANSI code page, files other programs hold, mirrored windows, the foreground rule, the
// compositor, and the manifest's promises.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "core/error.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace pixtrel {
namespace {

namespace fs = std::filesystem;

class HeldFilesTest : public ::testing::Test {
 protected:
  HeldFilesTest() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = fs::path(temp) / ("pixtrel-rules-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(root_);
  }
  ~HeldFilesTest() override {
    std::error_code ignored;
    for (auto& entry : fs::directory_iterator(root_, ignored))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(root_, ignored);
  }
  std::string In(const std::string& name) const {
    return win32::Utf8((root_ / "").wstring()) + name;
  }
  std::set<std::wstring> Names() const {
    std::set<std::wstring> names;
    for (auto& entry : fs::directory_iterator(root_))
      names.insert(entry.path().filename().wstring());
    return names;
  }
  bool Save(const std::string& path, const std::string& bytes) {
    StartedFile started = files_.StartFile(path, {.make_parents = true});
    return started.file && started.file->Write(bytes.data(), bytes.size()) == bytes.size() &&
           started.file->Commit();
  }

  fs::path root_;
  Win32Files files_;
};

TEST_F(HeldFilesTest, NamesNoCodePageHoldsAreWrittenAsTheyAre) {
  // Cyrillic, Greek and Japanese beside the stamp's "à": no ANSI code page has them all.
  const std::string folder = "Фото Φωτο 写真";
  const std::string name = "07.03.2026 à 09h 05m 03s 042'.bmp";
  ASSERT_TRUE(files_.MakeFolder(In(folder)));
  ASSERT_TRUE(Save(In(folder + "\\" + name), "BM"));
  EXPECT_EQ(Names(), std::set<std::wstring>{L"Фото Φωτο 写真"});
  EXPECT_TRUE(fs::exists(root_ / L"Фото Φωτο 写真" / L"07.03.2026 à 09h 05m 03s 042'.bmp"));
  EXPECT_EQ(files_.ReadWholeFile(In(folder + "\\" + name)), "BM");
  EXPECT_TRUE(files_.FileExists(In(folder)));
}

TEST_F(HeldFilesTest, AFileAnotherProgramHoldsIsWrittenOverUnlessItSharesNothing) {
  const struct {
    const char* name;
    DWORD share;
    DWORD held_ms;  // 0: for the whole save
    bool lands;
  } rows[] = {
      {"read and write shared, as a picture viewer does", FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
       true},
      {"everything shared", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, true},
      {"nothing shared, for a moment", 0, 80, true},
      {"nothing shared", 0, 0, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string target = In("shot.bmp");
    std::ofstream(fs::path(win32::Wide(target)), std::ios::binary) << "old";
    SetFileAttributesW(win32::Wide(target).c_str(), FILE_ATTRIBUTE_HIDDEN);
    HANDLE held = CreateFileW(win32::Wide(target).c_str(), GENERIC_READ, row.share, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread letting_go;
    if (row.held_ms != 0) {
      letting_go = std::thread([&] {
        Sleep(row.held_ms);
        CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE));
      });
    }
    StartedFile started = files_.StartFile(target, {});
    if (letting_go.joinable())
      letting_go.join();
    EXPECT_EQ(static_cast<bool>(started.file), row.lands) << started.reason;
    if (started.file) {
      ASSERT_EQ(started.file->Write("new", 3), 3u);
      EXPECT_TRUE(started.file->Commit());
      started.file.reset();
    } else {
      EXPECT_FALSE(started.reason.empty());
    }
    if (held != INVALID_HANDLE_VALUE)
      CloseHandle(held);
    EXPECT_EQ(files_.ReadWholeFile(target), row.lands ? "new" : "old");
    EXPECT_EQ(Names(), std::set<std::wstring>{L"shot.bmp"}) << "a temporary was left";
    // Written over, the file is still the one the user had, hidden as it was.
    EXPECT_NE(GetFileAttributesW(win32::Wide(target).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    SetFileAttributesW(win32::Wide(target).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(CodePage, TheProfileFileTakesOnlyWhatItsCodePageHolds) {
  if (GetACP() != 1252)
    GTEST_SKIP() << "these rows are code page 1252's, this system's is " << GetACP();
  const struct {
    const char* value;
    bool held;
  } rows[] = {{"C:\\Users\\ann\\Documents\\Pixtrel", true},
              {"D:\\Captures été à Noël", true},
              {"D:\\Фото", false},
              {"D:\\写真", false},
              // A look-alike would do for a name the system shows, never for one it opens.
              {"D:\\Łódź", false}};
  Win32Settings store;
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  const std::string file = std::string(windows) + "\\Pixtrel.cfg";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(store.CanHold(row.value), row.held);
    DeleteFileA(file.c_str());
    bool refused = false;
    try {
      store.WriteString("Settings", "SaveFilePath", row.value);
    } catch (const Error&) {
      refused = true;
    }
    store.Flush();
    EXPECT_EQ(refused, !row.held);
    EXPECT_EQ(store.ReadString("Settings", "SaveFilePath", "-"), row.held ? row.value : "-");
  }
  DeleteFileA(file.c_str());
}

// ---- windows

void Pump(int ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
    Sleep(10);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

// A framed window of one colour, on top.
class PlainWindow {
 public:
  PlainWindow(COLORREF colour, DWORD ex_style, RECT rect) : brush_(CreateSolidBrush(colour)) {
    static int count = 0;
    name_ = L"PixtrelRules" + std::to_wstring(++count);
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hbrBackground = brush_.As<HBRUSH>();
    type.lpszClassName = name_.c_str();
    RegisterClassW(&type);
    window_ = CreateWindowExW(WS_EX_TOPMOST | ex_style, name_.c_str(), L"", WS_OVERLAPPEDWINDOW,
                              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                              nullptr, nullptr, type.hInstance, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    Pump(300);
  }
  ~PlainWindow() {
    DestroyWindow(window_);
    UnregisterClassW(name_.c_str(), GetModuleHandleW(nullptr));
  }
  HWND Get() const { return window_; }

 private:
  win32::ScopedGdiObject brush_;
  std::wstring name_;
  HWND window_;
};

TEST(Windows, ARightToLeftWindowsClientAreaIsCopiedWhereItIs) {
  for (const DWORD layout : {0ul, static_cast<unsigned long>(WS_EX_LAYOUTRTL)}) {
    SCOPED_TRACE(layout != 0 ? "mirrored" : "left to right");
    const PlainWindow window(RGB(0, 0, 255), layout, {100, 100, 340, 260});
    const auto handle = reinterpret_cast<WindowHandle>(window.Get());
    const ui::Rect client = win32::ClientRect(handle);
    Bitmap copy(client.width, client.height, 32);
    win32::CopyClient(handle, copy);
    int off = 0;
    for (int y = 0; y < copy.Height(); ++y) {
      for (int x = 0; x < copy.Width(); ++x)
        off += copy.PixelColor(x, y) == Color{0, 0, 255} ? 0 : 1;
    }
    EXPECT_EQ(off, 0) << "pixels of another colour";
  }
}

TEST(Windows, AHotkeyOfItsOwnBringsTheProgramForward) {
  const PlainWindow first(RGB(255, 0, 0), 0, {10, 10, 110, 110});
  const PlainWindow second(RGB(0, 255, 0), 0, {150, 10, 250, 110});
  SetForegroundWindow(first.Get());
  Pump(100);
  ASSERT_EQ(GetForegroundWindow(), first.Get());
  EXPECT_TRUE(win32::ForegroundThroughHotkey(second.Get()));
  EXPECT_EQ(GetForegroundWindow(), second.Get());
  // The key was the hot key's: none is left registered, and no program saw it.
  EXPECT_TRUE(RegisterHotKey(nullptr, 1, MOD_NOREPEAT, VK_F22));
  UnregisterHotKey(nullptr, 1);
}

int flushes = 0;
bool composing = false;

TEST(Windows, APaintThatACopyMustSeeWaitsForTheCompositor) {
  for (const bool on : {false, true}) {
    SCOPED_TRACE(on ? "composition on" : "composition off");
    flushes = 0;
    composing = on;
    win32::Win32Platform platform({[] { return composing; }, [] { ++flushes; }});
    ui::WindowSet windows([](const std::function<void()>& handler) { handler(); }, [] {});
    platform.Attach(windows);
    ui::Form form("Form4");
    form.border = ui::FormBorder::kNone;
    form.bounds = {0, 0, 50, 50};
    windows.Add(form);
    platform.CreateFormWindow(form);
    form.SetVisible(true);
    platform.RepaintNow(form);
    EXPECT_EQ(flushes, on ? 1 : 0);
    form.SetVisible(false);
    platform.DestroyFormWindow(form);
    windows.Remove(form);
  }
}

TEST(Manifest, PerMonitorAwareAndWithoutAnElevationEntry) {
  std::wstring exe = win32::Wide("Z:" PIXTREL_EXE);
  std::replace(exe.begin(), exe.end(), L'/', L'\\');
  const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << win32::LastErrorText();
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  EXPECT_NE(manifest.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                          "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>"),
            std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                          "WindowsSettings\">true/pm</dpiAware>"),
            std::string::npos);
  // Elevation, or a level of any kind, would end the file virtualisation that puts the settings
  // file of a user without administrator rights in their VirtualStore.
  EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos);
  EXPECT_EQ(manifest.find("trustInfo"), std::string::npos);
}

}  // namespace
}  // namespace pixtrel
