// What both image writers promise about the file itself: created, replaced, or left alone.
#include <gtest/gtest.h>

#include <functional>

#include "capture/bmp_writer.h"
#include "capture/jpeg_writer.h"
#include "core/error.h"
#include "platform/posix/posix_files.h"
#include "support/memory_files.h"
#include "support/pictures.h"
#include "support/temp_folder.h"

namespace pixtrel {
namespace {

using test::MemoryFiles;
using Writer = std::function<void(const Bitmap&, const std::string&, Files&)>;

const std::pair<const char*, Writer> kWriters[] = {
    {"bmp", [](const Bitmap& b, const std::string& p, Files& f) { SaveBmp(b, p, f); }},
    {"jpeg", [](const Bitmap& b, const std::string& p, Files& f) { SaveJpeg(b, p, 75, f); }},
};

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(ImageFile, RefusalsKeepTheOldFileAndSayWhy) {
  struct Case {
    const char* what;
    std::function<void(MemoryFiles&)> arrange;
    std::string message;
  };
  const Case cases[] = {
      {"cannot create", [](MemoryFiles& f) { f.refuse_reason = "Permission denied"; },
       "Impossible de créer le fichier \"/p/old\". Permission denied"},
      {"disk full at once", [](MemoryFiles& f) { f.accept_bytes = 0; },
       "Erreur d'écriture dans le flux"},
      {"disk full half-way", [](MemoryFiles& f) { f.accept_bytes = 60; },
       "Erreur d'écriture dans le flux"},
      {"cannot put in place", [](MemoryFiles& f) { f.refuse_commit = true; },
       "Erreur d'écriture dans le flux"},
  };
  for (const auto& [format, write] : kWriters) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(format) + ": " + c.what);
      MemoryFiles files;
      files.files["/p/old"] = "old";
      c.arrange(files);
      EXPECT_EQ(MessageOf([&] { write(test::SamplePicture(20, 20, 32), "/p/old", files); }),
                c.message);
      EXPECT_EQ(files.files.at("/p/old"), "old");
    }
  }
}

TEST(ImageFile, ZeroByZeroPictureGivesAnEmptyFile) {
  for (const auto& [format, write] : kWriters) {
    MemoryFiles files;
    files.files["/p/old"] = "old";
    write(Bitmap(0, 0, 32), "/p/old", files);
    EXPECT_EQ(files.files.at("/p/old"), "") << format;
    write(Bitmap(5, 0, 32), "/p/five", files);
    EXPECT_EQ(files.files.at("/p/five"), "") << format;
  }
}

TEST(ImageFile, RealFilesAreReplacedWholeOrNotAtAll) {
  PosixFiles files;
  for (const auto& [format, write] : kWriters) {
    SCOPED_TRACE(format);
    test::TempFolder folder;
    const std::string path = folder / "capture à 09h'.img";
    test::WriteFileBytes(path, "old contents that are longer than nothing");

    write(test::SamplePicture(3, 2, 24), path, files);
    MemoryFiles memory;
    write(test::SamplePicture(3, 2, 24), "/m", memory);
    EXPECT_EQ(test::ReadFileBytes(path), memory.files.at("/m"));

    EXPECT_EQ(MessageOf([&] { write(test::SamplePicture(3, 2, 24), folder / "no/x.img", files); }),
              "Impossible de créer le fichier \"" + folder / "no/x.img" +
                  "\". No such file or directory");
    // Root may write anywhere, but not below a plain file.
    EXPECT_EQ(MessageOf([&] { write(test::SamplePicture(3, 2, 24), path + "/x.img", files); }),
              "Impossible de créer le fichier \"" + path + "/x.img\". Not a directory");
    EXPECT_EQ(MessageOf([&] { write(test::SamplePicture(3, 2, 24), folder.Path(), files); }),
              "Impossible de créer le fichier \"" + folder.Path() + "\". Is a directory");
    EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{"capture à 09h'.img"});
  }
}

}  // namespace
}  // namespace pixtrel
