// The settings engine against the Windows private-profile calls, both run on the same files in
// one process: every value read, every key test and every byte written must match.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pixtrel {
namespace {

enum class Op { kRead, kHas, kWrite, kErase };

// An answer: a value read, "1" or "0" for a key test, the file after a write or an erase
// (nullopt when there is no file).
using Answer = std::optional<std::string>;

struct Step {
  Op op;
  std::string section;
  std::string key;
  std::string text;  // read: the default; write: the value
  // Only on a marked row: what the engine must answer instead of the API under wine.
  Answer expect;
};

Step Read(std::string section, std::string key, std::string fallback, Answer expect = {}) {
  return {Op::kRead, std::move(section), std::move(key), std::move(fallback), std::move(expect)};
}
Step Has(std::string section, std::string key, Answer expect = {}) {
  return {Op::kHas, std::move(section), std::move(key), {}, std::move(expect)};
}
Step Write(std::string section, std::string key, std::string value, Answer expect = {}) {
  return {Op::kWrite, std::move(section), std::move(key), std::move(value), std::move(expect)};
}
Step Erase(std::string section, Answer expect = {}) {
  return {Op::kErase, std::move(section), {}, {}, std::move(expect)};
}

struct Row {
  std::string name;
  Answer file;  // the bytes before the first step; nullopt: no file
  std::vector<Step> steps;
  // Why wine's answer is not the one Windows gives: the steps' `expect` hold Windows' answers.
  const char* wine_differs = nullptr;
  // Why the engine keeps its own answer, in `expect`, where Windows' is a fault.
  const char* kept = nullptr;
};

const std::string kBom = "\xEF\xBB\xBF";

std::string Ps(std::size_t n) {
  return std::string(n, 'p');
}

// The mark of rows that differ only because wine writes the whole file anew.
const char* const kWineRewrites =
    "wine writes the whole file anew; Windows leaves the lines it does not write as they are";

std::vector<Row> Rows() {
  return {
      // --- letter case
      {"section and key in any letter case",
       "[Settings]\r\nAutoRec=oui\r\n",
       {Read("SETTINGS", "autorec", "non"), Has("settings", "AUTOREC"),
        Write("SETTINGS", "AUTOREC", "non"), Read("Settings", "AutoRec", "oui")}},
      {"a new key joins the section however it is spelled",
       "[SETTINGS]\r\nautorec=oui\r\n",
       {Write("Settings", "AutoRecFormat", "jpg"), Has("Settings", "autorecformat"),
        Read("settings", "AUTORECFORMAT", "bmp")}},
      {"a value keeps its letter case",
       "[Settings]\r\nAutoRec=OUI\r\n",
       {Read("Settings", "AutoRec", "non"), Write("Settings", "AutoRec", "Oui"),
        Read("Settings", "AutoRec", "non")}},

      // --- blanks
      {"blanks before the header and around key and value are dropped",
       "  [Settings]\t\r\n \t AutoRec \t= \t oui \t\r\n\tPixtrel =F5\r\n",
       {Read("Settings", "AutoRec", "non"), Read("Settings", "Pixtrel", "F12"),
        Has("Settings", "autorec"), Has("Settings", "Pixtrel")}},
      {"a write keeps a header written with blanks",
       "  [Settings]\t\r\n \t AutoRec \t= \t oui \t\r\n",
       {Write("Settings", "AutoRec", "non", "  [Settings]\t\r\nAutoRec=non\r\n"),
        Write("Settings", "BordBlanc", "oui",
              "  [Settings]\t\r\nAutoRec=non\r\nBordBlanc=oui\r\n")},
       kWineRewrites},
      {"blanks inside the brackets",
       "[ Settings\t]\r\nAutoRec=oui\r\n",
       {Read("Settings", "AutoRec", "non"), Has("Settings", "AutoRec")}},
      {"a vertical tab is a blank",
       "[Settings]\r\n\vAutoRec\v=\voui\v\r\n",
       {Read("Settings", "AutoRec", "non"), Has("Settings", "AutoRec")}},
      {"names given with spaces",
       "[Settings]\r\nAutoRec=oui\r\n",
       {Read(" Settings ", " AutoRec ", "non"), Has("  Settings", "AutoRec"),
        Write(" Settings ", " Compression ", "90",
              "[Settings]\r\nAutoRec=oui\r\nCompression=90\r\n"),
        Read("Settings", "Compression", "100")},
       "wine writes a key name's trailing spaces; Windows writes the name without its spaces"},
      {"a value written with blanks",
       "[Settings]\r\nA=1\r\n",
       {Write("Settings", "SaveFilePath", "  C:\\Captures  ",
              "[Settings]\r\nA=1\r\nSaveFilePath=  C:\\Captures  \r\n"),
        Read("Settings", "SaveFilePath", "")},
       "wine drops a written value's leading blanks; Windows writes the value as given"},
      {"a value written with quotes",
       "[Settings]\r\nA=1\r\n",
       {Write("Settings", "SaveFilePath", "\"C:\\My Captures\""),
        Read("Settings", "SaveFilePath", ""), Write("Settings", "SaveFilePath", "'x'"),
        Read("Settings", "SaveFilePath", "")}},

      // --- quotes
      {"double quotes",
       "[Settings]\r\nA=\"a b\"\r\nB=  \"  b  \"  \r\nC=\"\"\r\nD=\"'d'\"\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "B", "-"), Read("Settings", "C", "-"),
        Read("Settings", "D", "-")}},
      {"single quotes",
       "[Settings]\r\nA='a b'\r\nB=''\r\nC='\"c\"'\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "B", "-"), Read("Settings", "C", "-")}},
      {"a quote on one side only",
       "[Settings]\r\nA=\"abc\r\nB=abc\"\r\nC='abc\r\nD=abc'\r\nE=\"\r\nF='\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "B", "-"), Read("Settings", "C", "-"),
        Read("Settings", "D", "-"), Read("Settings", "E", "-"), Read("Settings", "F", "-")}},
      {"quotes that do not pair",
       "[Settings]\r\nA=\"abc'\r\nB='\"abc'\"\r\nC=a\"b\"\r\nD=\"a\"b\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "B", "-"), Read("Settings", "C", "-"),
        Read("Settings", "D", "-")}},

