// Files on Windows, through the ANSI calls. Paths are UTF-8, as everywhere in the core.
#pragma once

#include <cstdint>

#include "core/files.h"

namespace pixtrel {

class Win32Files : public Files {
 public:
  bool MakeFolder(const std::string& path) override;
  StartedFile StartFile(const std::string& path, const FileOptions& options) override;
  std::optional<std::string> ReadWholeFile(const std::string& path,
                                           std::size_t max_bytes = SIZE_MAX) override;
  bool FileExists(const std::string& path) override;
};

}  // namespace pixtrel
