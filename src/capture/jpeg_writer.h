// Baseline JFIF files through libjpeg.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/files.h"

namespace pixtrel {

// No picture raises "Impossible d'affecter TPicture à TBitmap" whatever the quality; a quality
// outside 1..100 then writes nothing and says nothing. A 0 x 0 picture gives an empty file.
void SaveJpeg(const Bitmap& capture, const std::string& path, int quality, Files& files);

// A compressed stream in a block from malloc, so that it can grow without copying.
class JpegStream {
 public:
  JpegStream(unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  const unsigned char* Data() const { return data_.get(); }
  std::size_t Size() const { return size_; }

 private:
  struct Free {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  std::unique_ptr<unsigned char, Free> data_;
  std::size_t size_;
};

// The whole JPEG stream of a picture of at least 1 x 1; raises "Erreur JPEG #<n>".
JpegStream EncodeJpeg(const Bitmap& picture, int quality);

}  // namespace pixtrel