      // --- duplicates
      {"of two sections of one name, the first is read",
       "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n[settings]\r\nA=3\r\nC=4\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "C", "-"), Has("Settings", "C"),
        Has("Settings", "A")}},
      {"of two sections of one name, the first is written",
       "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n[settings]\r\nA=3\r\nC=4\r\n",
       {Write("Settings", "C", "5"), Write("Settings", "A", "9"), Read("Settings", "C", "-"),
        Read("Settings", "A", "-")}},
      {"of two sections of one name, both are erased",
       "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n[settings]\r\nA=3\r\nC=4\r\n",
       {Erase("Settings", "[Other]\r\nB=2\r\n"), Read("Settings", "A", "-", "-"),
        Read("Other", "B", "-", "2"), Erase("Settings", "[Other]\r\nB=2\r\n")},
       nullptr,
       "one erase call leaves the second section to be read; the section must be absent "
       "afterwards, so the Windows store erases until it is"},
      {"of two keys of one name, the first counts",
       "[Settings]\r\nK=1\r\nk=2\r\nK=3\r\n",
       {Read("Settings", "K", "-"), Has("Settings", "K"), Write("Settings", "k", "9"),
        Read("Settings", "K", "-")}},

      // --- missing and empty
      {"no file",
       std::nullopt,
       {Read("Settings", "AutoRec", "non"), Has("Settings", "Pixtrel"), Erase("Settings"),
        Write("Settings", "AutoRec", "oui"), Read("Settings", "AutoRec", "non")}},
      {"an empty file", "", {Has("Settings", "A"), Write("Settings", "A", "1")}},
      {"a missing section",
       "[Other]\r\nAutoRec=oui\r\n",
       {Read("Settings", "AutoRec", "non"), Has("Settings", "AutoRec"),
        Write("Settings", "AutoRec", "non"), Read("Other", "AutoRec", "-")}},
      {"a missing key",
       "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n",
       {Read("Settings", "B", "dflt"), Has("Settings", "B"), Write("Settings", "B", "3"),
        Read("Settings", "B", "dflt")}},
      {"a default loses its trailing spaces",
       "[Settings]\r\n",
       {Read("Settings", "A", "  d  "), Read("Settings", "A", "d\t"), Read("Settings", "A", "")}},
      {"an empty value is not the default",
       "[Settings]\r\nA=\r\nB=   \r\nC=\t\r\n",
       {Read("Settings", "A", "dflt"), Read("Settings", "B", "dflt"), Read("Settings", "C", "dflt"),
        Has("Settings", "A"), Write("Settings", "A", ""),
        Write("Settings", "B", "x", "[Settings]\r\nA=\r\nB=x\r\nC=\t\r\n")},
       kWineRewrites},

      // --- lines that are not key=value
      {"a line without = is no key",
       "[Settings]\r\nAutoRec\r\nA=1\r\n",
       {Read("Settings", "AutoRec", "non"), Has("Settings", "AutoRec"), Has("Settings", "A")}},
      {"a line without = does not hide the key line after it",
       "[Settings]\r\nAutoRec\r\nAutoRec=oui\r\n",
       {Read("Settings", "AutoRec", "non", "oui"), Has("Settings", "AutoRec")},
       "wine finds the line without = and answers the default, though it lists the key; "
       "by the rules only a line with = is a key line"},
      {"a line without = survives a write of its name",
       "[Settings]\r\nAutoRec\r\nA=1\r\n",
       {Write("Settings", "AutoRec", "oui", "[Settings]\r\nAutoRec\r\nA=1\r\nAutoRec=oui\r\n"),
        Read("Settings", "AutoRec", "non")},
       "wine turns the line without = into the key line; by the rules it is no key line and "
       "survives a write"},
      // An empty name closes the list of names, so the key test sees none after it.
      {"a key with an empty name",
       "[Settings]\r\n=x\r\nA=1\r\n",
       {Read("Settings", "", "-"), Has("Settings", "A"), Write("Settings", "B", "2")}},
      {"lines starting with ; are comments",
       "[Settings]\r\n;AutoRec=oui\r\n  ;Pixtrel=F5\r\nAutoRecFormat=jpg\r\n",
       {Read("Settings", "AutoRec", "non"), Read("Settings", ";AutoRec", "non", "non"),
        Has("Settings", "Pixtrel"), Has("Settings", "AutoRecFormat")},
       "wine reads a comment line as the key \";AutoRec\"; Windows answers the default"},
      {"lines starting with # are keys",
       "[Settings]\r\n#AutoRec=oui\r\nA=1\r\n",
       {Read("Settings", "#AutoRec", "non"), Has("Settings", "#autorec"),
        Read("Settings", "AutoRec", "non"), Write("Settings", "B", "2")}},
      {"a new key goes before the section's trailing comments",
       "; top\r\n[Settings]\r\n; note\r\nA=1\r\n; tail\r\n[Other]\r\nB=2\r\n",
       {Write("Settings", "A", "2"),
        Write("Settings", "C", "3",
              "; top\r\n[Settings]\r\n; note\r\nA=2\r\nC=3\r\n; tail\r\n[Other]\r\nB=2\r\n")},
       "wine appends after the section's last line; Windows puts a new key after its last key"},
      {"comments and blank lines stay where they are on a write",
       "; top\r\n\r\n[Settings]\r\n; note\r\nA=1\r\n\r\n; tail\r\n\r\n[Other]\r\nB=2\r\n",
       {Write("Settings", "A", "2",
              "; top\r\n\r\n[Settings]\r\n; note\r\nA=2\r\n\r\n; tail\r\n\r\n[Other]\r\nB=2\r\n"),
        Write("Settings", "C", "3",
              "; top\r\n\r\n[Settings]\r\n; note\r\nA=2\r\nC=3\r\n\r\n; tail\r\n\r\n[Other]\r\n"
              "B=2\r\n")},
       kWineRewrites},
      // Windows keeps the section's comment lines (its record); the rules erase every line.
      {"erasing takes the section's comments with it",
       "; top\r\n[Settings]\r\n; note\r\nA=1\r\n[Other]\r\nB=2\r\n",
       {Erase("Settings"), Read("Other", "B", "-")}},

      // --- NUL bytes: the API hands names and values over as C strings
      {"a NUL ends a value, a key name and a section name",
       std::string("[Settings]\r\nA=oui\0junk\r\nB=\"x\"\0\r\nC\0D=1\r\n\0\0E=2\r\nF=3\r\n"
                   "[Other\0x]\r\nG=4\r\n",
                   67),
       {Read("Settings", "A", "-"), Read("Settings", "B", "-"), Read("Settings", "C", "-"),
        Read("Settings", "E", "-"), Read("Settings", "F", "-"), Read("Other", "G", "-"),
        Has("Settings", "C"), Has("Settings", "F")}},

      // --- headers
      {"a header without its closing bracket",
       "[Settings\r\nAutoRec=oui\r\n",
       {Read("Settings", "AutoRec", "non", "oui"), Has("Settings", "AutoRec", "1")},
       "wine ignores a header without its closing bracket; Windows opens the section"},
      {"text after the closing bracket",
       "[Settings] ; the program's\r\nAutoRec=oui\r\n[Other]junk=1\r\nB=2\r\n",
       {Read("Settings", "AutoRec", "non"), Read("Other", "junk", "-"), Read("Other", "B", "-")}},
      {"a write keeps the text after the closing bracket",
       "[Settings] ; the program's\r\nAutoRec=oui\r\n",
       {Write("Settings", "AutoRec", "non", "[Settings] ; the program's\r\nAutoRec=non\r\n")},
       kWineRewrites},
      {"the name ends at the first closing bracket",
       "[Settings]x]\r\nAutoRec=oui\r\n",
       {Read("Settings", "AutoRec", "non", "oui")},
       "wine ends the name at the last ']'; Windows at the first"},
      {"keys before the first header belong to no section",
       "AutoRec=oui\r\n[Settings]\r\nA=1\r\n",
       {Read("Settings", "AutoRec", "non"), Read("", "AutoRec", "non", "non")},
       "wine reads the lines before the first header as the section \"\"; Windows does not"},

      // --- long values
      {"a value of 2046 characters",
       "[Settings]\r\nK=" + Ps(2046) + "\r\n",
       {Read("Settings", "K", "-")}},
      {"a value of 2047 characters",
       "[Settings]\r\nK=" + Ps(2047) + "\r\n",
       {Read("Settings", "K", "-")}},
      {"a value of 3000 characters",
       "[Settings]\r\nK=" + Ps(3000) + "\r\n",
       {Read("Settings", "K", "-")}},
      {"quoted values of 2046 and 3000 characters",
       "[Settings]\r\nA=\"" + Ps(2046) + "\"\r\nB=\"" + Ps(3000) + "\"\r\n",
       {Read("Settings", "A", "-"), Read("Settings", "B", "-")}},
      {"a quoted value of 2047 characters",
       "[Settings]\r\nK=\"" + Ps(2047) + "\"\r\n",
       {Read("Settings", "K", "-", Ps(2047))},
       "wine unquotes a value that fills the buffer one character short; by the rules the "
       "quotes go and 2047 characters come back"},
      {"a default of 3000 characters", "[Settings]\r\n", {Read("Settings", "K", Ps(3000))}},
      {"a value of 3000 characters written and read back",
       std::nullopt,
       {Write("Settings", "K", Ps(3000)), Read("Settings", "K", "-")}},

      // --- line ends
      {"a last line without line end",
       "[Settings]\r\nA=1",
       {Read("Settings", "A", "-"), Write("Settings", "B", "2")}},
      {"replacing a last line without line end",
       "[Settings]\r\nA=1",
       {Write("Settings", "A", "2")}},
      {"a new section after a last line without line end",
       "[Other]\r\nB=2",
       {Write("Settings", "A", "1")}},
      {"a last line ended by CR alone",
       "[Settings]\r\nA=1\r",
       {Read("Settings", "A", "-"), Write("Settings", "B", "2")}},
      {"an LF-only file is read like any other",
       "[Settings]\nAutoRec=oui\nA=1\n[Other]\nB=2\n",
       {Read("Settings", "AutoRec", "non"), Has("Settings", "A"), Read("Other", "B", "-")}},
      {"a write into an LF-only file",
       "[Settings]\nAutoRec=oui\n[Other]\nB=2\n",
       {Write("Settings", "AutoRec", "non", "[Settings]\nAutoRec=non\r\n[Other]\nB=2\n"),
        Write("Settings", "A", "1", "[Settings]\nAutoRec=non\r\nA=1\r\n[Other]\nB=2\n")},
       kWineRewrites},
      {"erasing from an LF-only file",
       "[Settings]\nA=1\n[Other]\nB=2\n",
       {Erase("Settings", "[Other]\nB=2\n"), Read("Other", "B", "-")},
       kWineRewrites},
      {"writes and an erase in a CR LF file",
       "[Other]\r\nB=2\r\n[Settings]\r\nA=1\r\n[Third]\r\nC=3\r\n",
       {Write("Settings", "A", "2"), Write("Settings", "D", "4"), Erase("Settings"),
        Read("Third", "C", "-")}},
      {"a value holding a line break",
       "[Settings]\r\n",
       {Write("Settings", "C", "x\r\nAutoRec=oui", "[Settings]\r\nC=x\r\n"),
        Read("Settings", "AutoRec", "non", "non")},
       nullptr,
       "Windows writes the line break too (its record), so the value's tail would become a line "
       "of its own, here a key"},

      // --- byte order mark
      {"a UTF-8 byte order mark hides the first header",
       kBom + "[Settings]\r\nAutoRec=oui\r\n[Other]\r\nB=2\r\n",
       {Read("Settings", "AutoRec", "non", "non"), Read("Other", "B", "-")},
       "wine skips a UTF-8 byte order mark; Windows reads it as text of the first line"},
      {"writing into a file holding only a byte order mark",
       kBom,
       {Write("Settings", "A", "1", kBom + "\r\n[Settings]\r\nA=1\r\n")},
       "wine skips a UTF-8 byte order mark; Windows reads it as a first line to end"},

      // --- the program's own round trips
      {"the six keys of a first Ok, read back as TakeCapture spells them",
       std::nullopt,
       {Write("Settings", "AutoRec", "non"), Write("Settings", "AutoRecFormat", "bmp"),
        Write("Settings", "SaveFilePath", "C:\\Mes documents\\Pixtrel"),
        Write("Settings", "Compression", "100"), Write("Settings", "Pixtrel", "F12"),
        Write("Settings", "BordBlanc", "oui"), Read("Settings", "autoRec", "oui"),
        Read("Settings", "autoRecFormat", "jpg"), Read("Settings", "SaveFilePath", ""),
        Has("Settings", "Pixtrel"), Write("Settings", "Compression", "75"),
        Read("Settings", "Compression", "100")}},
      {"erasing, then writing again",
       "[Settings]\r\nA=1\r\n[Other]\r\nB=2\r\n",
       {Erase("Settings"), Has("Settings", "A"), Write("Settings", "A", "2")}},
      {"erasing a missing section", "[Other]\r\nB=2\r\n", {Erase("Settings")}},
      {"erasing the last section, without line end",
       "[Other]\r\nB=2\r\n[Settings]\r\nA=1",
       {Erase("Settings"), Write("Settings", "A", "2")}},
      {"writing the value a hand-formatted line already holds",
       "[Settings]\n  AutoRec = oui  \n",
       {Write("Settings", "AutoRec", "oui"),
        Write("Settings", "AutoRec", "non", "[Settings]\nAutoRec=non\r\n")},
       kWineRewrites},
  };
}

