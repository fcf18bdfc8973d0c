#include "settings/settings_file.h"

#include <vector>

#include "core/error.h"
#include "settings/settings_keys.h"

namespace pixtrel {
namespace settings_text {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

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

// Names the caller gives lose their spaces only, as the API's do: a tab stays.
std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ')
    s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The API hands names and values over as C strings: a NUL ends them, whatever follows it.
std::string_view UpToNul(std::string_view s) {
  return s.substr(0, s.find('\0'));
}

bool SameName(std::string_view a, std::string_view b) {
  a = UpToNul(a);
  b = UpToNul(b);
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return true;
}

enum class LineKind { kOther, kHeader, kKey };

struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;  // past the line ending
  bool ended = false;   // false only for a last line with no LF
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section or key, trimmed
  std::string_view value;  // trimmed, up to a NUL, quotes still on
};

Line Classify(std::string_view content) {
  Line line;
  const std::string_view body = Trim(content);
  // Only ';' makes a comment: "#x=1" is the key "#x".
  if (body.empty() || body.front() == ';')
    return line;
  if (body.front() == '[') {
    line.kind = LineKind::kHeader;
    line.name = Trim(body.substr(1, body.find(']') - 1));
    return line;
  }
  const auto equals = content.find('=');
  if (equals == std::string_view::npos)
    return line;
  // The name may be empty: "=x" is the key "".
  line.name = Trim(content.substr(0, equals));
  line.kind = LineKind::kKey;
  line.value = UpToNul(Trim(content.substr(equals + 1)));
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  // A UTF-8 byte order mark is no mark to the API but text of the first line.
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto newline = text.find('\n', pos);
    const bool ended = newline != std::string_view::npos;
    const std::size_t end = ended ? newline + 1 : text.size();
    std::string_view content = text.substr(pos, end - pos - (ended ? 1 : 0));
    if (content.ends_with('\r'))
      content.remove_suffix(1);
    Line line = Classify(content);
    line.begin = pos;
    line.end = end;
    line.ended = ended;
    lines.push_back(line);
    pos = end;
  }
  return lines;
}

// What must follow `line` before another line can be added after it: a last line cut
// after its CR only needs the LF.
std::string_view EndingToAdd(std::string_view text, const Line& line) {
  if (line.ended)
    return {};
  return text[line.end - 1] == '\r' ? kLineEnd.substr(1) : kLineEnd;
}

struct Section {
  std::size_t header;  // index of the header line
  std::size_t end;     // index of the next header, or the line count
};

std::optional<Section> FindSection(const std::vector<Line>& lines, std::string_view name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != LineKind::kHeader || !SameName(lines[i].name, name))
      continue;
    std::size_t end = i + 1;
    while (end < lines.size() && lines[end].kind != LineKind::kHeader)
      ++end;
    return Section{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const Section& section,
                                   std::string_view key) {
  for (std::size_t i = section.header + 1; i < section.end; ++i) {
    if (lines[i].kind == LineKind::kKey && SameName(lines[i].name, key))
      return i;
  }
  return std::nullopt;
}

// The cut never splits a UTF-8 sequence, so a long path never ends in half a character.
std::string CutValue(std::string_view value) {
  if (value.size() <= kMaxValueBytes)
    return std::string(value);
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(value[i]); };
  std::size_t start = kMaxValueBytes;
  while (start + 3 > kMaxValueBytes && (byte(start) & 0xC0) == 0x80)
    --start;
  const unsigned lead = byte(start);
  const std::size_t length = lead >= 0xF8   ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 1;
  const bool straddles = start < kMaxValueBytes && start + length > kMaxValueBytes;
  return std::string(value.substr(0, straddles ? start : kMaxValueBytes));
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
  section = TrimSpaces(UpToNul(section));
  key = TrimSpaces(UpToNul(key));
  const std::vector<Line> lines = SplitLines(text);
  const auto found = FindSection(lines, section);
  if (!found)
    return std::nullopt;
  const auto at = FindKey(lines, *found, key);
  if (!at)
    return std::nullopt;
  return CutValue(Unquote(lines[*at].value));
}

std::string ReadValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view default_value) {
  // The API drops a default's trailing spaces, though no other blank.
  while (default_value.ends_with(' '))
    default_value.remove_suffix(1);
  return FindValue(text, section, key).value_or(CutValue(default_value));
}

