// The Windows system services against the real calls, run under wine: files, the profile
// store, screen copies, the clipboard, the boxes and dialogs, the shell and the clock.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include "core/error.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_clipboard.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

namespace pixtrel {
namespace {

namespace fs = std::filesystem;
using win32::ScopedGdiObject;

const std::string kCannotWrite =
    "Impossible d'\xC3\xA9"
    "crire dans Pixtrel.cfg";

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
// What the system shows of ANSI bytes, to compare with wide literals whatever the code page.
std::wstring Shown(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, ansi.data(), ansi.size(), wide.data(), wide.size()));
  return wide;
}
// Anything at `path`, gone, read-only or not.
void Remove(const fs::path& path) {
  std::error_code error;
  for (auto& entry : fs::recursive_directory_iterator(path, error))
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(path, error);
}
std::set<std::wstring> Names(const fs::path& folder) {
  std::set<std::wstring> names;
  for (auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().wstring());
  return names;
}

// ---- files

class FilesTest : public ::testing::Test {
 protected:
  FilesTest() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "pixtrel-files-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root_.c_str(), nullptr);
  }
  ~FilesTest() override { Remove(root_); }
  std::string In(const std::string& name) const { return root_ + "\\" + name; }
  bool Save(const std::string& path, const std::string& bytes, FileOptions options = {}) {
    StartedFile started = files_.StartFile(path, options);
    return started.file && started.file->Write(bytes.data(), bytes.size()) == bytes.size() &&
           started.file->Commit();
  }

  std::string root_;
  Win32Files files_;
};

TEST_F(FilesTest, WritesThroughATemporaryThatOnlyACommitPutsInPlace) {
  const struct {
    bool old, durable, commit;
  } rows[] = {{true, false, true},
              {true, true, true},
              {false, false, true},
              {true, false, false},
              {false, false, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.old) + std::to_string(row.durable) +
                 std::to_string(row.commit));
    DeleteFileA(In("shot.bmp").c_str());
    if (row.old)
      Put(In("shot.bmp"), "old");
    StartedFile started = files_.StartFile(In("shot.bmp"), {.durable = row.durable});
    ASSERT_TRUE(started.file) << started.reason;
    ASSERT_EQ(started.file->Write("new", 3), 3u);
    EXPECT_EQ(Names(root_).size(), row.old ? 2u : 1u);
    EXPECT_EQ(files_.ReadWholeFile(In("shot.bmp")), row.old ? "old" : std::optional<std::string>());
    EXPECT_TRUE(!row.commit || started.file->Commit());
    started.file.reset();
    const bool there = row.old || row.commit;
    EXPECT_EQ(Names(root_), there ? std::set<std::wstring>{L"shot.bmp"} : std::set<std::wstring>{});
    EXPECT_EQ(files_.ReadWholeFile(In("shot.bmp")), row.commit ? "new"
                                                    : row.old  ? "old"
                                                               : std::optional<std::string>());
  }
}

