#include <gtest/gtest.h>

#include <optional>

#include "core/error.h"
#include "core/int_text.h"
#include "core/key_names.h"

namespace pixtrel {
namespace {

struct IntCase {
  const char* text;
  std::optional<std::int32_t> value;  // nullopt: not an integer
};

TEST(StrToInt, ReadsWhatTheRuleAcceptsAndRejectsTheRest) {
  const IntCase cases[] = {
      {"0", 0},
      {"100", 100},
      {"75", 75},
      {"007", 7},
      {"   42", 42},
      {"+5", 5},
      {"-5", -5},
      {"  -12", -12},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"000000000000000000001", 1},
      {"$10", 16},
      {"x1F", 31},
      {"X1f", 31},
      {"0x64", 100},
      {"0XfF", 255},
      {"-$10", -16},
      {"+0x10", 16},
      {"$FFFFFFFF", -1},
      {"$7FFFFFFF", 2147483647},
      {"-$80000000", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      {"$123456789", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"-", std::nullopt},
      {"+", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"abc", std::nullopt},
      {"12 ", std::nullopt},
      {"1.5", std::nullopt},
      {"1e3", std::nullopt},
      {"\t5", std::nullopt},
      {"- 5", std::nullopt},
      {"--5", std::nullopt},
      {"$G", std::nullopt},
      {"5-", std::nullopt},
      {"0x-1", std::nullopt},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(std::string("text '") + c.text + "'");
    if (c.value) {
      EXPECT_EQ(StrToInt(c.text), *c.value);
    } else {
      try {
        StrToInt(c.text);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.Message(),
                  std::string("'") + c.text + "' n'est pas une valeur entière correcte");
      }
    }
  }
}

TEST(ErrorBoxText, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Impossible d'ouvrir le Presse-papiers", "Impossible d'ouvrir le Presse-papiers."},
      {"Erreur JPEG #42", "Erreur JPEG #42."},
      {"ends with colon:", "ends with colon:."},
      {"question?", "question?."},
      {"already.", "already."},
      {"bang!", "bang!"},
      {"comma,", "comma,"},
      {"paren)", "paren)"},
      {"space ", "space "},
      {"slash/", "slash/."},
      {"", ""},
      {"entière", "entière."},
  };
  for (const auto& [message, shown] : cases) {
    EXPECT_EQ(ErrorBoxText(message), shown) << message;
  }
}

TEST(FormatText, FillsEachPlaceholderInOrder) {
  EXPECT_EQ(FormatText("Impossible de créer le fichier \"%s\". %s", {"/a b/c.bmp", "Nope"}),
            "Impossible de créer le fichier \"/a b/c.bmp\". Nope");
  EXPECT_EQ(FormatText("%s%s", {"%s", "x"}), "%sx");
  EXPECT_EQ(FormatText("100 %", {}), "100 %");
}

TEST(HotkeyCodeFor, MatchesTableNamesExactlyAndFallsBackToF12) {
  for (const KeyName& key : kKeyNames) {
    EXPECT_EQ(HotkeyCodeFor(key.name), key.code) << key.name;
  }
  EXPECT_EQ(HotkeyCodeFor("Echap"), 0x1B);
  EXPECT_EQ(HotkeyCodeFor("Mouse.M"), 0x04);
  for (const char* other : {"", "f5", "echap", "F12 ", "Home", "F13", "Impr.ecr"}) {
    EXPECT_EQ(HotkeyCodeFor(other), 0x7B) << other;
  }
  EXPECT_EQ(kKeyNames.front().name, "Echap");
  EXPECT_EQ(kKeyNames.back().name, "Mouse.M");
}

}  // namespace
}  // namespace pixtrel
