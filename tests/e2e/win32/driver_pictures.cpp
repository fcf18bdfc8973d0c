// The screen and the clipboard as another program sees them, to and from .bmp files that the
// Linux side decodes.
#include "driver.h"

#include <cstdint>
#include <cstring>

namespace driver {
namespace {

class Locked {
 public:
  explicit Locked(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {
    if (data_ == nullptr)
      throw Failure(SystemError("GlobalLock"));
  }
  ~Locked() { GlobalUnlock(memory_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  char* Data() const { return static_cast<char*>(data_); }
  std::size_t Size() const { return GlobalSize(memory_); }

 private:
  HGLOBAL memory_;
  void* data_;
};

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (file.get() == INVALID_HANDLE_VALUE ||
      !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    throw Failure(SystemError("writing the file"));
}

std::string ReadWholeFile(const std::wstring& path) {
  const UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE)
    throw Failure(SystemError("opening the file"));
  std::string bytes(GetFileSize(file.get(), nullptr), '\0');
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
      read != bytes.size())
    throw Failure(SystemError("reading the file"));
  return bytes;
}

template <typename T>
void Append(std::string& bytes, const T& value) {
  bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

BITMAPFILEHEADER FileHeader(std::size_t size, std::size_t offset) {
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;  // "BM"
  header.bfSize = static_cast<DWORD>(sizeof header + size);
  header.bfOffBits = static_cast<DWORD>(sizeof header + offset);
  return header;
}

// Top-down 32-bit pixels as a bottom-up 24-bit file, the plainest kind.
std::string Bmp24(const std::uint8_t* pixels, int width, int height) {
  const int row = (width * 3 + 3) & ~3;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(row * height);
  std::string bytes;
  Append(bytes, FileHeader(sizeof info + info.biSizeImage, sizeof info));
  Append(bytes, info);
  for (int y = height - 1; y >= 0; --y) {
    std::string line(static_cast<std::size_t>(row), '\0');
    for (int x = 0; x < width; ++x)
      std::memcpy(&line[static_cast<std::size_t>(x) * 3], pixels + (y * width + x) * 4, 3);
    bytes += line;
  }
  return bytes;
}

std::string ClipboardFormats() {
  std::string formats;
  for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
    if (!formats.empty())
      formats += ',';
    formats += std::to_string(format);
  }
  return formats;
}

}  // namespace

ClipboardSession::ClipboardSession() {
  for (int attempt = 0; !OpenClipboard(nullptr); ++attempt) {
    if (attempt == 100)
      throw Failure(SystemError("OpenClipboard"));
    Pause(20);
  }
}

void ClipboardCommand(const Args& args) {
  const std::wstring& path = Arg(args, 0, "file");
  const ClipboardSession session;
  const HANDLE data = GetClipboardData(CF_DIB);
  if (data == nullptr)
    throw Failure("no CF_DIB on the clipboard; its formats: " + ClipboardFormats());
  const Locked dib(data);
  if (dib.Size() < sizeof(BITMAPINFOHEADER))
    throw Failure("a CF_DIB too short for its header");
  BITMAPINFOHEADER info;
  std::memcpy(&info, dib.Data(), sizeof info);
  // The pixels come after the header, the three masks of an old header, and the palette.
  const std::size_t masks =
      info.biSize == sizeof info && info.biCompression == BI_BITFIELDS ? 12 : 0;
  const std::size_t colours =
      info.biClrUsed != 0 ? info.biClrUsed : (info.biBitCount <= 8 ? 1u << info.biBitCount : 0);
  std::string bytes;
  Append(bytes, FileHeader(dib.Size(), info.biSize + masks + colours * 4));
  bytes.append(dib.Data(), dib.Size());
  WriteWholeFile(path, bytes);
  Reply()
      .Add("width", static_cast<int>(info.biWidth))
      .Add("height", static_cast<int>(info.biHeight))
      .Add("bits", static_cast<int>(info.biBitCount))
      .Add("compression", static_cast<long long>(info.biCompression))
      .Add("formats", ClipboardFormats())
      .Print();
}

void HoldClipboardCommand(const Args& args) {
  const int ms = Number(Arg(args, 0, "milliseconds"));
  const ClipboardSession session;
  Reply().Add("ready", true).Print();
  Pause(ms);
}

void SetClipboardCommand(const Args& args) {
  const std::string bytes = ReadWholeFile(Arg(args, 0, "file"));
  if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) ||
      bytes.compare(0, 2, "BM") != 0)
    throw Failure("not a .bmp file");
  const std::size_t size = bytes.size() - sizeof(BITMAPFILEHEADER);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == nullptr)
    throw Failure(SystemError("GlobalAlloc"));
  std::memcpy(Locked(memory).Data(), bytes.data() + sizeof(BITMAPFILEHEADER), size);
  const ClipboardSession session;
  EmptyClipboard();
  // The system owns the memory from here on; only a refusal leaves it to us.
  if (SetClipboardData(CF_DIB, memory) == nullptr) {
    GlobalFree(memory);
    throw Failure(SystemError("SetClipboardData"));
  }
}

void ScreenCommand(const Args& args) {
  const std::wstring& path = Arg(args, 0, "file");
  int x = 0, y = 0;
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (args.size() >= 5) {
    x = Number(args[1]);
    y = Number(args[2]);
    width = Number(args[3]);
    height = Number(args[4]);
  }
  const ScreenDc screen;
  const UniqueDc memory(CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const UniqueGdi bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr)
    throw Failure(SystemError("CreateDIBSection"));
  {
    const Selected selected(memory.get(), bitmap.get());
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.Get(), x, y, SRCCOPY | CAPTUREBLT))
      throw Failure(SystemError("BitBlt"));
  }
  GdiFlush();
  WriteWholeFile(path, Bmp24(static_cast<const std::uint8_t*>(bits), width, height));
  Reply().Add("width", width).Add("height", height).Print();
}

}  // namespace driver