// The API on a file of its own per row: wine keeps recently used files in memory and could
// otherwise miss that a row wrote new bytes within the same clock tick.
class ApiFile {
 public:
  explicit ApiFile(std::size_t row) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    path_ = std::string(folder, length) + "pixtrel-profile-" +
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(row) + ".cfg";
  }
  ~ApiFile() { DeleteFileA(path_.c_str()); }

  void Put(const Answer& bytes) {
    DeleteFileA(path_.c_str());
    if (bytes)
      std::ofstream(path_, std::ios::binary) << *bytes;
  }

  Answer Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    if (!in)
      return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  Answer Apply(const Step& step) {
    const char* file = path_.c_str();
    switch (step.op) {
      case Op::kRead: {
        char value[kMaxValueBytes + 1];
        const DWORD n = GetPrivateProfileStringA(step.section.c_str(), step.key.c_str(),
                                                 step.text.c_str(), value, sizeof value, file);
        return std::string(value, n);
      }
      case Op::kHas: {
        std::vector<char> names(kKeyListBytes);
        const DWORD n = GetPrivateProfileStringA(step.section.c_str(), nullptr, nullptr,
                                                 names.data(), names.size(), file);
        std::string_view rest(names.data(), n);
        while (!rest.empty()) {
          const std::string_view name = rest.substr(0, rest.find('\0'));
          if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.data(), name.size(),
                             step.key.data(), step.key.size()) == CSTR_EQUAL) {
            return "1";
          }
          rest.remove_prefix(std::min(rest.size(), name.size() + 1));
        }
        return "0";
      }
      case Op::kWrite:
        WritePrivateProfileStringA(step.section.c_str(), step.key.c_str(), step.text.c_str(), file);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
        return Bytes();
      case Op::kErase:
        WritePrivateProfileStringA(step.section.c_str(), nullptr, nullptr, file);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
        return Bytes();
    }
    return std::nullopt;
  }

 private:
  std::string path_;
};

