// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <string>
#include <vector>

namespace pixtrel::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Test helpers for real files.
std::string ReadFileBytes(const std::string& path);  // empty when absent
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Names in a folder other than "." and "..", sorted.
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace pixtrel::test
