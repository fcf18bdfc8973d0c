#include "capture/jpeg_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

#include "core/error.h"
#include "support/memory_files.h"
#include "support/pictures.h"
#include "support/temp_folder.h"

namespace pixtrel {
namespace {

using test::MemoryFiles;

std::string AsString(const JpegStream& stream) {
  return {reinterpret_cast<const char*>(stream.Data()), stream.Size()};
}

// What cjpeg from libjpeg-turbo's tools makes of the same colours.
std::string ReferenceJpeg(const Bitmap& picture, int quality) {
  test::TempFolder folder;
  test::WriteFileBytes(folder / "in.ppm", test::ToPpm(picture));
  const std::string command = std::string(PIXTREL_CJPEG) + " -baseline -quality " +
                              std::to_string(quality) + " -outfile '" + folder / "out.jpg" + "' '" +
                              folder / "in.ppm" + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return test::ReadFileBytes(folder / "out.jpg");
}

struct Segment {
  int marker;
  std::string body;  // without the length bytes
};

// The marker segments up to the scan, then the scan's and the end's markers.
std::vector<Segment> Markers(const std::string& jpeg) {
  std::vector<Segment> segments;
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(jpeg[at]); };
  std::size_t at = 0;
  while (at + 1 < jpeg.size()) {
    EXPECT_EQ(byte(at), 0xFF) << "at " << at;
    const int marker = byte(at + 1);
    if (marker == 0xD8) {
      segments.push_back({marker, {}});
      at += 2;
      continue;
    }
    const std::size_t length = byte(at + 2) << 8 | byte(at + 3);
    segments.push_back({marker, jpeg.substr(at + 4, length - 2)});
    at += 2 + length;
    if (marker == 0xDA)
      break;
  }
  if (jpeg.size() >= 2)
    segments.push_back({byte(jpeg.size() - 1), {}});
  return segments;
}

TEST(SaveJpeg, MatchesTheLibraryToolByteForByte) {
  for (const int quality : {1, 75, 100}) {
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 9}, {37, 1}, {33, 17}, {64, 48}, {101, 3}}) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " at quality " << quality);
      const Bitmap picture = test::SamplePicture(w, h, 32);
      MemoryFiles files;
      SaveJpeg(picture, "/p/x.jpg", quality, files);
      EXPECT_EQ(files.files.at("/p/x.jpg"), ReferenceJpeg(picture, quality));
    }
  }
}

TEST(SaveJpeg, EveryDepthEncodesLikeItsTwentyFourBitCopy) {
  for (int depth : {32, 24, 16, 8, 4, 1}) {
    SCOPED_TRACE(testing::Message() << "depth " << depth);
    const Bitmap picture = test::SamplePicture(45, 13, depth);
    const std::string direct = AsString(EncodeJpeg(picture, 75));
    EXPECT_EQ(direct, AsString(EncodeJpeg(picture.ToBgr24(), 75)));
    if (depth < 24) {
      EXPECT_EQ(direct, ReferenceJpeg(picture, 75));
    }
  }
}

