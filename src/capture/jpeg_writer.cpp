#include "capture/jpeg_writer.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

#include "capture/file_output.h"
#include "core/error.h"

namespace pixtrel {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  int code;
};

[[noreturn]] void ExitOnError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  manager->code = cinfo->err->msg_code;
  std::longjmp(manager->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}
void IgnoreOutput(j_common_ptr) {}

// Grows with realloc, which moves large blocks by remapping pages rather than copying, and
// never zero-fills what the encoder is about to overwrite.
struct MemoryDestination {
  jpeg_destination_mgr base;
  unsigned char* data;
  std::size_t capacity;
  std::size_t size;
};

MemoryDestination* DestinationOf(j_compress_ptr cinfo) {
  return reinterpret_cast<MemoryDestination*>(cinfo->dest);
}

void InitDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = DestinationOf(cinfo);
  dest->base.next_output_byte = dest->data;
  dest->base.free_in_buffer = dest->capacity;
}

boolean GrowDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = DestinationOf(cinfo);
  const std::size_t used = dest->capacity;
  auto* grown = static_cast<unsigned char*>(std::realloc(dest->data, used * 2));
  if (grown == nullptr)
    ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  dest->data = grown;
  dest->capacity = used * 2;
  dest->base.next_output_byte = grown + used;
  dest->base.free_in_buffer = dest->capacity - used;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = DestinationOf(cinfo);
  dest->size = dest->capacity - dest->base.free_in_buffer;
}

// Runs the whole compression; returns 0, or the library's message number. Nothing in this
// frame has a destructor, so the library's long jump out of an error leaves nothing behind.
int Compress(const Bitmap& picture, J_COLOR_SPACE layout, int quality, MemoryDestination* dest) {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = ExitOnError;
  errors.base.emit_message = IgnoreMessage;
  errors.base.output_message = IgnoreOutput;
  errors.code = 0;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return errors.code;
  }
  jpeg_create_compress(&cinfo);
  cinfo.dest = &dest->base;

  cinfo.image_width = static_cast<JDIMENSION>(picture.Width());
  cinfo.image_height = static_cast<JDIMENSION>(picture.Height());
  cinfo.input_components = layout == JCS_EXT_BGRX ? 4 : 3;
  // Set before the defaults, which pick the output colour space from it. Reading blue, green,
  // red in place gives the very bytes a red-green-blue copy would.
  cinfo.in_color_space = layout;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int y = 0; y < picture.Height(); ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(picture.Row(y));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 0;
}

}  // namespace

JpegStream EncodeJpeg(const Bitmap& picture, int quality) {
  // 32-bit and 24-bit rows go to the library as they are; other depths through a 24-bit copy.
  Bitmap converted;
  const Bitmap* source = &picture;
  J_COLOR_SPACE layout = JCS_EXT_BGR;
  if (picture.Depth() == 32) {
    layout = JCS_EXT_BGRX;
  } else if (picture.Depth() != 24) {
    converted = picture.ToBgr24();
    source = &converted;
  }

  MemoryDestination dest{};
  dest.base.init_destination = InitDestination;
  dest.base.empty_output_buffer = GrowDestination;
  dest.base.term_destination = TermDestination;
  // A screen typically compresses to well under a byte a pixel; start near that.
  dest.capacity = static_cast<std::size_t>(picture.Width()) * picture.Height() / 4 + 4096;
  dest.data = static_cast<unsigned char*>(std::malloc(dest.capacity));
  if (dest.data == nullptr)
    throw std::bad_alloc();
  const int code = Compress(*source, layout, quality, &dest);
  JpegStream stream(dest.data, dest.size);
  if (code != 0)
    throw Error(FormatText("Erreur JPEG #%s", {std::to_string(code)}));
  return stream;
}

void SaveJpeg(const Bitmap& capture, const std::string& path, int quality, Files& files) {
  if (capture.Empty())
    throw Error("Impossible d'affecter TPicture à TBitmap");
  if (quality < 1 || quality > 100)
    return;
  const std::unique_ptr<OutputFile> file = CreateImageFile(files, path);
  if (capture.Width() > 0 && capture.Height() > 0) {
    const JpegStream stream = EncodeJpeg(capture, quality);
    WriteOrFail(*file, stream.Data(), stream.Size());
  }
  CommitOrFail(*file);
}

}  // namespace pixtrel