bool ListsKey(std::string_view text, std::string_view section, std::string_view key) {
  // Unlike a read, the listing call keeps the spaces around the section name.
  const std::vector<Line> lines = SplitLines(text);
  const auto found = FindSection(lines, section);
  if (!found)
    return false;
  std::string list;
  for (std::size_t i = found->header + 1; i < found->end; ++i) {
    if (lines[i].kind != LineKind::kKey)
      continue;
    // An empty name reads as the NUL that closes the list: the names after it are lost.
    if (lines[i].name.empty())
      break;
    list.append(lines[i].name);
    list.push_back('\0');
  }
  // The API keeps a byte for the list's closing NUL; a list too long for the buffer is
  // cut two bytes short of it, shortening its last name.
  if (list.size() > kKeyListBytes - 1)
    list.resize(kKeyListBytes - 2);
  std::string_view rest = list;
  while (!rest.empty()) {
    const auto nul = rest.find('\0');
    if (SameName(rest.substr(0, nul), key))
      return true;
    if (nul == std::string_view::npos)
      break;
    rest.remove_prefix(nul + 1);
  }
  return false;
}

std::string WriteValue(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  // A line break in the value would turn its tail into lines of its own.
  value = UpToNul(value);
  value = value.substr(0, value.find_first_of("\r\n"));
  section = TrimSpaces(UpToNul(section));
  key = TrimSpaces(UpToNul(key));
  const std::vector<Line> lines = SplitLines(text);
  std::string result(text);
  const auto found = FindSection(lines, section);
  if (!found) {
    if (!lines.empty())
      result += EndingToAdd(text, lines.back());
    result.append("[").append(section).append("]").append(kLineEnd);
    result.append(key).append("=").append(value).append(kLineEnd);
    return result;
  }
  if (const auto at = FindKey(lines, *found, key)) {
    const Line& line = lines[*at];
    // The API leaves a line that already holds the value as it is, however it is laid out.
    if (line.value == value)
      return result;
    std::string replacement(line.name);
    replacement.append("=").append(value).append(kLineEnd);
    result.replace(line.begin, line.end - line.begin, replacement);
    return result;
  }
  std::size_t after = found->header;
  for (std::size_t i = found->header + 1; i < found->end; ++i) {
    if (lines[i].kind == LineKind::kKey)
      after = i;
  }
  std::string addition(EndingToAdd(text, lines[after]));
  addition.append(key).append("=").append(value).append(kLineEnd);
  result.insert(lines[after].end, addition);
  return result;
}

std::string EraseSection(std::string_view text, std::string_view section) {
  // Every section of the name goes, not just the first as the API's one call does: a later
  // one would otherwise be read from then on, and the section must be absent afterwards.
  const std::vector<Line> lines = SplitLines(text);
  std::string result;
  bool erasing = false;
  for (const Line& line : lines) {
    if (line.kind == LineKind::kHeader)
      erasing = SameName(line.name, section);
    if (!erasing)
      result.append(text.substr(line.begin, line.end - line.begin));
  }
  return result;
}

}  // namespace settings_text

void RefuseSettingsWrite() {
  throw Error(FormatText("Impossible d'écrire dans %s", {kSettingsFileName}));
}

std::string SettingsFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view default_value) {
  return settings_text::ReadValue(ReadText(locate_()).value_or(""), section, key, default_value);
}

bool SettingsFile::ValueExists(std::string_view section, std::string_view key) {
  return settings_text::ListsKey(ReadText(locate_()).value_or(""), section, key);
}

void SettingsFile::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
  const std::string path = locate_();
  Replace(path, settings_text::WriteValue(TextToReplace(path), section, key, value));
}

void SettingsFile::EraseSection(std::string_view section) {
  const std::string path = locate_();
  const std::string old_text = TextToReplace(path);
  const std::string new_text = settings_text::EraseSection(old_text, section);
  if (new_text != old_text)
    Replace(path, new_text);
}

std::optional<std::string> SettingsFile::ReadText(const std::string& path) {
  return files_.ReadWholeFile(path, kMaxSettingsFileBytes);
}

std::string SettingsFile::TextToReplace(const std::string& path) {
  if (std::optional<std::string> text = ReadText(path))
    return std::move(*text);
  // A file that is there but cannot be read must not be replaced by one holding a single key.
  if (files_.FileExists(path))
    RefuseSettingsWrite();
  return {};
}

void SettingsFile::Replace(const std::string& path, const std::string& text) {
  const StartedFile started = files_.StartFile(path, {.durable = true, .make_parents = true});
  if (!started.file || started.file->Write(text.data(), text.size()) != text.size() ||
      !started.file->Commit()) {
    RefuseSettingsWrite();
  }
}

}  // namespace pixtrel