TEST_F(FilesTest, ARefusedCreateKeepsTheOldFileAndGivesTheSystemsReason) {
  struct Row {
    const char* name;
    std::string path;
    std::function<bool()> setup;  // false: the system lets this through
  };
  const Row rows[] = {
      {"a folder in its place", In("shot.bmp"), [&] { return files_.MakeFolder(In("shot.bmp")); }},
      {"a read-only file", In("ro.bmp"),
       [&] {
         Put(In("ro.bmp"), "old");
         SetFileAttributesA(In("ro.bmp").c_str(), FILE_ATTRIBUTE_READONLY);
         const HANDLE probe = CreateFileA(In("ro.bmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
         const win32::ScopedFile file(probe == INVALID_HANDLE_VALUE ? nullptr : probe);
         return !file;
       }},
      {"a missing folder", In("missing\\shot.bmp"), [] { return true; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!row.setup()) {
      std::printf("skipped, the system writes it anyway: %s\n", row.name);
      continue;
    }
    const auto before = Names(root_);
    const std::optional<std::string> old = files_.ReadWholeFile(row.path);
    const StartedFile started = files_.StartFile(row.path, {});
    EXPECT_FALSE(started.file);
    EXPECT_FALSE(started.reason.empty());
    EXPECT_EQ(started.reason.find_first_of("\r\n"), std::string::npos) << started.reason;
    EXPECT_EQ(Names(root_), before);
    EXPECT_EQ(files_.ReadWholeFile(row.path), old);
  }
}

TEST_F(FilesTest, ACommitThatCannotReplaceFailsAndCleansUp) {
  StartedFile started = files_.StartFile(In("shot.bmp"), {});
  ASSERT_TRUE(started.file);
  files_.MakeFolder(In("shot.bmp"));
  EXPECT_FALSE(started.file->Commit());
  started.file.reset();
  EXPECT_EQ(Names(root_), std::set<std::wstring>{L"shot.bmp"});
}

TEST_F(FilesTest, FoldersAreMadeOneLevelOrAllTheWay) {
  EXPECT_FALSE(files_.MakeFolder(In("a\\b")));
  EXPECT_FALSE(files_.FileExists(In("a")));
  EXPECT_TRUE(files_.MakeFolder(In("a")));
  EXPECT_FALSE(files_.MakeFolder(In("a")));
  EXPECT_TRUE(files_.MakeFolder(In("a\\b")));
  EXPECT_FALSE(Save(In("x\\y/z\\shot.bmp"), "new"));
  EXPECT_TRUE(Save(In("x\\y/z\\shot.bmp"), "new", {.make_parents = true}));
  EXPECT_EQ(files_.ReadWholeFile(In("x\\y\\z\\shot.bmp")), "new");
}

TEST_F(FilesTest, Utf8PathsNameFilesInTheSystemsCharacters) {
  const std::string path = In("Captures \xC3\xA9t\xC3\xA9\\07.03.2026 \xC3\xA0 09h.bmp");
  ASSERT_TRUE(Save(path, "BM", {.make_parents = true}));
  EXPECT_EQ(Names(root_), std::set<std::wstring>{L"Captures \u00e9t\u00e9"});
  EXPECT_EQ(Names(fs::path(root_) / L"Captures \u00e9t\u00e9"),
            std::set<std::wstring>{L"07.03.2026 \u00e0 09h.bmp"});
  EXPECT_TRUE(files_.FileExists(path));
  EXPECT_EQ(files_.ReadWholeFile(path), "BM");
}

TEST_F(FilesTest, ReadingAndExistence) {
  Put(In("bytes"), std::string("a\r\n\0\xFF", 5));
  Put(In("empty"), "");
  files_.MakeFolder(In("folder"));
  const struct {
    const char* name;
    std::optional<std::string> bytes;
    bool exists;
  } rows[] = {{"bytes", std::string("a\r\n\0\xFF", 5), true},
              {"empty", "", true},
              {"folder", std::nullopt, true},
              {"missing", std::nullopt, false}};
  for (const auto& row : rows) {
    EXPECT_EQ(files_.ReadWholeFile(In(row.name)), row.bytes) << row.name;
    EXPECT_EQ(files_.FileExists(In(row.name)), row.exists) << row.name;
  }
}

// ---- settings: the bare name lands in the Windows folder

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    path_ = std::string(folder) + "\\Pixtrel.cfg";
    Reset();
  }
  ~SettingsTest() override { Reset(); }
  // wine keeps the last file in memory until a flush.
  void Reset() {
    store_.Flush();
    Remove(path_);
  }
  bool Refused(const std::function<void()>& write) {
    try {
      write();
    } catch (const Error& error) {
      EXPECT_EQ(error.Message(), kCannotWrite);
      return true;
    }
    return false;
  }

  std::string path_;
  Win32Settings store_;
};

TEST_F(SettingsTest, WritesReadBackAndLandInTheWindowsFolder) {
  const std::string folder = "C:\\Mes documents\\Captures \xC3\xA9t\xC3\xA9";
  store_.WriteString("Settings", "AutoRec", "oui");
  store_.WriteString("Settings", "SaveFilePath", folder);
  store_.WriteString("SETTINGS", "autorec", "non");
  store_.Flush();
  EXPECT_EQ(Shown(Bytes(path_)),
            L"[Settings]\r\nAutoRec=non\r\nSaveFilePath=C:\\Mes documents\\Captures "
            L"\u00e9t\u00e9\r\n");
  EXPECT_EQ(store_.ReadString("settings", "SAVEFILEPATH", "-"), folder);
  EXPECT_EQ(store_.ReadString("Settings", "Compression", "100"), "100");
  EXPECT_EQ(store_.ReadString("Other", "AutoRec", "oui"), "oui");
  for (const char* key : {"AutoRec", "autorec", "AUTOREC", "savefilepath"})
    EXPECT_TRUE(store_.ValueExists("Settings", key)) << key;
  for (const char* key : {"Compression", "AutoRe", ""})
    EXPECT_FALSE(store_.ValueExists("Settings", key)) << key;
}

TEST_F(SettingsTest, EraseRemovesEverySectionOfTheName) {
  Put(path_, "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n[settings]\r\nA=3\r\nC=4\r\n");
  store_.EraseSection("SETTINGS");
  store_.Flush();
  EXPECT_EQ(Bytes(path_), "[Other]\r\nB=2\r\n");
  EXPECT_EQ(store_.ReadString("Settings", "C", "-"), "-");
  EXPECT_FALSE(store_.ValueExists("Settings", "A"));
}

TEST_F(SettingsTest, ARefusedWriteRaisesTheProgramsError) {
  CreateDirectoryA(path_.c_str(), nullptr);
  EXPECT_TRUE(Refused([&] { store_.WriteString("Settings", "AutoRec", "oui"); }));
  EXPECT_TRUE(Refused([&] { store_.EraseSection("Settings"); }));
}

TEST_F(SettingsTest, AReadOnlyFileRefusesWrites) {
  Put(path_, "[Settings]\r\nA=1\r\n");
  SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY);
  if (!Refused([&] { store_.WriteString("Settings", "A", "2"); })) {
    store_.Flush();
    GTEST_SKIP() << "the system wrote the read-only file anyway (wine run as root does)";
  }
  EXPECT_EQ(Bytes(path_), "[Settings]\r\nA=1\r\n");
}