// The engine as SettingsFile drives it: an erase that changes nothing writes no file.
Answer Apply(Answer& file, const Step& step) {
  const std::string text = file.value_or("");
  switch (step.op) {
    case Op::kRead:
      return settings_text::ReadValue(text, step.section, step.key, step.text);
    case Op::kHas:
      return settings_text::ListsKey(text, step.section, step.key) ? "1" : "0";
    case Op::kWrite:
      file = settings_text::WriteValue(text, step.section, step.key, step.text);
      return file;
    case Op::kErase:
      if (file) {
        std::string erased = settings_text::EraseSection(text, step.section);
        if (erased != text)
          file = std::move(erased);
      }
      return file;
  }
  return std::nullopt;
}

// Readable bytes: line ends and blanks spelled out, long runs of one character counted.
std::string Show(const Answer& answer) {
  if (!answer)
    return "<no file>";
  std::ostringstream out;
  const std::string& s = *answer;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t run = 1;
    while (i + run < s.size() && s[i + run] == s[i])
      ++run;
    if (run > 8) {
      out << '{' << s[i] << " x" << run << '}';
      i += run;
      continue;
    }
    const unsigned char c = s[i++];
    switch (c) {
      case '\r':
        out << "\\r";
        break;
      case '\n':
        out << "\\n";
        break;
      case '\t':
        out << "\\t";
        break;
      case '\v':
        out << "\\v";
        break;
      case '\\':
        out << "\\\\";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out << hex;
        } else {
          out << static_cast<char>(c);
        }
    }
  }
  return out.str();
}

