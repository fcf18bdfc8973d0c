// Where the settings live, as the handlers see them: the four operations on the one file, and
// the closing flush. Each platform provides the store; the handlers never see a file.
#pragma once

#include <string>
#include <string_view>

namespace pixtrel {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The value, or `default_value` when the file, the section or the key is absent.
  virtual std::string ReadString(std::string_view section, std::string_view key,
                                 std::string_view default_value) = 0;
  // Whether the section lists the key, whatever its value.
  virtual bool ValueExists(std::string_view section, std::string_view key) = 0;
  // Whether a value written now would read back as it is. The system's own profile calls keep
  // only the characters of the ANSI code page, and would store any other as '?'.
  virtual bool CanHold(std::string_view value) = 0;
  // Both raise "Impossible d'écrire dans Pixtrel.cfg" when the system refuses.
  virtual void WriteString(std::string_view section, std::string_view key,
                           std::string_view value) = 0;
  virtual void EraseSection(std::string_view section) = 0;
  // The flush on closing; what it answers is not looked at.
  virtual void Flush() = 0;
};

// Raises the error every store gives for a write or an erase the system refused.
[[noreturn]] void RefuseSettingsWrite();

// One use of the settings inside one handler: opened, used, and closed (flushed) on every
// path, errors included.
class OpenSettings {
 public:
  explicit OpenSettings(SettingsStore& store) : store_(store) {}
  ~OpenSettings() { store_.Flush(); }
  OpenSettings(const OpenSettings&) = delete;
  OpenSettings& operator=(const OpenSettings&) = delete;

  SettingsStore* operator->() { return &store_; }
  operator SettingsStore&() { return store_; }

 private:
  SettingsStore& store_;
};

}  // namespace pixtrel
