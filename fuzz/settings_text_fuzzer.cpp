// A settings text, then a run of reads, key tests, writes and erases on it. The input is the
// text up to its first NUL, and after it the bytes that choose the operations.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "settings/settings_file.h"

namespace pixtrel {
namespace {

using settings_text::EraseSection;
using settings_text::FindValue;
using settings_text::ListsKey;
using settings_text::ReadValue;
using settings_text::WriteValue;

// Bounds that keep a run to a few milliseconds: every check reparses the whole text.
constexpr std::size_t kMaxText = 4096;
constexpr std::size_t kMaxGrown = 12000;
constexpr int kMaxSteps = 16;
constexpr std::size_t kMaxPairs = 24;

// The model below is written apart from the engine, from the rules it documents, so that the
// two can disagree.

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

std::string_view TrimSpaces(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos)
    return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool HasEdgeBlank(std::string_view s) {
  return !s.empty() && (IsBlank(s.front()) || IsBlank(s.back()));
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Names and values reach the API as C strings: a NUL ends them.
std::string_view UpToNul(std::string_view s) {
  return s.substr(0, s.find('\0'));
}

bool SameName(std::string_view a, std::string_view b) {
  a = UpToNul(a);
  b = UpToNul(b);
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i]))
      return false;
  }
  return true;
}

std::string SwapCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c + 32);
    else if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 32);
  }
  return out;
}

// Names that survive being written as a line of their own and read back.
bool PlainSection(std::string_view name) {
  return name.find_first_of("\r\n]") == std::string_view::npos && !HasEdgeBlank(name);
}

bool PlainKey(std::string_view name) {
  return name.find_first_of("\r\n=") == std::string_view::npos && !HasEdgeBlank(name) &&
         (name.empty() || (name.front() != ';' && name.front() != '['));
}

struct ModelLine {
  std::string_view bytes;  // with its line ending
  bool header = false;
  bool key = false;
  std::string_view name;
};

std::vector<ModelLine> ModelLines(std::string_view text) {
  std::vector<ModelLine> lines;
  while (!text.empty()) {
    const std::size_t length = std::min(text.find('\n'), text.size() - 1) + 1;
    ModelLine line;
    line.bytes = text.substr(0, length);
    std::string_view content = line.bytes;
    if (content.ends_with('\n'))
      content.remove_suffix(1);
    if (content.ends_with('\r'))
      content.remove_suffix(1);
    const std::string_view body = Trim(content);
    if (body.starts_with('[')) {
      line.header = true;
      line.name = Trim(body.substr(1).substr(0, body.substr(1).find(']')));
    } else if (!body.empty() && body.front() != ';' &&
               content.find('=') != std::string_view::npos) {
      line.key = true;
      line.name = Trim(content.substr(0, content.find('=')));
    }
    lines.push_back(line);
    text.remove_prefix(length);
  }
  return lines;
}

struct Pair {
  std::string section;
  std::string key;
};

// Each key with its own section, then some keys asked of other sections.
std::vector<Pair> Pairs(std::string_view text) {
  std::vector<Pair> pairs;
  std::vector<std::string_view> sections;
  std::vector<std::string_view> keys;
  std::optional<std::string_view> section;
  for (const ModelLine& line : ModelLines(text)) {
    if (line.header) {
      section = line.name;
      sections.push_back(line.name);
    } else if (line.key) {
      keys.push_back(line.name);
      if (section && pairs.size() < kMaxPairs / 2)
        pairs.push_back({std::string(*section), std::string(line.name)});
    }
  }
  for (std::size_t i = 0; i < sections.size() && pairs.size() < kMaxPairs; ++i) {
    for (std::size_t j = 0; j < keys.size() && j < 4 && pairs.size() < kMaxPairs; ++j)
      pairs.push_back({std::string(sections[i]), std::string(keys[(i + j) % keys.size()])});
  }
  return pairs;
}

std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80)
    return 1;
  // A continuation byte, or no lead at all.
  if (lead < 0xC0 || lead >= 0xF8)
    return 0;
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t length = Utf8Length(static_cast<unsigned char>(s[i]));
    if (length == 0 || i + length > s.size())
      return false;
    for (std::size_t j = 1; j < length; ++j) {
      if ((static_cast<unsigned char>(s[i + j]) & 0xC0) != 0x80)
        return false;
    }
    i += length;
  }
  return true;
}

// What a read may give of `full`: all of it when short enough, else its longest head that fits
// kMaxValueBytes and ends on a whole character.
void CheckCut(std::string_view full, std::string_view got, std::string_view text) {
  if (full.size() <= kMaxValueBytes) {
    FUZZ_CHECK(got == full, {"text", text}, {"full", full}, {"got", got});
    return;
  }
  FUZZ_CHECK(
      full.starts_with(got) && got.size() <= kMaxValueBytes && got.size() + 3 >= kMaxValueBytes,
      {"text", text}, {"full", full}, {"got", got});
  if (ValidUtf8(full)) {
    FUZZ_CHECK(
        ValidUtf8(got) && (got.size() == kMaxValueBytes ||
                           got.size() + Utf8Length(static_cast<unsigned char>(full[got.size()])) >
                               kMaxValueBytes),
        {"full", full}, {"got", got});
  }
}

