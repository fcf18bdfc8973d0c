#include "platform/posix/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_folder.h"

namespace pixtrel {
namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name))
      old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PosixFiles, SettingsFileFollowsTheXdgConfigFolder) {
  struct Case {
    const char* xdg;
    const char* home;
    std::string path;
  };
  const Case cases[] = {
      {"/cfg", "/home/ann", "/cfg/Pixtrel.cfg"},
      {nullptr, "/home/ann", "/home/ann/.config/Pixtrel.cfg"},
      {"", "/home/ann", "/home/ann/.config/Pixtrel.cfg"},
      {"relative/cfg", "/home/ann", "/home/ann/.config/Pixtrel.cfg"},
  };
  for (const Case& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(PosixFiles().SettingsFilePath(), c.path);
  }
}

TEST(PosixFiles, AFileAppearsOnlyWhenCommitted) {
  test::TempFolder folder;
  PosixFiles files;
  const std::string path = folder / "a.txt";
  test::WriteFileBytes(path, "old");
  {
    StartedFile started = files.StartFile(path, {});
    ASSERT_TRUE(started.file);
    EXPECT_EQ(started.file->Write("new", 3), 3u);
  }
  EXPECT_EQ(test::ReadFileBytes(path), "old");
  EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{"a.txt"});

  StartedFile started = files.StartFile(path, {.durable = true});
  started.file->Write("new", 3);
  EXPECT_TRUE(started.file->Commit());
  EXPECT_EQ(test::ReadFileBytes(path), "new");
  EXPECT_EQ(test::ListFolder(folder.Path()), std::vector<std::string>{"a.txt"});
}

TEST(PosixFiles, ReplacingKeepsTheFilesModeAndTheLinkToIt) {
  test::TempFolder folder;
  PosixFiles files;
  const std::string real = folder / "real.cfg";
  test::WriteFileBytes(real, "old");
  ::chmod(real.c_str(), 0600);
  ASSERT_EQ(::symlink(real.c_str(), (folder / "link.cfg").c_str()), 0);

  StartedFile started = files.StartFile(folder / "link.cfg", {});
  started.file->Write("new", 3);
  ASSERT_TRUE(started.file->Commit());

  struct stat st {};
  ASSERT_EQ(::lstat((folder / "link.cfg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(test::ReadFileBytes(real), "new");
}

TEST(PosixFiles, MakesParentFoldersOnlyWhenAsked) {
  test::TempFolder folder;
  PosixFiles files;
  EXPECT_FALSE(files.StartFile(folder / "a/b/c.cfg", {}).file);
  StartedFile started = files.StartFile(folder / "a/b/c.cfg", {.make_parents = true});
  ASSERT_TRUE(started.file);
  EXPECT_TRUE(started.file->Commit());
  EXPECT_TRUE(test::FileExists(folder / "a/b/c.cfg"));

  EXPECT_TRUE(files.MakeFolder(folder / "d"));
  EXPECT_FALSE(files.MakeFolder(folder / "d"));
  EXPECT_FALSE(files.MakeFolder(folder / "e/f"));  // the last level only
}

TEST(PosixFiles, ReadsWholeFilesAndNothingForMissingOnes) {
  test::TempFolder folder;
  PosixFiles files;
  std::string big(100000, 'x');
  big[99999] = '\n';
  test::WriteFileBytes(folder / "big", big);
  EXPECT_EQ(files.ReadWholeFile(folder / "big"), big);
  EXPECT_EQ(files.ReadWholeFile(folder / "missing"), std::nullopt);
  EXPECT_EQ(files.ReadWholeFile(folder.Path()), std::nullopt);
}

}  // namespace
}  // namespace pixtrel