TEST(SaveJpeg, HoldsOneBaselineScanAndNoComment) {
  const std::string jpeg = AsString(EncodeJpeg(test::SamplePicture(40, 30, 32), 75));
  const std::vector<Segment> segments = Markers(jpeg);
  std::vector<int> order;
  for (const Segment& s : segments)
    order.push_back(s.marker);
  EXPECT_EQ(order,
            (std::vector<int>{0xD8, 0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA, 0xD9}));

  EXPECT_EQ(segments[1].body, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
  const std::string& frame = segments[4].body;
  EXPECT_EQ(frame, std::string("\x08\0\x1E\0\x28\x03"
                               "\x01\x22\x00"
                               "\x02\x11\x01"
                               "\x03\x11\x01",
                               15));
  EXPECT_EQ(segments[9].body.substr(0, 1), "\x03");  // one scan with all three components
  EXPECT_EQ(jpeg.find("\xFF\xFE"), std::string::npos);
  EXPECT_EQ(jpeg.find("\xFF\xDD"), std::string::npos);  // no restart interval
}

TEST(SaveJpeg, QualityScalesTheStandardTablesWithinOneTo255) {
  auto tables = [](int quality) {
    std::vector<int> entries;
    for (const Segment& s : Markers(AsString(EncodeJpeg(test::SamplePicture(8, 8, 32), quality)))) {
      if (s.marker != 0xDB)
        continue;
      EXPECT_EQ(s.body.size(), 65u);
      EXPECT_EQ(s.body[0] & 0xF0, 0);  // 8-bit entries: baseline
      for (std::size_t i = 1; i < s.body.size(); ++i) {
        entries.push_back(static_cast<std::uint8_t>(s.body[i]));
      }
    }
    return entries;
  };
  for (int entry : tables(100)) {
    EXPECT_EQ(entry, 1);
  }
  const std::vector<int> lowest = tables(1);
  ASSERT_EQ(lowest.size(), 128u);
  for (int entry : lowest) {
    EXPECT_EQ(entry, 255);  // 5000 % scaling clamps every entry
  }
}

Color DecodedCentre(const JpegStream& jpeg) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.Data(), static_cast<unsigned long>(jpeg.Size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  std::vector<std::uint8_t> row(cinfo.output_width * 3);
  Color centre;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW p = row.data();
    const bool middle = cinfo.output_scanline == cinfo.output_height / 2;
    jpeg_read_scanlines(&cinfo, &p, 1);
    if (middle) {
      const std::size_t x = cinfo.output_width / 2 * 3;
      centre = {row[x], row[x + 1], row[x + 2]};
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return centre;
}

TEST(SaveJpeg, PureColoursKeepTheirChannels) {
  const Color colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  for (int depth : {32, 24, 16}) {
    for (const Color& colour : colours) {
      Bitmap picture(16, 16, depth);
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
          picture.SetPixelColor(x, y, colour);
      }
      const Color got = DecodedCentre(EncodeJpeg(picture, 100));
      EXPECT_NEAR(got.red, colour.red, 3) << depth;
      EXPECT_NEAR(got.green, colour.green, 3) << depth;
      EXPECT_NEAR(got.blue, colour.blue, 3) << depth;
    }
  }
}

TEST(SaveJpeg, QualityOutsideOneToHundredTouchesNothing) {
  for (int quality : {0, 101, -5, INT32_MIN, INT32_MAX}) {
    MemoryFiles files;
    files.files["/p/old.jpg"] = "old";
    SaveJpeg(test::SamplePicture(4, 4, 32), "/p/old.jpg", quality, files);
    EXPECT_EQ(files.started, 0) << quality;
    EXPECT_EQ(files.files.at("/p/old.jpg"), "old");
  }
}

TEST(SaveJpeg, WithoutAPictureComplainsWhateverTheQuality) {
  for (int quality : {75, 0}) {
    MemoryFiles files;
    try {
      SaveJpeg(Bitmap(), "/p/x.jpg", quality, files);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.Message(), "Impossible d'affecter TPicture à TBitmap");
    }
    EXPECT_EQ(files.started, 0);
  }
}

TEST(SaveJpeg, WritesTheWholeStreamInOneWrite) {
  MemoryFiles files;
  SaveJpeg(test::SamplePicture(300, 200, 32), "/p/x.jpg", 90, files);
  ASSERT_EQ(files.write_sizes.size(), 1u);
  EXPECT_EQ(files.write_sizes[0], files.files.at("/p/x.jpg").size());
}

TEST(EncodeJpeg, ALibraryErrorBecomesTheProgramsMessage) {
  // Wider than baseline JPEG allows: the library stops with its own message number.
  const Bitmap too_wide(70000, 1, 24);
  try {
    EncodeJpeg(too_wide, 75);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Message(), "Erreur JPEG #" + std::to_string(JERR_IMAGE_TOO_BIG));
  }
}

}  // namespace
}  // namespace pixtrel
