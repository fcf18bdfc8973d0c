#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "platform/posix/posix_files.h"
#include "settings/settings_keys.h"
#include "support/memory_files.h"
#include "support/temp_folder.h"

namespace pixtrel {
namespace {

using settings_text::EraseSection;
using settings_text::ListsKey;
using settings_text::ReadValue;
using settings_text::WriteValue;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kLong(3000, 'p');
const std::string kRefused = "Impossible d'écrire dans Pixtrel.cfg";

TEST(SettingsText, ReadsHandWrittenFiles) {
  struct Case {
    std::string text;
    const char* key;
    std::string expected;  // the default is "dflt"
  };
  const Case cases[] = {
      {"", "AutoRec", "dflt"},
      {"[Other]\r\nAutoRec=oui\r\n", "AutoRec", "dflt"},
      {"AutoRec=oui\r\n[Settings]\r\n", "AutoRec", "dflt"},
      {"[Settings]\r\nAutoRecFormat=jpg\r\n", "AutoRec", "dflt"},
      {"[Settings]\nAutoRec=oui\n", "AutoRec", "oui"},
      {"[Settings]\r\nAutoRec=oui\r\n", "AutoRec", "oui"},
      {"[Settings]\r\nAutoRec=oui", "AutoRec", "oui"},
      {"[Settings]\r\nAutoRec=oui\r", "AutoRec", "oui"},
      {"[Settings]\r\nAUTOREC=oui\r\n", "autoRec", "oui"},
      {"[SETTINGS]\r\nAutoRec=oui\r\n", "AutoRec", "oui"},
      {"  [ Settings ]  ; note\r\nAutoRec=oui\r\n", "AutoRec", "oui"},
      {"[Settings\r\nAutoRec=oui\r\n", "AutoRec", "oui"},
      {kBom + "[Settings]\r\nAutoRec=oui\r\n", "AutoRec", "dflt"},
      {"[Settings]\r\n \tSaveFilePath \t= \t\"D:\\My Captures\" \t\r\n", "SaveFilePath",
       "D:\\My Captures"},
      {"[Settings]\r\nK='a b'\r\n", "K", "a b"},
      {"[Settings]\r\nK=\" a \"\r\n", "K", " a "},
      {"[Settings]\r\nK=\"a'\r\n", "K", "\"a'"},
      {"[Settings]\r\nK=\"\r\n", "K", "\""},
      {"[Settings]\r\nK=a\"b\"\r\n", "K", "a\"b\""},
      {"[Settings]\r\nK=a=b\r\n", "K", "a=b"},
      {"[Settings]\r\nAutoRec=\r\n", "AutoRec", ""},
      {"[Settings]\r\nAutoRec=  \r\n", "AutoRec", ""},
      {"[Settings]\r\nAutoRec\r\n", "AutoRec", "dflt"},
      {"[Settings]\r\n;AutoRec=oui\r\n#AutoRec=oui\r\n", "AutoRec", "dflt"},
      {"[Settings]\r\nK=1\r\nK=2\r\n", "K", "1"},
      {"[Settings]\r\nA=1\r\n[settings]\r\nK=2\r\n", "K", "dflt"},
      {"[Settings]\r\nK=" + kLong + "\r\n", "K", kLong.substr(0, 2047)},
      {"[Settings]\r\nK=\"" + kLong + "\"\r\n", "K", kLong.substr(0, 2047)},
      // A two-byte character across the cut is dropped whole.
      {"[Settings]\r\nK=" + std::string(2046, 'p') + "\xC3\xA9" + "\r\n", "K",
       std::string(2046, 'p')},
      {"[Settings]\r\nK=C:\\Mes documents\\\xC3\x89t\xC3\xA9\r\n", "K",
       "C:\\Mes documents\\\xC3\x89t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    EXPECT_EQ(ReadValue(c.text, "Settings", c.key, "dflt"), c.expected);
  }
  EXPECT_EQ(ReadValue("", "Settings", "K", kLong), kLong.substr(0, 2047));
}

TEST(SettingsText, TheKeyTestListsKeysWhateverTheirValue) {
  const std::string text =
      "[Other]\r\nX=1\r\n[Settings]\r\nEmpty=\r\n;Note=1\r\nBare\r\nPIXTREL=f5\r\n";
  const std::pair<const char*, bool> cases[] = {
      {"Empty", true}, {"Pixtrel", true}, {"Note", false},
      {"Bare", false}, {"X", false},      {"Absent", false},
  };
  for (const auto& [key, listed] : cases) {
    SCOPED_TRACE(key);
    EXPECT_EQ(ListsKey(text, "Settings", key), listed);
  }
  EXPECT_FALSE(ListsKey("", "Settings", "Pixtrel"));
}

TEST(SettingsText, TheKeyTestSeesOnlyTheFirst16384BytesOfNames) {
  // Each name takes its length and a NUL, and the list keeps one byte for its own NUL.
  const auto padded = [](std::string first) {
    std::string text = "[Settings]\r\n" + first + "=1\r\n";
    for (int i = 0; i < 8186; ++i)
      text += "x=1\r\n";
    return text + "Pixtrel=F5\r\n";
  };
  EXPECT_TRUE(ListsKey(padded("xx"), "Settings", "Pixtrel"));  // 3 + 16372 + 8 = 16383
  EXPECT_FALSE(ListsKey(padded("xxx"), "Settings", "Pixtrel"));
  EXPECT_TRUE(ListsKey(padded("xxxx"), "Settings", "Pixtr"));  // what the cut list still holds
  EXPECT_EQ(ReadValue(padded("xxx"), "Settings", "Pixtrel", ""), "F5");
}

TEST(SettingsText, WritesInPlaceOrAtTheEndOfTheSection) {
  struct Case {
    std::string before;
    const char* key;
    const char* value;
    std::string after;
  };
  const Case cases[] = {
      {"", "AutoRec", "oui", "[Settings]\r\nAutoRec=oui\r\n"},
      {kBom, "AutoRec", "oui", kBom + "\r\n[Settings]\r\nAutoRec=oui\r\n"},
      {"; top\n[settings]\n  autorec = \"oui\" \n\nX=1\n[Other]\nAutoRec=oui\n", "AutoRec", "non",
       "; top\n[settings]\nautorec=non\r\n\nX=1\n[Other]\nAutoRec=oui\n"},
      {"[Settings]\r\nA=1\r\n\r\n; end\r\n[Other]\r\nB=2\r\n", "C", "3",
       "[Settings]\r\nA=1\r\nC=3\r\n\r\n; end\r\n[Other]\r\nB=2\r\n"},
      {"[Settings]\r\nA=1\r\n#x=1\r\n=2\r\nB\r\n", "C", "3",
       "[Settings]\r\nA=1\r\n#x=1\r\n=2\r\nC=3\r\nB\r\n"},
      {"[Settings]\r\n; only a note\r\n[Other]\r\n", "C", "3",
       "[Settings]\r\nC=3\r\n; only a note\r\n[Other]\r\n"},
      {"[Settings]", "C", "3", "[Settings]\r\nC=3\r\n"},
      {"[Settings]\r\nA=1", "C", "3", "[Settings]\r\nA=1\r\nC=3\r\n"},
      {"[Settings]\r\nA=1", "a", "", "[Settings]\r\nA=\r\n"},
      {"[Other]\r\nB=2\r\n", "C", "3", "[Other]\r\nB=2\r\n[Settings]\r\nC=3\r\n"},
      {"[Other]\r\nB=2", "C", "3", "[Other]\r\nB=2\r\n[Settings]\r\nC=3\r\n"},
      {"[Other]\r\nB=2\r", "C", "3", "[Other]\r\nB=2\r\n[Settings]\r\nC=3\r\n"},
      {"[Settings]\r\nC=1\r\n[Settings]\r\nC=2\r\n", "C", "3",
       "[Settings]\r\nC=3\r\n[Settings]\r\nC=2\r\n"},
      {"", "C", "x\r\nAutoRec=oui", "[Settings]\r\nC=x\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before + " <- " + c.key);
    const std::string after = WriteValue(c.before, "Settings", c.key, c.value);
    EXPECT_EQ(after, c.after);
    EXPECT_EQ(ReadValue(after, "Settings", c.key, "dflt"),
              std::string_view(c.value).substr(0, std::string_view(c.value).find('\r')));
  }
}

TEST(SettingsText, ErasingKeepsEverythingOutsideTheSection) {
  const std::string kept = "; top\r\n[Other]\r\nSettings=1\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {kept + "[Settings]\r\nAutoRec=oui\r\n; inside\r\nUnknown=1\r\n[Third]\nY=2",
       kept + "[Third]\nY=2"},
      {"[Settings]\r\nA=1\r\n; goes with it\r\n[Other]\r\nSettings=1\r\n[ settings ]\r\nB=2\r\n",
       "[Other]\r\nSettings=1\r\n"},
      {kBom + "[Settings]\r\nA=1\r\n", kBom + "[Settings]\r\nA=1\r\n"},
      {"[Settings]", ""},
      {kept, kept},
  };
  for (const auto& [before, after] : cases) {
    SCOPED_TRACE(before);
    const std::string erased = EraseSection(before, "Settings");
    EXPECT_EQ(erased, after);
    EXPECT_FALSE(ListsKey(erased, "Settings", "A"));
    EXPECT_EQ(ReadValue(erased, "Other", "Settings", ""),
              ReadValue(before, "Other", "Settings", ""));
  }
}

TEST(SettingsFile, OkOnAMissingFileWritesTheSixKeysInOrder) {
  test::MemoryFiles files;
  SettingsFile file(files, files.settings_path);
  const std::string values[] = {"non", "bmp", "C:\\Mes documents\\Pixtrel", "100", "F12", "oui"};
  for (std::size_t i = 0; i < kWrittenKeys.size(); ++i) {
    file.WriteString(kSettingsSection, kWrittenKeys[i], values[i]);
  }
  EXPECT_EQ(files.files[files.settings_path],
            "[Settings]\r\nAutoRec=non\r\nAutoRecFormat=bmp\r\n"
            "SaveFilePath=C:\\Mes documents\\Pixtrel\r\nCompression=100\r\nPixtrel=F12\r\n"
            "BordBlanc=oui\r\n");
  EXPECT_EQ(files.write_sizes.size(), 6u);
}

TEST(SettingsFile, ReadingAndErasingNothingTouchNoFile) {
  test::MemoryFiles files;
  SettingsFile file(files, files.settings_path);
  EXPECT_EQ(file.ReadString("Settings", "AutoRec", "non"), "non");
  EXPECT_FALSE(file.ValueExists("Settings", "Pixtrel"));
  file.EraseSection("Settings");
  files.files[files.settings_path] = "[Other]\nA=1";
  file.EraseSection("Settings");
  EXPECT_EQ(files.started, 0);
  file.WriteString("Settings", "A", "2");
  EXPECT_EQ(file.ReadString("settings", "a", ""), "2");
  EXPECT_TRUE(file.ValueExists("SETTINGS", "A"));
  file.EraseSection("Settings");
  EXPECT_EQ(files.files[files.settings_path], "[Other]\nA=1\r\n");
}

TEST(SettingsFile, ARefusedWriteRaisesAndKeepsTheOldFile) {
  enum class Refusal { kStart, kShortWrite, kCommit, kUnreadable };
  for (const Refusal refusal :
       {Refusal::kStart, Refusal::kShortWrite, Refusal::kCommit, Refusal::kUnreadable}) {
    for (const bool erase : {false, true}) {
      SCOPED_TRACE(static_cast<int>(refusal) * 2 + erase);
      test::MemoryFiles files;
      const std::string old_text = "; kept by an erase\r\n[Settings]\r\nAutoRec=oui\r\n";
      files.files[files.settings_path] = old_text;
      if (refusal == Refusal::kStart)
        files.refuse_reason = "Permission denied";
      if (refusal == Refusal::kShortWrite)
        files.accept_bytes = 5;
      if (refusal == Refusal::kCommit)
        files.refuse_commit = true;
      // Replacing a file it could not read would lose every other key in it.
      if (refusal == Refusal::kUnreadable)
        files.unreadable.insert(files.settings_path);
      SettingsFile file(files, files.settings_path);
      try {
        erase ? file.EraseSection("Settings") : file.WriteString("Settings", "AutoRec", "non");
        ADD_FAILURE() << "no error";
      } catch (const Error& error) {
        EXPECT_EQ(error.Message(), kRefused);
      }
      EXPECT_EQ(files.files[files.settings_path], old_text);
    }
  }
}

TEST(SettingsFile, KeysWrittenBeforeARefusedOneStayWritten) {
  test::MemoryFiles files;
  SettingsFile file(files, files.settings_path);
  file.WriteString(kSettingsSection, kAutoRecKey, "oui");
  file.WriteString(kSettingsSection, kAutoRecFormatKey, "jpg");
  files.refuse_commit = true;
  EXPECT_THROW(file.WriteString(kSettingsSection, kSaveFilePathKey, "D:\\Captures"), Error);
  EXPECT_EQ(files.files[files.settings_path], "[Settings]\r\nAutoRec=oui\r\nAutoRecFormat=jpg\r\n");
}

class XdgConfigHome {
 public:
  explicit XdgConfigHome(const std::string& path) {
    if (const char* old = ::getenv("XDG_CONFIG_HOME"))
      old_ = old;
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~XdgConfigHome() {
    old_ ? ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  }

 private:
  std::optional<std::string> old_;
};

TEST(SettingsFile, RealFileIsCreatedWithItsFoldersOrRefusedUnderAPlainFile) {
  test::TempFolder folder;
  PosixFiles files;
  SettingsFile file(files, &PosixFiles::SettingsFilePath);
  {
    XdgConfigHome config(folder / "missing/config");
    file.WriteString(kSettingsSection, kHotkeyKey, "Impr.Ecr");
    EXPECT_EQ(test::ReadFileBytes(folder / "missing/config/Pixtrel.cfg"),
              "[Settings]\r\nPixtrel=Impr.Ecr\r\n");
    EXPECT_EQ(test::ListFolder(folder / "missing/config"), std::vector<std::string>{"Pixtrel.cfg"});
  }
  test::WriteFileBytes(folder / "plain", "not a folder");
  XdgConfigHome config(folder / "plain/config");
  try {
    file.WriteString(kSettingsSection, kHotkeyKey, "F5");
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.Message(), kRefused);
  }
  EXPECT_EQ(file.ReadString(kSettingsSection, kHotkeyKey, "F12"), "F12");
  EXPECT_EQ(test::ReadFileBytes(folder / "plain"), "not a folder");
}

}  // namespace
}  // namespace pixtrel
