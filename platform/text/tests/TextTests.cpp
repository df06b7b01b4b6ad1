#include <gtest/gtest.h>

#include "platform/core/Error.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/Characters.hpp"
#include "platform/text/Locale.hpp"

namespace platform {
namespace {

TEST(Locale, PosixNamesMeanRootAndPinsNest) {
  const std::pair<const char*, const char*> names[] = {
      {"C", ""}, {"POSIX", ""}, {"C.UTF-8", ""}, {"", ""}, {"en_US.UTF-8", "en_US"}, {"de_DE@euro", "de_DE"}, {"tr", "tr"},
  };
  for (const auto& [name, identifier] : names) EXPECT_EQ(Locale(name).identifier(), identifier) << name;
  EXPECT_EQ(Locale("tr_TR.UTF-8").language(), "tr");

  const Locale before = Locale::current();
  {
    Locale::Pin outer{Locale("de")};
    {
      Locale::Pin inner{Locale("tr")};
      EXPECT_EQ(Locale::current().identifier(), "tr");
    }
    EXPECT_EQ(Locale::current().identifier(), "de");
  }
  EXPECT_EQ(Locale::current(), before);
}

TEST(CaseMapping, FullMappingsAndCapitalisation) {
  struct Case {
    const char* locale;
    const char* text;
    const char* upper;
    const char* lower;
    const char* capital;
  };
  const Case cases[] = {
      {"", "jane DOE", "JANE DOE", "jane doe", "Jane Doe"},
      {"", "don't stop", "DON'T STOP", "don't stop", "Don't Stop"},
      {"", "stra\xC3\x9F" "e", "STRASSE", "stra\xC3\x9F" "e", "Stra\xC3\x9F" "e"},
      {"", "1st take-two", "1ST TAKE-TWO", "1st take-two", "1St Take-Two"},
      {"", "o.k. x:y", "O.K. X:Y", "o.k. x:y", "O.k. X:y"},
      {"", "\xC3\xA9LAN \xC3\x89T\xC3\x89", "\xC3\x89LAN \xC3\x89T\xC3\x89", "\xC3\xA9lan \xC3\xA9t\xC3\xA9",
       "\xC3\x89lan \xC3\x89t\xC3\xA9"},
      {"", "\xC7\x86" "ungla", "\xC7\x84UNGLA", "\xC7\x86ungla", "\xC7\x85ungla"},  // dž has a title form
      {"", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82",
       "\xCE\x9F\xCE\xB4\xCE\xBF\xCF\x82"},  // final sigma
      {"tr", "istanbul", "\xC4\xB0STANBUL", "istanbul", "\xC4\xB0stanbul"},
      {"tr_TR", "IRMAK", "IRMAK", "\xC4\xB1rmak", "Irmak"},
      {"C", "istanbul", "ISTANBUL", "istanbul", "Istanbul"},
      {"nl", "ijssel", "IJSSEL", "ijssel", "IJssel"},  // the same with or without other letters
      {"nl_NL", "ijssel \xC3\xA9", "IJSSEL \xC3\x89", "ijssel \xC3\xA9", "IJssel \xC3\x89"},
  };
  for (const Case& c : cases) {
    const Locale locale(c.locale);
    EXPECT_EQ(uppercased(c.text, locale), c.upper) << c.locale << " " << c.text;
    EXPECT_EQ(lowercased(c.text, locale), c.lower) << c.locale << " " << c.text;
    EXPECT_EQ(capitalized(c.text, locale), c.capital) << c.locale << " " << c.text;
  }
}

TEST(Characters, CountsAndCutsGraphemeClusters) {
  struct Case {
    const char* text;
    std::size_t count;
    std::size_t afterTwo;
    std::size_t beforeLastTwo;
  };
  const Case cases[] = {
      {"abcd", 4, 2, 2},
      {"a\r\nbc", 4, 3, 3},
      {"\r\n\r\n", 2, 4, 0},
      {"e\xCC\x81xyz", 4, 4, 4},
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA" "a", 2, 9, 0},  // a flag is one character
      {"a", 1, 1, 0},
      {"M\xC3\xBCller", 6, 3, 5},
      {"\xC3\xA9\r\n\xC3\xA9", 3, 4, 2},
      {"\xC3\xA9\xCC\x81\xC3\xA9", 2, 6, 0},  // a combining accent joins the Latin-1 letter
      {"\xC9\x90\xC9\x91x", 3, 4, 2},
      {"", 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(characterCount(c.text), c.count) << c.text;
    EXPECT_EQ(offsetAfterCharacters(c.text, 2), c.afterTwo) << c.text;
    EXPECT_EQ(offsetBeforeLastCharacters(c.text, 2), c.beforeLastTwo) << c.text;
  }
}

}  // namespace
}  // namespace platform
