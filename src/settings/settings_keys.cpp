#include "settings/settings_keys.h"

#include <cassert>

namespace pixtrel {

std::string ReadSetting(SettingsStore& file, const SettingRead& read,
                        const std::string& default_folder) {
  const std::string_view fallback = read.default_is_folder ? default_folder : read.default_text;
  // The key test lists at most kKeyListBytes of names, so it can miss a key a read finds.
  if (read.only_if_listed && !file.ValueExists(kSettingsSection, read.key)) {
    return std::string(fallback);
  }
  return file.ReadString(kSettingsSection, read.key, fallback);
}

std::string ReadSetting(SettingsStore& file, const SettingRead& read) {
  assert(!read.default_is_folder);
  return ReadSetting(file, read, std::string());
}

}  // namespace pixtrel
