#include "support/temp_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pixtrel::test {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/pixtrel-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SmallDisk::SmallDisk(const std::string& folder, const std::string& size) : folder_(folder) {
  std::filesystem::create_directories(folder);
  mounted_ =
      std::system(
          ("mount -t tmpfs -o size=" + size + " tmpfs '" + folder + "' 2>/dev/null").c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) [[maybe_unused]]
    const int ignored = std::system(("umount '" + folder_ + "'").c_str());
}

void SmallDisk::Resize(const std::string& size) {
  [[maybe_unused]] const int ignored =
      std::system(("mount -o remount,size=" + size + " '" + folder_ + "'").c_str());
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  // Through the buffers, not a character at a time: a large file would take seconds in a debug
  // build.
  std::ostringstream bytes;
  if (in)
    bytes << in.rdbuf();
  return std::move(bytes).str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace pixtrel::test
