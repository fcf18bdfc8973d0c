#include "core/key_names.h"

namespace pixtrel {

std::uint8_t HotkeyCodeFor(std::string_view name) {
  std::uint8_t code = 0;
  for (const KeyName& key : kKeyNames) {
    if (key.name == name)
      code = key.code;
  }
  return code != 0 ? code : kDefaultHotkey;
}

}  // namespace pixtrel