// ---- screen

void Pump(int ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
    Sleep(10);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

// A window painted all in one colour by its class brush, on top of everything.
class ColourWindow {
 public:
  ColourWindow(COLORREF colour, DWORD style, RECT client) : brush_(CreateSolidBrush(colour)) {
    static int count = 0;
    name_ = "PixtrelTest" + std::to_string(++count);
    WNDCLASSA type{};
    type.lpfnWndProc = DefWindowProcA;
    type.hInstance = GetModuleHandleA(nullptr);
    type.hbrBackground = brush_.As<HBRUSH>();
    type.lpszClassName = name_.c_str();
    RegisterClassA(&type);
    AdjustWindowRectEx(&client, style, FALSE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    window_ =
        CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, name_.c_str(), "", style, client.left,
                        client.top, client.right - client.left, client.bottom - client.top, nullptr,
                        nullptr, type.hInstance, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    Pump(300);
  }
  ~ColourWindow() {
    DestroyWindow(window_);
    UnregisterClassA(name_.c_str(), GetModuleHandleA(nullptr));
  }
  WindowHandle Handle() const { return reinterpret_cast<WindowHandle>(window_); }

 private:
  ScopedGdiObject brush_;
  std::string name_;
  HWND window_;
};

constexpr Color kRed{255, 0, 0};
constexpr Color kBlack{0, 0, 0};

std::string Text(Color c) {
  return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
}

// Each pixel's colour against `expected(x, y)`; the first difference is told.
void ExpectPixels(const Bitmap& picture, const std::function<Color(int, int)>& expected) {
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      ASSERT_EQ(Text(picture.PixelColor(x, y)), Text(expected(x, y))) << "at " << x << "," << y;
    }
  }
}