void CheckRead(std::string_view text, std::string_view section, std::string_view key,
               std::string_view default_value) {
  const std::optional<std::string> found = FindValue(text, section, key);
  if (found)
    FUZZ_CHECK(found->size() <= kMaxValueBytes, {"text", text}, {"key", key});
  const std::string read = ReadValue(text, section, key, default_value);
  if (found) {
    FUZZ_CHECK(read == *found, {"text", text}, {"key", key}, {"read", read});
  } else {
    std::string_view used = default_value;
    while (used.ends_with(' '))
      used.remove_suffix(1);
    CheckCut(used, read, text);
  }
  // Spaces the caller puts around the names and letter case do not count; other blanks do.
  const std::string spaced = " " + std::string(section) + "  ";
  FUZZ_CHECK(FindValue(text, spaced, " " + std::string(key)) == found, {"text", text},
             {"section", section}, {"key", key});
  FUZZ_CHECK(FindValue(text, SwapCase(section), SwapCase(key)) == found, {"text", text},
             {"section", section}, {"key", key});
  if (HasEdgeBlank(TrimSpaces(UpToNul(section))) || HasEdgeBlank(TrimSpaces(UpToNul(key))))
    FUZZ_CHECK(!found, {"text", text}, {"section", section}, {"key", key});
}

void CheckListsKey(std::string_view text, std::string_view section, std::string_view key) {
  const bool listed = ListsKey(text, section, key);
  FUZZ_CHECK(ListsKey(text, SwapCase(section), SwapCase(key)) == listed, {"text", text},
             {"section", section}, {"key", key});
  // Section names are trimmed when read, and the key test keeps the caller's spaces.
  if (UpToNul(section) != TrimSpaces(UpToNul(section)))
    FUZZ_CHECK(!listed, {"text", text}, {"section", section}, {"key", key});
  // Below this size the list of names cannot be cut; a NUL in a name splits it in two there.
  if (text.size() >= kKeyListBytes || HasEdgeBlank(section) || HasEdgeBlank(key) ||
      text.find('\0') != std::string_view::npos)
    return;
  const bool found = FindValue(text, section, key).has_value();
  if (listed)
    FUZZ_CHECK(found, {"text", text}, {"section", section}, {"key", key});
  // Only a key with an empty name, which ends the list, hides a key that reads.
  if (found && !listed) {
    FUZZ_CHECK(FindValue(text, section, "").has_value(), {"text", text}, {"section", section},
               {"key", key});
  }
}

std::string CheckWrite(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  std::string written = WriteValue(text, section, key, value);
  const std::string_view trimmed_section = TrimSpaces(UpToNul(section));
  const std::string_view trimmed_key = TrimSpaces(UpToNul(key));
  if (!PlainSection(trimmed_section) || !PlainKey(trimmed_key))
    return written;

  // Handed over as a C string, and cut at a line break.
  std::string_view expected =
      Trim(value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3))));
  if (expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'') &&
      expected.back() == expected.front()) {
    expected = expected.substr(1, expected.size() - 2);
  }
  const std::optional<std::string> read = FindValue(written, section, key);
  FUZZ_CHECK(read.has_value(), {"before", text}, {"after", written}, {"section", section},
             {"key", key});
  CheckCut(expected, *read, written);

  FUZZ_CHECK(WriteValue(written, section, key, value) == written, {"before", text},
             {"after", written}, {"key", key}, {"value", value});

  for (const Pair& pair : Pairs(text)) {
    if (SameName(pair.section, trimmed_section) && SameName(pair.key, trimmed_key))
      continue;
    FUZZ_CHECK(
        FindValue(written, pair.section, pair.key) == FindValue(text, pair.section, pair.key),
        {"before", text}, {"after", written}, {"kept section", pair.section},
        {"kept key", pair.key});
    if (written.size() < kKeyListBytes && written.find('\0') == std::string::npos) {
      FUZZ_CHECK(
          ListsKey(written, pair.section, pair.key) == ListsKey(text, pair.section, pair.key),
          {"before", text}, {"after", written}, {"kept section", pair.section},
          {"kept key", pair.key});
    }
  }
  return written;
}

