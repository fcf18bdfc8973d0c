// Files held in memory, with controls for the failures a disk can produce.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/files.h"

namespace pixtrel::test {

class MemoryFiles : public Files {
 public:
  std::map<std::string, std::string> files;  // committed files by path
  std::vector<std::string> folders;          // every MakeFolder call, in order
  std::string settings_path = "/config/Pixtrel.cfg";

  // Failure controls.
  std::string refuse_reason;                   // non-empty: StartFile refuses with it
  std::size_t accept_bytes = std::size_t(-1);  // a file stores at most this many bytes
  bool refuse_commit = false;
  std::size_t refuse_commit_after = std::size_t(-1);  // commits that succeed before refusals
  std::set<std::string> unreadable;                   // present, but reading them fails

  // Counters.
  int started = 0;
  std::size_t commits = 0;               // successful ones
  std::vector<std::size_t> write_sizes;  // size of every Write call, in order

  bool MakeFolder(const std::string& path) override;
  StartedFile StartFile(const std::string& path, const FileOptions& options) override;
  std::optional<std::string> ReadWholeFile(const std::string& path,
                                           std::size_t max_bytes = SIZE_MAX) override;
  bool FileExists(const std::string& path) override;
};

}  // namespace pixtrel::test