std::string Describe(const Step& step) {
  switch (step.op) {
    case Op::kRead:
      return "read [" + step.section + "] " + step.key + " default " + Show(step.text);
    case Op::kHas:
      return "key test [" + step.section + "] " + step.key;
    case Op::kWrite:
      return "write [" + step.section + "] " + step.key + "=" + Show(step.text);
    case Op::kErase:
      return "erase [" + step.section + "]";
  }
  return {};
}

TEST(ProfileDifferential, TheEngineAnswersAsWindowsDoes) {
  const std::vector<Row> rows = Rows();
  int operations = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    SCOPED_TRACE("row " + std::to_string(r) + ": " + row.name);
    ApiFile api(r);
    api.Put(row.file);
    Answer engine_file = row.file;
    const bool marked = row.wine_differs || row.kept;
    bool wine_strays = false;
    for (const Step& step : row.steps) {
      SCOPED_TRACE(Describe(step));
      ASSERT_TRUE(marked || !step.expect) << "an expected answer on an unmarked row";
      const Answer from_wine = api.Apply(step);
      const Answer from_engine = Apply(engine_file, step);
      const Answer& windows = step.expect ? step.expect : from_wine;
      EXPECT_EQ(Show(from_engine), Show(windows)) << "wine: " << Show(from_wine);
      wine_strays = wine_strays || from_wine != windows;
      ++operations;
    }
    if (marked) {
      EXPECT_TRUE(wine_strays) << "wine now gives the expected answers here: unmark the row";
    }
  }
  std::printf("%zu rows, %d operations compared\n", rows.size(), operations);
}

}  // namespace
}  // namespace pixtrel
