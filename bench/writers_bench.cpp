// The image writers beside their floors, measured in the same run: a plain write of the same
// BMP bytes, and libjpeg-turbo's own encode of the same pixels.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "capture/bmp_writer.h"
#include "capture/jpeg_writer.h"
#include "platform/posix/posix_files.h"

namespace pixtrel {
namespace {

// Something like a desktop: flat panels, gradients, text-like strokes and a noisy photo area.
Bitmap ScreenLike(int width, int height) {
  Bitmap screen(width, height, 32);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = screen.Row(y);
    for (int x = 0; x < width; ++x, row += 4) {
      std::uint8_t r = 236, g = 236, b = 240;
      if (y < height / 20) {
        r = static_cast<std::uint8_t>(40 + y), g = 60, b = static_cast<std::uint8_t>(90 + x % 64);
      } else if (x > width / 2 && y > height / 2) {
        noise = noise * 1664525u + 1013904223u;
        r = static_cast<std::uint8_t>(x / 8 + (noise >> 28));
        g = static_cast<std::uint8_t>(y / 8 + (noise >> 26 & 7));
        b = static_cast<std::uint8_t>((x + y) / 16);
      } else if ((y / 14) % 2 == 0 && ((x * 7 + y * 3) / 5) % 9 < 3) {
        r = g = b = 30;  // strokes of "text"
      }
      row[0] = b;
      row[1] = g;
      row[2] = r;
      row[3] = 0;
    }
  }
  return screen;
}

const Bitmap& Screen(int width) {
  static const Bitmap full_hd = ScreenLike(1920, 1080);
  static const Bitmap uhd = ScreenLike(3840, 2160);
  return width == 1920 ? full_hd : uhd;
}

std::string OutputPath(const char* name) {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pixtrel-bench-XXXXXX";
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder + "/" + name;
}

void BM_SaveBmp(benchmark::State& state) {
  const Bitmap& screen = Screen(static_cast<int>(state.range(0)));
  PosixFiles files;
  const std::string path = OutputPath("save.bmp");
  for (auto _ : state)
    SaveBmp(screen, path, files);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(screen.Pixels().size()));
}

// The floor: the same 54 header bytes and pixel block, written over the same file.
void BM_PlainWrite(benchmark::State& state) {
  const Bitmap& screen = Screen(static_cast<int>(state.range(0)));
  const std::string path = OutputPath("plain.bmp");
  const char head[54] = {'B', 'M'};
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::write(fd, head, sizeof head) != sizeof head ||
        ::write(fd, screen.Pixels().data(), screen.Pixels().size()) !=
            static_cast<ssize_t>(screen.Pixels().size())) {
      state.SkipWithError("write failed");
    }
    ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(screen.Pixels().size()));
}

void BM_SaveJpeg(benchmark::State& state) {
  const Bitmap& screen = Screen(static_cast<int>(state.range(0)));
  const int quality = static_cast<int>(state.range(1));
  PosixFiles files;
  const std::string path = OutputPath("save.jpg");
  for (auto _ : state)
    SaveJpeg(screen, path, quality, files);
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// Our encoder alone, without the file, to tell the encoding's cost from the file's.
void BM_EncodeJpeg(benchmark::State& state) {
  const Bitmap& screen = Screen(static_cast<int>(state.range(0)));
  const int quality = static_cast<int>(state.range(1));
  for (auto _ : state)
    benchmark::DoNotOptimize(EncodeJpeg(screen, quality));
}

// The floor: the library's own memory destination into a buffer made once and large enough,
// the rows handed over in place, no file.
void BM_BareEncode(benchmark::State& state) {
  const Bitmap& screen = Screen(static_cast<int>(state.range(0)));
  const int quality = static_cast<int>(state.range(1));
  std::vector<unsigned char> reserved(screen.Pixels().size());
  unsigned long size = 0;
  for (auto _ : state) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = reserved.data();
    size = reserved.size();
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(screen.Width());
    cinfo.image_height = static_cast<JDIMENSION>(screen.Height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < screen.Height(); ++y) {
      JSAMPROW row = const_cast<JSAMPROW>(screen.Row(y));
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (buffer != reserved.data())
      state.SkipWithError("the buffer had to grow");
  }
  state.counters["bytes"] = static_cast<double>(size);
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int width : {1920, 3840})
    b->Arg(width);
}
void SizesAndQualities(benchmark::internal::Benchmark* b) {
  for (int width : {1920, 3840}) {
    for (int quality : {75, 100})
      b->Args({width, quality});
  }
}

BENCHMARK(BM_PlainWrite)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBmp)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEncode)->Apply(SizesAndQualities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJpeg)->Apply(SizesAndQualities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveJpeg)->Apply(SizesAndQualities)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pixtrel

BENCHMARK_MAIN();
