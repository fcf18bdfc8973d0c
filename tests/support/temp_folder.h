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

// A small disk of its own (tmpfs) mounted on a folder, unmounted whatever happens. Mounting
// needs the right to; Mounted() says whether it was there.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const std::string& size);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  void Resize(const std::string& size);

 private:
  std::string folder_;
  bool mounted_ = false;
};

// Test helpers for real files.
std::string ReadFileBytes(const std::string& path);  // empty when absent
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Names in a folder other than "." and "..", sorted.
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace pixtrel::test
