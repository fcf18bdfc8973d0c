// Pictures made from fuzz input, and the in-memory files the writers put them in.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <string>

#include "core/bitmap.h"
#include "support/memory_files.h"

namespace pixtrel::fuzz {

inline constexpr int kMaxSide = 64;

enum class PaletteSize {
  kTable,  // 2^depth entries at palette depths, none above: every picture the program makes
  kAny,    // also shorter or longer tables, and tables on pictures that have no use for one
};

// No picture now and then; otherwise up to kMaxSide x kMaxSide at a depth the program
// captures at, with the colour table and the pixel bytes (row padding included) from the
// input, which is read to its end.
Bitmap ConsumePicture(FuzzedDataProvider& in, PaletteSize palette);

// A way for the disk to refuse the file, or none.
enum class Refusal { kNone, kStart, kShortWrite, kCommit };

struct Disk {
  test::MemoryFiles files;
  Refusal refusal = Refusal::kNone;
  std::string path = "/pictures/capture";
  std::string old_content = "the file this one replaces";
};

// A disk holding an older file at `path`, refusing as the input asks. Consumes before the
// picture does.
void ConsumeDisk(FuzzedDataProvider& in, Disk& disk);

}  // namespace pixtrel::fuzz
