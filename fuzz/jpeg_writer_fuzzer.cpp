// SaveJpeg on random pictures and qualities; what it writes must decode with libjpeg to the
// picture's size, and be what libjpeg itself makes of the picture's colours.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "capture/jpeg_writer.h"
#include "check.h"
#include "core/error.h"
#include "picture_input.h"

namespace pixtrel {
namespace {

using fuzz::Disk;
using fuzz::Refusal;

struct Decoded {
  int width = 0;
  int height = 0;
  int components = 0;
  int error = 0;  // libjpeg's message number, 0 when it decoded
};

struct Errors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOut(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

// No object with a destructor lives in this frame: libjpeg leaves it by a long jump.
void Decode(const std::string& file, std::vector<unsigned char>& row, Decoded& out) {
  jpeg_decompress_struct cinfo;
  Errors errors;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JumpOut;
  errors.base.emit_message = Quiet;
  if (setjmp(errors.jump) != 0) {
    out.error = cinfo.err->msg_code;
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()),
               static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  out.components = cinfo.num_components;
  row.resize(static_cast<std::size_t>(cinfo.output_width) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

std::string EncodeRgb(std::vector<unsigned char>& rgb, int width, int height, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &data, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row = rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string stream(reinterpret_cast<const char*>(data), size);
  std::free(data);
  return stream;
}

void CheckFile(const std::string& file, const Bitmap& picture, int quality) {
  const std::string shape = std::to_string(picture.Width()) + "x" +
                            std::to_string(picture.Height()) + "x" +
                            std::to_string(picture.Depth()) + " q" + std::to_string(quality);
  if (picture.Width() == 0 || picture.Height() == 0) {
    FUZZ_CHECK(file.empty(), {"shape", shape});
    return;
  }
  std::vector<unsigned char> row;
  Decoded decoded;
  Decode(file, row, decoded);
  FUZZ_CHECK(decoded.error == 0 && decoded.width == picture.Width() &&
                 decoded.height == picture.Height() && decoded.components == 3,
             {"shape", shape}, {"error", std::to_string(decoded.error)}, {"file", file});

  // The writer hands libjpeg its rows in place; the file must be the one libjpeg makes from
  // the picture's colours in plain red, green, blue.
  std::vector<unsigned char> rgb;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const Color c = picture.PixelColor(x, y);
      rgb.insert(rgb.end(), {c.red, c.green, c.blue});
    }
  }
  const std::string reference = EncodeRgb(rgb, picture.Width(), picture.Height(), quality);
  FUZZ_CHECK(file == reference, {"shape", shape},
             {"pixels", std::string_view(reinterpret_cast<const char*>(picture.Pixels().data()),
                                         picture.Pixels().size())});
}

}  // namespace
}  // namespace pixtrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pixtrel;
  FuzzedDataProvider in(data, size);
  Disk disk;
  fuzz::ConsumeDisk(in, disk);
  // Mostly valid qualities, and now and then one just outside 1..100.
  const int quality = in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeIntegralInRange(-2, 103)
                                                            : in.ConsumeIntegralInRange(1, 100);
  const Bitmap picture = fuzz::ConsumePicture(in, fuzz::PaletteSize::kTable);

  std::string message;
  try {
    SaveJpeg(picture, disk.path, quality, disk.files);
  } catch (const Error& error) {
    message = error.Message();
  }
  const std::string& file = disk.files.files[disk.path];
  if (picture.Empty()) {
    FUZZ_CHECK(message == "Impossible d'affecter TPicture à TBitmap" && disk.files.started == 0 &&
                   file == disk.old_content,
               {"message", message});
    return 0;
  }
  if (quality < 1 || quality > 100) {
    FUZZ_CHECK(message.empty() && disk.files.started == 0 && file == disk.old_content,
               {"message", message});
    return 0;
  }
  if (disk.refusal == Refusal::kStart || disk.refusal == Refusal::kCommit)
    FUZZ_CHECK(!message.empty(), {"file", file});
  // A refused file leaves the old one whole; a short write is refused, never kept short.
  if (!message.empty()) {
    FUZZ_CHECK(file == disk.old_content && disk.refusal != Refusal::kNone, {"message", message});
    return 0;
  }
  CheckFile(file, picture, quality);
  return 0;
}