TEST(Screen, ACopyAtEveryDepthSeesTheWindowOnTop) {
  const ColourWindow window(RGB(255, 0, 0), WS_POPUP, {50, 60, 170, 140});
  const int screen_depth = win32::ScreenDepth();
  EXPECT_TRUE(screen_depth == 32 || screen_depth == 24 || screen_depth == 16 || screen_depth <= 8);
  for (const int depth : {screen_depth, 32, 24, 16, 8, 4, 1}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    Bitmap copy(120, 80, depth);
    std::fill(copy.Pixels().begin(), copy.Pixels().end(), 0xFF);
    win32::CopyScreen(copy, 50, 60);
    // Red is in every colour table but the two-colour one, where black is nearest.
    ExpectPixels(copy, [&](int, int) { return depth == 1 ? kBlack : kRed; });
    for (std::size_t i = 3; depth == 32 && i < copy.Pixels().size(); i += 4)
      ASSERT_EQ(copy.Pixels()[i], 0) << "byte " << i;
  }
}

TEST(Screen, WhatLiesBeyondTheScreenIsBlack) {
  const ui::Rect screen = win32::ScreenRect();
  const int w = screen.width, h = screen.height;
  // A red square in a corner, copied from 30 pixels beyond that corner.
  const struct {
    RECT square;
    int x, y;
    bool red_near_origin;
  } rows[] = {{{0, 0, 100, 100}, -30, -30, false},
              {{w - 100, h - 100, w, h}, w - 30, h - 30, true}};
  for (const auto& row : rows) {
    const ColourWindow window(RGB(255, 0, 0), WS_POPUP, row.square);
    Bitmap copy(60, 60, 32);
    win32::CopyScreen(copy, row.x, row.y);
    ExpectPixels(copy, [&](int x, int y) {
      const bool red = row.red_near_origin ? x < 30 && y < 30 : x >= 30 && y >= 30;
      return red ? kRed : kBlack;
    });
  }
}

TEST(Screen, AFramedWindowsClientArea) {
  const ColourWindow window(RGB(255, 0, 0), WS_OVERLAPPEDWINDOW, {200, 150, 360, 250});
  EXPECT_EQ(win32::ClientRect(window.Handle()), (ui::Rect{0, 0, 160, 100}));
  const ui::Rect frame = win32::WindowRect(window.Handle());
  EXPECT_LT(frame.left, 200);
  EXPECT_LT(frame.top, 150);
  EXPECT_GT(frame.width, 160);
  Bitmap copy(160, 100, 32);
  win32::CopyClient(window.Handle(), copy);
  ExpectPixels(copy, [](int, int) { return kRed; });
}

// ---- clipboard

// A CF_DIB as the system hands it out, as a Bitmap.
Bitmap FromDib(HGLOBAL memory) {
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(memory));
  const int depth = header->biBitCount;
  Bitmap picture(header->biWidth, std::abs(header->biHeight), depth);
  const int colours = depth > 8 ? 0 : header->biClrUsed ? header->biClrUsed : 1 << depth;
  const int masks = header->biCompression == BI_BITFIELDS ? 3 : 0;
  const auto* table = reinterpret_cast<const std::uint8_t*>(header) + header->biSize + masks * 4;
  std::memcpy(picture.Palette().data(), table, colours * 4);
  const std::uint8_t* bits = table + colours * 4;
  for (int y = 0; y < picture.Height(); ++y) {
    const int from = header->biHeight > 0 ? picture.Height() - 1 - y : y;
    std::memcpy(picture.Row(y), bits + from * picture.Stride(), picture.Stride());
  }
  GlobalUnlock(memory);
  return picture;
}

