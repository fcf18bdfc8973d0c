#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "support/memory_files.h"

namespace pixtrel {
namespace {

const std::string kFolder = "C:\\Mes documents\\Pixtrel";

struct NamedRead {
  const char* reader;
  SettingRead read;
};

const NamedRead kEveryRead[] = {
    {"Initialize AutoRec", kInitializeReads.auto_rec},
    {"Initialize AutoRecFormat", kInitializeReads.auto_rec_format},
    {"Initialize SaveFilePath", kInitializeReads.save_file_path},
    {"Initialize Compression", kInitializeReads.compression},
    {"Initialize Pixtrel", kInitializeReads.hotkey},
    {"Initialize BordBlanc", kInitializeReads.border},
    {"Run Pixtrel", kRunHotkeyRead},
    {"TakeCapture autoRec", kTakeCaptureReads.auto_rec},
    {"TakeCapture autoRecFormat", kTakeCaptureReads.auto_rec_format},
    {"TakeCapture SaveFilePath", kTakeCaptureReads.save_file_path},
    {"TakeCapture Compression", kTakeCaptureReads.compression},
    {"overlay BordBlanc", kOverlayBorderRead},
    {"SaveAsJPG Compression", kViewerQualityRead},
};

std::string Read(std::optional<std::string> text, const SettingRead& read) {
  test::MemoryFiles files;
  if (text)
    files.files[files.settings_path] = *text;
  SettingsFile file(files, files.settings_path);
  return ReadSetting(file, read, kFolder);
}

TEST(SettingsKeys, EveryReaderGetsItsDefaultWithoutAFile) {
  const std::string defaults[] = {"non", "bmp", kFolder, "100", "F12", "oui", "F12",
                                  "non", "bmp", kFolder, "100", "oui", "100"};
  static_assert(std::size(defaults) == std::size(kEveryRead));
  for (std::size_t i = 0; i < std::size(kEveryRead); ++i) {
    SCOPED_TRACE(kEveryRead[i].reader);
    EXPECT_EQ(Read(std::nullopt, kEveryRead[i].read), defaults[i]);
    EXPECT_EQ(Read("[Settings]\r\n", kEveryRead[i].read), defaults[i]);
  }
}

TEST(SettingsKeys, EveryReaderGetsWhatOkWrote) {
  const std::string values[] = {"oui", "jpg", "D:\\Captures", "75", "Impr.Ecr", "non"};
  test::MemoryFiles files;
  SettingsFile file(files, files.settings_path);
  for (std::size_t i = 0; i < kWrittenKeys.size(); ++i) {
    file.WriteString(kSettingsSection, kWrittenKeys[i], values[i]);
  }
  const std::string expected[] = {"oui", "jpg", "D:\\Captures", "75", "Impr.Ecr", "non", "Impr.Ecr",
                                  "oui", "jpg", "D:\\Captures", "75", "non",      "75"};
  for (std::size_t i = 0; i < std::size(kEveryRead); ++i) {
    SCOPED_TRACE(kEveryRead[i].reader);
    EXPECT_EQ(ReadSetting(file, kEveryRead[i].read, kFolder), expected[i]);
  }
}

TEST(SettingsKeys, HandWrittenValuesReachTheReadersAsWritten) {
  struct Case {
    std::string line;
    SettingRead read;
    std::string value;
  };
  const Case cases[] = {
      {"AUTOREC=oui", kInitializeReads.auto_rec, "oui"},
      {"AUTOREC=oui", kTakeCaptureReads.auto_rec, "oui"},
      {"AutoRec=OUI", kTakeCaptureReads.auto_rec, "OUI"},
      {"AutoRec=", kInitializeReads.auto_rec, ""},
      {"AutoRec=", kTakeCaptureReads.auto_rec, ""},
      {"AutoRecFormat=JPG", kTakeCaptureReads.auto_rec_format, "JPG"},
      {"SaveFilePath=", kInitializeReads.save_file_path, ""},
      {"SaveFilePath=", kTakeCaptureReads.save_file_path, ""},
      {"SaveFilePath = \"D:\\My Captures\" ", kTakeCaptureReads.save_file_path, "D:\\My Captures"},
      {"SaveFilePath=" + std::string(3000, 'd'), kTakeCaptureReads.save_file_path,
       std::string(2047, 'd')},
      {"Compression=250", kViewerQualityRead, "250"},
      {"Compression=abc", kTakeCaptureReads.compression, "abc"},
      {"Pixtrel=f5", kRunHotkeyRead, "f5"},
      {"Pixtrel=", kRunHotkeyRead, ""},
      {"bordblanc=non", kOverlayBorderRead, "non"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    EXPECT_EQ(Read("[Settings]\r\n" + c.line + "\r\n", c.read), c.value);
  }
}

TEST(SettingsKeys, RunTakesF12WhenTheKeyListEndsBeforeTheHotkey) {
  std::string text = "[Settings]\r\n";
  for (int i = 0; i < 8192; ++i)
    text += "x=1\r\n";
  text += "Pixtrel=F5\r\n";
  EXPECT_EQ(Read(text, kRunHotkeyRead), "F12");
  EXPECT_EQ(Read(text, kInitializeReads.hotkey), "F5");
}

}  // namespace
}  // namespace pixtrel