std::string CheckErase(std::string_view text, std::string_view section) {
  std::string erased = EraseSection(text, section);
  std::string kept;
  bool inside = false;
  for (const ModelLine& line : ModelLines(text)) {
    if (line.header)
      inside = SameName(line.name, section);
    if (!inside)
      kept.append(line.bytes);
  }
  FUZZ_CHECK(erased == kept, {"before", text}, {"section", section}, {"after", erased},
             {"expected", kept});
  FUZZ_CHECK(EraseSection(erased, section) == erased, {"text", erased}, {"section", section});
  for (const Pair& pair : Pairs(text)) {
    const bool gone = SameName(pair.section, section);
    const std::optional<std::string> before = FindValue(text, pair.section, pair.key);
    const std::optional<std::string> after = FindValue(erased, pair.section, pair.key);
    FUZZ_CHECK(gone ? !after : after == before, {"before", text}, {"section", section},
               {"pair section", pair.section}, {"pair key", pair.key});
    if (gone)
      FUZZ_CHECK(!ListsKey(erased, pair.section, pair.key), {"after", erased});
  }
  return erased;
}

constexpr std::array<std::string_view, 6> kNames = {"Settings", "AutoRec", "Pixtrel",
                                                    "",         "Other",   "SaveFilePath"};
constexpr std::array<std::string_view, 8> kValues = {"",
                                                     "oui",
                                                     "\"quoted\"",
                                                     " padded\t",
                                                     "'a'",
                                                     "line\r\nX=1",
                                                     "C:\\Mes documents\\\xC3\x89t\xC3\xA9",
                                                     "\""};

std::string PickName(FuzzedDataProvider& in, const std::vector<std::string>& pool) {
  std::string name;
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
    case 1:
      name = pool.empty() ? "Settings"
                          : pool[in.ConsumeIntegralInRange<std::size_t>(0, pool.size() - 1)];
      break;
    case 2:
      name = in.ConsumeRandomLengthString(24);
      break;
    default:
      name = kNames[in.ConsumeIntegralInRange<std::size_t>(0, kNames.size() - 1)];
  }
  const auto decoration = in.ConsumeIntegral<std::uint8_t>();
  if (decoration & 1)
    name = SwapCase(name);
  if (decoration & 2)
    name.insert(0, " ");
  if (decoration & 4)
    name += "  ";
  return name;
}

std::string PickValue(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return in.ConsumeRandomLengthString(48);
    case 1: {
      // Long enough to be cut, with the characters falling anywhere across the cut.
      constexpr std::array<std::string_view, 3> kUnits = {"\xC3\xA9", "\xE2\x82\xAC",
                                                          "\xF0\x9F\x93\xB7"};
      std::string unit = in.ConsumeRandomLengthString(6);
      if (unit.empty())
        unit = kUnits[in.ConsumeIntegralInRange<std::size_t>(0, kUnits.size() - 1)];
      std::string value(in.ConsumeIntegralInRange(0, 3), 'p');
      const auto length = in.ConsumeIntegralInRange<std::size_t>(2040, 2064);
      while (value.size() < length)
        value += unit;
      return value;
    }
    case 2:
      return std::string(kValues[in.ConsumeIntegralInRange<std::size_t>(0, kValues.size() - 1)]);
    default: {
      const char quote = in.ConsumeBool() ? '"' : '\'';
      return " " + std::string(1, quote) + in.ConsumeRandomLengthString(24) + quote + "\t";
    }
  }
}

void Run(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  std::string text(input.substr(0, std::min(nul, kMaxText)));
  const std::string_view steps = nul == std::string_view::npos ? "" : input.substr(nul + 1);
  FuzzedDataProvider in(reinterpret_cast<const std::uint8_t*>(steps.data()), steps.size());

  for (int step = 0; step < kMaxSteps && in.remaining_bytes() > 0 && text.size() < kMaxGrown;
       ++step) {
    std::vector<std::string> sections;
    std::vector<std::string> keys;
    for (const Pair& pair : Pairs(text)) {
      sections.push_back(pair.section);
      keys.push_back(pair.key);
    }
    const int op = in.ConsumeIntegralInRange(0, 3);
    const std::string section = PickName(in, sections);
    switch (op) {
      case 0: {
        const std::string key = PickName(in, keys);
        CheckRead(text, section, key, PickValue(in));
        break;
      }
      case 1:
        CheckListsKey(text, section, PickName(in, keys));
        break;
      case 2: {
        const std::string key = PickName(in, keys);
        text = CheckWrite(text, section, key, PickValue(in));
        break;
      }
      default:
        text = CheckErase(text, section);
    }
  }

  // Every text gets some of each, even with no steps asked.
  const std::vector<Pair> pairs = Pairs(text);
  for (std::size_t i = 0; i < pairs.size() && i < 8; ++i) {
    CheckRead(text, pairs[i].section, pairs[i].key, "dflt  ");
    CheckListsKey(text, pairs[i].section, pairs[i].key);
  }
  // A value that differs from the one in place by letter case alone must still be written.
  if (!pairs.empty()) {
    if (const auto value = FindValue(text, pairs.front().section, pairs.front().key))
      CheckWrite(text, pairs.front().section, pairs.front().key, SwapCase(*value));
  }
  const std::string section = pairs.empty() ? "Settings" : pairs.front().section;
  CheckErase(CheckWrite(text, section, "FuzzKey", "value"), section);
}

}  // namespace
}  // namespace pixtrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pixtrel::Run(data, size);
  return 0;
}
