// Files as the program writes and reads them, on whichever system: each platform provides them,
// and tests keep them in memory.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace pixtrel {

// A file being written under a temporary name beside its target. Dropped without a
// successful Commit(), it vanishes and any old file of the target's name stays as it was.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // The number of bytes stored; fewer than asked means the system refused the rest.
  virtual std::size_t Write(const void* data, std::size_t size) = 0;
  // Puts the finished file in place under its target name; false if that failed.
  virtual bool Commit() = 0;
};

struct FileOptions {
  bool durable = false;       // flushed to the disk before it replaces the old file
  bool make_parents = false;  // create missing folders above the file
};

struct StartedFile {
  std::unique_ptr<OutputFile> file;  // null when the file cannot be created
  std::string reason;                // the system's own words for why not
};

class Files {
 public:
  virtual ~Files() = default;
  // Creates the last level of `path` only; false if it did not (it may already exist).
  virtual bool MakeFolder(const std::string& path) = 0;
  virtual StartedFile StartFile(const std::string& path, const FileOptions& options) = 0;
  // The whole file, or nothing when it is absent, cannot be read or holds more than
  // `max_bytes`.
  virtual std::optional<std::string> ReadWholeFile(const std::string& path,
                                                   std::size_t max_bytes) = 0;
  // Whether anything stands at `path`, readable or not.
  virtual bool FileExists(const std::string& path) = 0;
};

}  // namespace pixtrel
