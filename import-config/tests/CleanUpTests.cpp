#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/ProcessName.hpp"
#include "platform/text/Locale.hpp"

namespace Ravelin {
namespace {

TEST(CleanUp, ReplacementOverCharacterSets) {
  const platform::CharacterSet& white = platform::CharacterSet::whitespacesAndNewlines();
  struct Case {
    TextReplacement replacement;
    bool illegal;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {TextReplacement::underscore, false, "a  b", "a__b"},
      {TextReplacement::underscore, false, " a", "_a"},
      {TextReplacement::underscore, false, "a\r\nb\tc", "a__b_c"},
      {TextReplacement::underscore, false, "a\xE3\x80\x80" "b\xE2\x80\xA8" "c", "a_b_c"},
      {TextReplacement::remove, false, "a b", "ab"},
      {TextReplacement::none, false, "a b", "a b"},
      {TextReplacement::hyphen, true, "12:30/shoot.b", "12-30-shoot-b"},
      {TextReplacement::hyphen, true, "a\\b", "a-b"},
      {TextReplacement::remove, true, "..a..", "a"},
      {TextReplacement::underscore, true, "\xC3\xA9t\xC3\xA9:\xF0\x9F\x98\x80", "\xC3\xA9t\xC3\xA9_\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    const platform::CharacterSet& set = c.illegal ? illegalFilenameCharacters() : white;
    EXPECT_EQ(replacing(c.replacement, c.text, set), c.expected) << c.text;
    std::string inPlace = c.text;
    replace(c.replacement, inPlace, set);
    EXPECT_EQ(inPlace, c.expected) << c.text;
  }
  EXPECT_EQ(illegalFilenameCharacters(), (platform::CharacterSet{U':', U'/', U'\\', U'.'}));
}

// In place, ASCII members are overwritten or removed and the rest of a text from its first other byte goes the
// general way: random texts must come out as the general way makes them.
TEST(CleanUp, ReplacementInPlaceMatchesTheGeneralWay) {
  const char* pieces[] = {"a", " ", ".", ":", "/", "\\", "_", "\t", "\xC2\xA0", "\xE3\x80\x80", "\xC3\xA9",
                          "\xFF", "\xE2\x80", "\xF0\x9F\x98\x80", "\xEF\xBC\x8E"};
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int k = static_cast<int>(random() % 8); k > 0; --k) text += pieces[random() % std::size(pieces)];
    for (TextReplacement value :
         {TextReplacement::none, TextReplacement::underscore, TextReplacement::hyphen, TextReplacement::remove}) {
      for (const platform::CharacterSet* set : {&platform::CharacterSet::whitespacesAndNewlines(), &illegalFilenameCharacters()}) {
        std::string inPlace = text;
        replace(value, inPlace, *set);
        ASSERT_EQ(inPlace, replacing(value, text, *set)) << text;
      }
    }
  }
}

TEST(CleanUp, TransformationsFollowTheCurrentLocale) {
  struct Case {
    const char* locale;
    TextTransformation transformation;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"", TextTransformation::none, "jane DOE", "jane DOE"},
      {"", TextTransformation::capitalize, "jane DOE", "Jane Doe"},
      {"", TextTransformation::capitalize, "o'neil mcdonald", "O'neil Mcdonald"},
      {"", TextTransformation::uppercase, "stra\xC3\x9F" "e", "STRASSE"},
      {"", TextTransformation::lowercase, "\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"},
      {"tr_TR", TextTransformation::uppercase, "istanbul", "\xC4\xB0STANBUL"},
      {"en_US", TextTransformation::uppercase, "istanbul", "ISTANBUL"},
  };
  for (const Case& c : cases) {
    platform::Locale::Pin pin{platform::Locale(c.locale)};
    std::string text = c.text;
    transform(c.transformation, text);
    EXPECT_EQ(text, c.expected) << c.locale << " " << c.text;
  }
}

