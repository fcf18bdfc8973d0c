// The settings file: an INI-style text read afresh at every use and replaced whole at
// every write, so all readers and the one writer always meet the same bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/files.h"
#include "core/settings_store.h"

namespace pixtrel {

// The sizes of the buffers the Windows private-profile calls are given: a value comes
// back in 2048 bytes with its closing NUL, a section's key names in 16384.
inline constexpr std::size_t kMaxValueBytes = 2047;
inline constexpr std::size_t kKeyListBytes = 16384;
// A larger file is no settings file: it reads as absent and is never replaced, so reading it
// costs nothing and its bytes are kept.
inline constexpr std::size_t kMaxSettingsFileBytes = std::size_t{1} << 20;

// The rules on the file's whole text. Section and key names ignore ASCII letter case;
// the first section of a name is the one read and written.
namespace settings_text {

// The key's value up to its first NUL, unquoted and cut; nullopt when the section or the key
// is absent.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);
std::string ReadValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view default_value);
// Whether the key is among the names the section lists within kKeyListBytes.
bool ListsKey(std::string_view text, std::string_view section, std::string_view key);
// The text with the key set: in place on its own line, or appended to the section,
// or in a new section at the end of the text.
std::string WriteValue(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value);
// The text without any section of that name, headers and lines alike.
std::string EraseSection(std::string_view text, std::string_view section);

}  // namespace settings_text

// The settings store over a file of our own: each call reads the file as it is at that moment,
// and each write replaces it whole, so a refused write leaves the old file as it was.
class SettingsFile : public SettingsStore {
 public:
  SettingsFile(Files& files, std::string path)
      : files_(files), locate_([path = std::move(path)] { return path; }) {}
  // The file is looked up at every use, where the system says it is at that moment.
  SettingsFile(Files& files, std::function<std::string()> locate)
      : files_(files), locate_(std::move(locate)) {}

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  bool ValueExists(std::string_view section, std::string_view key) override;
  // The file is UTF-8.
  bool CanHold(std::string_view) override { return true; }
  void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
  void EraseSection(std::string_view section) override;
  // Every write is on the disk before it returns: nothing is left to flush.
  void Flush() override {}

 private:
  // What the readers see: nothing when the file is absent or cannot be read.
  std::optional<std::string> ReadText(const std::string& path);
  // What a write starts from; raises when a file stands there that cannot be read.
  std::string TextToReplace(const std::string& path);
  void Replace(const std::string& path, const std::string& text);

  Files& files_;
  std::function<std::string()> locate_;
};

}  // namespace pixtrel
