// Hotkey names: a table name gives its own key, anything else F12, whatever the bytes.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "check.h"
#include "core/key_names.h"

namespace pixtrel {
namespace {

const std::map<std::string_view, std::uint8_t>& Table() {
  static const auto* table = [] {
    auto* names = new std::map<std::string_view, std::uint8_t>;
    for (const KeyName& key : kKeyNames) {
      // A name listed twice would make the lookup's order matter.
      FUZZ_CHECK(names->emplace(key.name, key.code).second, {"name", key.name});
      FUZZ_CHECK(key.code != kDefaultHotkey || key.name == "F12", {"name", key.name});
    }
    return names;
  }();
  return *table;
}

void Check(std::string_view name) {
  const auto found = Table().find(name);
  const std::uint8_t expected = found == Table().end() ? kDefaultHotkey : found->second;
  const std::uint8_t got = HotkeyCodeFor(name);
  FUZZ_CHECK(got == expected, {"name", name}, {"got", std::to_string(got)});
}

}  // namespace
}  // namespace pixtrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  pixtrel::Check(name);
  // Near misses of a table name: the input pasted around one.
  const auto& names = pixtrel::kKeyNames;
  const std::string_view table_name = names[size % names.size()].name;
  pixtrel::Check(std::string(table_name) + name);
  pixtrel::Check(name + std::string(table_name));
  return 0;
}