TEST(CleanUp, StepsRunInOrder) {
  struct Case {
    const char* what;
    CSVExportConfig config;
    const char* name;
    const char* expected;
  };
  auto with = [](auto change) {
    CSVExportConfig config;
    change(config);
    return config;
  };
  constexpr float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {"defaults", {}, "Smith, J. 1", "Smith, J_ 1"},
      {"pad then trim start", with([](auto& c) { c.padDigits = 3, c.trimStart = 1; }), "7a", "07a"},
      {"trim past the start", with([](auto& c) { c.trimStart = 5; }), "abc", ""},
      {"trim end", with([](auto& c) { c.trimEnd = 2; }), "abc", "a"},
      {"trim both past", with([](auto& c) { c.trimStart = 2, c.trimEnd = 2; }), "abc", ""},
      {"trims count characters", with([](auto& c) { c.trimStart = 1, c.trimEnd = 1; }),
       "e\xCC\x81" "x\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", "x"},
      {"truncated width", with([](auto& c) { c.padDigits = 2.9f; }), "7", "07"},
      {"negative width", with([](auto& c) { c.padDigits = -3; }), "7", "7"},
      {"not a number", with([](auto& c) { c.padDigits = std::numeric_limits<float>::quiet_NaN(); }), "7", "7"},
      {"infinite", with([](auto& c) { c.padDigits = inf; }), "7", "7"},
      {"minus infinite", with([](auto& c) { c.padDigits = -inf; }), "7", "7"},
      {"negative trims", with([](auto& c) { c.trimStart = -2, c.trimEnd = std::numeric_limits<std::int64_t>::min(); }),
       "abc", "abc"},
      {"huge trims", with([](auto& c) { c.trimStart = std::numeric_limits<std::int64_t>::max(); }), "abc", ""},
      {"every step", with([](auto& c) {
         c.replaceWhiteSpace = TextReplacement::hyphen, c.replaceIllegalChars = TextReplacement::remove,
         c.filenameTransformation = TextTransformation::capitalize, c.padDigits = 3, c.trimStart = 1, c.trimEnd = 1;
       }),
       "xjane doe/shot.7 ", "jane-Doeshot007"},
      {"whitespace before illegal", with([](auto& c) { c.replaceWhiteSpace = TextReplacement::remove; }), "a . b",
       "a_b"},
      {"case after replacement", with([](auto& c) {
         c.replaceIllegalChars = TextReplacement::hyphen, c.filenameTransformation = TextTransformation::capitalize;
       }),
       "jane.doe", "Jane-Doe"},
  };
  platform::Locale::Pin pin{platform::Locale::root()};
  for (const Case& c : cases) {
    EXPECT_EQ(c.config.cleaned(c.name), c.expected) << c.what;
    std::string inPlace = c.name;
    c.config.clean(inPlace);
    EXPECT_EQ(inPlace, c.expected) << c.what;
  }
}

TEST(CleanUp, PadWidthIsBounded) {
  const std::pair<float, std::int64_t> cases[] = {
      {0, 0}, {2.9f, 2}, {0.5f, 0}, {-1, 0}, {255, 255}, {1e30f, 255}, {std::numeric_limits<float>::infinity(), 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const auto& [padDigits, width] : cases) {
    CSVExportConfig config;
    config.padDigits = padDigits;
    EXPECT_EQ(config.padWidth(), width) << padDigits;
  }
  CSVExportConfig huge;
  huge.padDigits = 1e30f;
  EXPECT_EQ(huge.cleaned("a1").size(), 1u + 255u);
}

TEST(CleanUp, ListFormKeepsOrderAndDuplicates) {
  CSVExportConfig config;
  config.filenameTransformation = TextTransformation::uppercase;
  EXPECT_TRUE(config.cleanedNames({}).empty());
  EXPECT_EQ(config.cleanedNames({"b", "a.", "b"}), (std::vector<std::string>{"B", "A_", "B"}));
}

// The importers' order: white-space trimming (an import setting) and the trims come first, padding last.
TEST(CleanUp, ImporterNameProcessing) {
  struct Case {
    const char* what;
    bool trimWhitespace;
    void (*change)(CSVExportConfig&);
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"trim then pad", true, [](auto& c) { c.padDigits = 3, c.trimStart = 1; }, "7a", "a"},
      {"pad after trims", true, [](auto& c) { c.padDigits = 3, c.trimEnd = 1; }, "a7bc", "a007b"},
      {"white space trimmed", true, [](auto& c) { c.replaceWhiteSpace = TextReplacement::underscore; }, " Jane Doe ",
       "Jane_Doe"},
      {"white space kept", false, [](auto& c) { c.replaceWhiteSpace = TextReplacement::underscore; }, " Jane Doe ",
       "_Jane_Doe_"},
      {"newlines are not trimmed", true, [](auto& c) { c.replaceWhiteSpace = TextReplacement::underscore; },
       " Jane Doe \n", "Jane_Doe__"},
      {"case before replacement", true, [](auto& c) {
         c.filenameTransformation = TextTransformation::uppercase, c.replaceIllegalChars = TextReplacement::remove;
       }, "a.b/c:d\\e", "ABCDE"},
      {"bad numbers count as none", true, [](auto& c) {
         c.trimStart = -4, c.trimEnd = std::numeric_limits<std::int64_t>::min();
         c.padDigits = std::numeric_limits<float>::quiet_NaN();
       }, "a7", "a7"},
      {"infinite width", true, [](auto& c) { c.padDigits = std::numeric_limits<float>::infinity(); }, "a7", "a7"},
  };
  platform::Locale::Pin pin{platform::Locale::root()};
  for (const Case& c : cases) {
    CSVImportConfig importConfig;
    importConfig.trimWhitespace = c.trimWhitespace;
    CSVExportConfig exportConfig;
    c.change(exportConfig);
    EXPECT_EQ(processName(c.name, importConfig, exportConfig), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace Ravelin
