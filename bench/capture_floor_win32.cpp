// The Windows floor for a held-key auto-record: BitBlt the screen into a DIB section, encode,
// write, again, with no program around it. Prints milliseconds per frame.
//   capture_floor_win32 bmp|jpg QUALITY FRAMES FOLDER
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// jpeglib.h wants FILE declared first.
#include <jpeglib.h>

namespace {

// The section starts with 2 spare bytes, so that the pixels after the 54-byte header land on
// the DWORD boundary CreateDIBSection asks of its offset: header and pixels are then one block,
// written in one call with no copy.
constexpr DWORD kPad = 2;
constexpr DWORD kHeaders = 14 + 40;

void Put16(unsigned char* at, DWORD value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, DWORD value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

bool WriteWhole(const std::string& path, const void* data, DWORD size) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
  return CloseHandle(file) && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: capture_floor_win32 bmp|jpg QUALITY FRAMES FOLDER\n");
    return 2;
  }
  const std::string format = argv[1];
  const int quality = std::atoi(argv[2]);
  const int frames = std::atoi(argv[3]);
  const std::string folder = argv[4];

  // Real pixels on a scaled screen, as Pixtrel.exe declares.
  SetProcessDPIAware();
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr)
    return 1;
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const DWORD stride = static_cast<DWORD>(width) * 4;
  const DWORD pixels_size = stride * static_cast<DWORD>(height);

  const HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kPad + kHeaders + pixels_size, nullptr);
  if (mapping == nullptr)
    return 1;
  auto* block = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (block == nullptr)
    return 1;
  unsigned char* file = block + kPad;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file keeps its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = pixels_size;
  void* bits = nullptr;
  const HBITMAP section =
      CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, mapping, kPad + kHeaders);
  const HDC memory = CreateCompatibleDC(screen);
  if (section == nullptr || memory == nullptr || bits == nullptr)
    return 1;
  SelectObject(memory, section);
  const auto* pixels = static_cast<const unsigned char*>(bits);

  file[0] = 'B';
  file[1] = 'M';
  Put32(file + 2, kHeaders + pixels_size);
  Put32(file + 10, kHeaders);
  std::memcpy(file + 14, &info.bmiHeader, sizeof info.bmiHeader);

  const auto start = std::chrono::steady_clock::now();
  for (int frame = 0; frame < frames; ++frame) {
    if (!BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY))
      return 1;
    GdiFlush();
    const void* data = file;
    DWORD size = kHeaders + pixels_size;
    unsigned char* jpeg = nullptr;
    unsigned long jpeg_size = 0;
    if (format != "bmp") {
      jpeg_compress_struct cinfo;
      jpeg_error_mgr errors;
      cinfo.err = jpeg_std_error(&errors);
      jpeg_create_compress(&cinfo);
      jpeg_mem_dest(&cinfo, &jpeg, &jpeg_size);
      cinfo.image_width = width;
      cinfo.image_height = height;
      cinfo.input_components = 4;
      cinfo.in_color_space = JCS_EXT_BGRX;
      jpeg_set_defaults(&cinfo);
      jpeg_set_quality(&cinfo, quality, TRUE);
      jpeg_start_compress(&cinfo, TRUE);
      for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<DWORD>(height - 1 - y) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
      }
      jpeg_finish_compress(&cinfo);
      jpeg_destroy_compress(&cinfo);
      data = jpeg;
      size = static_cast<DWORD>(jpeg_size);
    }
    const std::string path = folder + "\\" + std::to_string(frame) + "." + format;
    if (!WriteWhole(path, data, size))
      return 1;
    std::free(jpeg);
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.2f\n", ms / frames);

  DeleteDC(memory);
  DeleteObject(section);
  UnmapViewOfFile(block);
  CloseHandle(mapping);
  ReleaseDC(nullptr, screen);
  return 0;
}
