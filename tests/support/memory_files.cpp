#include "support/memory_files.h"

#include <algorithm>

namespace pixtrel::test {
namespace {

class MemoryOutputFile : public OutputFile {
 public:
  MemoryOutputFile(MemoryFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

  std::size_t Write(const void* data, std::size_t size) override {
    owner_.write_sizes.push_back(size);
    const std::size_t room =
        owner_.accept_bytes > content_.size() ? owner_.accept_bytes - content_.size() : 0;
    const std::size_t stored = std::min(size, room);
    content_.append(static_cast<const char*>(data), stored);
    return stored;
  }

  bool Commit() override {
    if (owner_.refuse_commit || owner_.commits >= owner_.refuse_commit_after)
      return false;
    ++owner_.commits;
    owner_.files[path_] = content_;
    return true;
  }

 private:
  MemoryFiles& owner_;
  std::string path_;
  std::string content_;
};

}  // namespace

bool MemoryFiles::MakeFolder(const std::string& path) {
  folders.push_back(path);
  return true;
}

StartedFile MemoryFiles::StartFile(const std::string& path, const FileOptions&) {
  ++started;
  if (!refuse_reason.empty())
    return {nullptr, refuse_reason};
  return {std::make_unique<MemoryOutputFile>(*this, path), {}};
}

bool MemoryFiles::FileExists(const std::string& path) {
  return files.count(path) != 0 || unreadable.count(path) != 0;
}

std::optional<std::string> MemoryFiles::ReadWholeFile(const std::string& path,
                                                      std::size_t max_bytes) {
  if (unreadable.count(path) != 0)
    return std::nullopt;
  const auto it = files.find(path);
  if (it == files.end() || it->second.size() > max_bytes)
    return std::nullopt;
  return it->second;
}

}  // namespace pixtrel::test
