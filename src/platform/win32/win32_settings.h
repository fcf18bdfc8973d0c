// The settings through the system's private-profile calls on the bare name "Pixtrel.cfg",
// which the system keeps in the Windows folder.
#pragma once

#include "core/settings_store.h"

namespace pixtrel {

class Win32Settings : public SettingsStore {
 public:
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) override;
  bool ValueExists(std::string_view section, std::string_view key) override;
  bool CanHold(std::string_view value) override;
  void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
  void EraseSection(std::string_view section) override;
  void Flush() override;
};

}  // namespace pixtrel
