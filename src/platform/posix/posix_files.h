// Files on Linux and other POSIX systems.
#pragma once

#include <cstdint>

#include "core/files.h"

namespace pixtrel {

class PosixFiles : public Files {
 public:
  bool MakeFolder(const std::string& path) override;
  StartedFile StartFile(const std::string& path, const FileOptions& options) override;
  std::optional<std::string> ReadWholeFile(const std::string& path,
                                           std::size_t max_bytes = SIZE_MAX) override;
  bool FileExists(const std::string& path) override;
  // $XDG_CONFIG_HOME/Pixtrel.cfg, or ~/.config/Pixtrel.cfg.
  static std::string SettingsFilePath();
};

}  // namespace pixtrel