TEST(Clipboard, APlacedPictureReadsBackWithItsColours) {
  const ColourWindow owner(RGB(0, 0, 0), WS_POPUP, {0, 0, 1, 1});
  for (const int depth : {32, 24, 16, 8, 4, 1}) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    Bitmap picture(37, 5, depth);
    for (std::size_t i = 0; i < picture.Palette().size(); ++i)
      picture.Palette()[i] = {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>(i * 3 + 1), 0};
    for (std::size_t i = 0; i < picture.Pixels().size(); ++i)
      picture.Pixels()[i] = static_cast<std::uint8_t>(i * 13 + 5);
    // 16 bits hold 5 of them per channel, and the unused byte of 32 none.
    for (int y = 0; depth >= 16 && y < picture.Height(); ++y) {
      for (int x = 0; x < picture.Width(); ++x)
        picture.SetPixelColor(x, y, picture.PixelColor(x, y));
    }
    win32::Clipboard clipboard;
    ASSERT_TRUE(clipboard.Open(owner.Handle()));
    clipboard.Empty();
    clipboard.SetBitmap(picture);
    if (depth <= 8)
      clipboard.SetPalette(picture);
    clipboard.Close();
    // The formats are made on request; a window that goes makes them all first.
    clipboard.RenderAll(owner.Handle());

    const win32::ScopedClipboard session(nullptr);
    ASSERT_TRUE(session.IsOpen());
    EXPECT_EQ(IsClipboardFormatAvailable(CF_PALETTE) != 0, depth <= 8);
    const HANDLE dib = GetClipboardData(CF_DIB);
    ASSERT_NE(dib, nullptr);
    ExpectPixels(FromDib(dib), [&](int x, int y) { return picture.PixelColor(x, y); });
    std::vector<PALETTEENTRY> entries(picture.Palette().size());
    GetPaletteEntries(static_cast<HPALETTE>(GetClipboardData(CF_PALETTE)), 0, entries.size(),
                      entries.data());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const PaletteEntry& want = picture.Palette()[i];
      EXPECT_EQ(Text({entries[i].peRed, entries[i].peGreen, entries[i].peBlue}),
                Text({want.red, want.green, want.blue}))
          << "entry " << i;
    }
  }
}

// ---- boxes and dialogs, answered from another thread as a user would

struct Seen {
  std::wstring caption;
  std::vector<std::wstring> texts;
  bool icon = false;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char type[16] = {};
  GetClassNameA(window, type, sizeof type);
  if (std::string(type) == "#32770" && IsWindowVisible(window))
    *reinterpret_cast<HWND*>(found) = window;
  return TRUE;
}

BOOL CALLBACK Look(HWND child, LPARAM into) {
  Seen& seen = *reinterpret_cast<Seen*>(into);
  wchar_t words[512] = {};
  GetWindowTextW(child, words, 512);
  seen.texts.push_back(words);
  // A box without an icon may keep the icon control, hidden and empty.
  seen.icon = seen.icon || ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                            IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0));
  return TRUE;
}

// Runs `call`, answering the dialogs it opens with `answers` in turn, and tells what each showed.
std::vector<Seen> AsUser(std::vector<std::function<void(HWND)>> answers,
                         const std::function<void()>& call) {
  std::vector<Seen> seen;
  std::atomic<bool> stop{false};
  std::thread user([&, thread = GetCurrentThreadId()] {
    for (HWND last = nullptr; !stop; Sleep(20)) {
      HWND dialog = nullptr;
      EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (dialog == nullptr || dialog == last)
        continue;
      Sleep(300);  // until it has settled
      last = dialog;
      Seen& what = seen.emplace_back();
      wchar_t caption[512] = {};
      GetWindowTextW(dialog, caption, 512);
      what.caption = caption;
      EnumChildWindows(dialog, Look, reinterpret_cast<LPARAM>(&what));
      if (seen.size() <= answers.size())
        answers[seen.size() - 1](dialog);
      else
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  call();
  stop = true;
  user.join();
  return seen;
}

void Press(HWND dialog, int button) {
  PostMessageA(dialog, WM_COMMAND, button, 0);
}

bool Holds(const Seen& seen, const std::wstring& text) {
  return std::find(seen.texts.begin(), seen.texts.end(), text) != seen.texts.end();
}

TEST(Dialogs, BoxesShowTheProgramsWordsInTheSystemsCharacters) {
  for (const bool error : {true, false}) {
    const std::vector<Seen> seen = AsUser({[](HWND box) { Press(box, IDOK); }}, [&] {
      (error ? win32::ErrorBox : win32::PlainBox)(0, kCannotWrite);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"Pixtrel");
    EXPECT_TRUE(Holds(seen[0], L"Impossible d'\u00e9crire dans Pixtrel.cfg"));
    EXPECT_EQ(seen[0].icon, error);
  }
}

// Selects `folder` (ANSI) in the folder browser, then confirms.
std::function<void(HWND)> Choose(const std::string& folder) {
  return [folder](HWND browser) {
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    Press(browser, IDOK);
  };
}

TEST_F(FilesTest, TheFolderBrowserGivesTheChosenFolderOrNothing) {
  const std::string title = "Choix du r\xC3\xA9pertoire d'enregistrement des Snaps :";
  // wine's browser did not select a folder under the profile's Temp; near the root it does.
  const std::string chosen = "C:\\R\xC3\xA9pertoire \xC3\xA9t\xC3\xA9";
  ASSERT_TRUE(files_.MakeFolder(chosen));
  std::optional<std::string> cancelled, confirmed;
  const std::vector<Seen> seen = AsUser(
      {[](HWND browser) { Press(browser, IDCANCEL); }, Choose("C:\\R\xE9pertoire \xE9t\xE9")}, [&] {
        cancelled = win32::BrowseForFolder(0, title);
        confirmed = win32::BrowseForFolder(0, title);
      });
  RemoveDirectoryA("C:\\R\xE9pertoire \xE9t\xE9");
  EXPECT_EQ(cancelled, std::nullopt);
  EXPECT_EQ(confirmed, chosen);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(Holds(seen[0], L"Choix du r\u00e9pertoire d'enregistrement des Snaps :"));
}

TEST_F(FilesTest, TheSaveDialogStartsAtTheLastPathAndAsksNothingMore) {
  ui::SaveDialog dialog("SaveDialogBMP");
  dialog.default_ext = "bmp";
  dialog.filter = "Image Bitmap (*.bmp)|*.bmp";
  dialog.file_name = In("d\xC3\xA9j\xC3\xA0.bmp");
  Put(In("d\xE9j\xE0.bmp"), "old");
  const auto type = [](const char* name) {
    return [name](HWND box) {
      SetDlgItemTextA(box, cmb13, name);
      SetDlgItemTextA(box, edt1, name);
      Press(box, IDOK);
    };
  };
  const struct {
    const char* name;
    std::function<void(HWND)> answer;
    std::optional<std::string> path;
  } rows[] = {
      {"cancelled", [](HWND box) { Press(box, IDCANCEL); }, std::nullopt},
      {"the offered file, which exists", [](HWND box) { Press(box, IDOK); }, dialog.file_name},
      {"a name without extension", type("vue"), In("vue.bmp")}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<std::string> path;
    const std::vector<Seen> seen =
        AsUser({row.answer}, [&] { path = win32::RunSaveDialog(0, dialog); });
    EXPECT_EQ(path, row.path);
    ASSERT_EQ(seen.size(), 1u) << "a second box asked something";
    EXPECT_TRUE(Holds(seen[0], L"Image Bitmap (*.bmp)"));
  }
}

// ---- shell and clock

TEST_F(FilesTest, TheDocumentsFolderIsAFolderThatExists) {
  const std::string documents = win32::DocumentsFolder(0);
  EXPECT_NE(documents.find('\\'), std::string::npos) << documents;
  EXPECT_NE(documents.back(), '\\') << "the core adds one before the folder's name";
  EXPECT_FALSE(files_.ReadWholeFile(documents));
  EXPECT_TRUE(files_.FileExists(documents)) << documents;
}

TEST(Clock, ReadsTheLocalTimeAsItMoves) {
  const auto ms = [](const ClockReading& r) {
    return ((r.hour * 60 + r.minute) * 60 + r.second) * 1000LL + r.millisecond;
  };
  const ClockReading first = win32::LocalNow();
  Sleep(120);
  const ClockReading second = win32::LocalNow();
  EXPECT_GE(first.year, 2024);
  EXPECT_TRUE(first.month >= 1 && first.month <= 12 && first.day >= 1 && first.day <= 31);
  // Across midnight the day moves instead.
  EXPECT_TRUE(second.day != first.day ||
              (ms(second) - ms(first) >= 100 && ms(second) - ms(first) < 5000));
}

}  // namespace
}  // namespace pixtrel
