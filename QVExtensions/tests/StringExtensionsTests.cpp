#include <gtest/gtest.h>

#include <unicode/uchar.h>

#include <random>
#include <string>

#include "QVExtensions/StringExtensions.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/Characters.hpp"

namespace QVExtensions {
namespace {

TEST(StringExtensions, TrimmedRemovesHorizontalWhiteSpaceOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {" \tName \n", "Name \n"},
      {"\xC2\xA0\xE3\x80\x80Name\xE2\x80\x83", "Name"},  // no-break, ideographic and em spaces
      {"\nName", "\nName"},
      {"   ", ""},
      {"", ""},
      {"a b", "a b"},
      {" \xC3\xA9 ", "\xC3\xA9"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(trimmed(text), expected) << text;
}

TEST(StringExtensions, PadNumbersPadsEachDigitRun) {
  struct Case {
    const char* text;
    std::int64_t width;
    const char* pad;
    const char* expected;
  };
  const Case cases[] = {
      {"Shot7", 3, "0", "Shot007"},
      {"Shot1234", 3, "0", "Shot1234"},
      {"7-8", 2, "0", "07-08"},
      {"a1b22", 3, "0", "a001b022"},
      {"Shot7", 0, "0", "Shot7"},
      {"Shot7", -4, "0", "Shot7"},
      {"no digits", 5, "0", "no digits"},
      {"", 3, "0", ""},
      {"7", 3, "ab", "abab7"},                                    // the pad repeats whole
      {"\xF0\x9F\x98\x80" "5", 3, "0", "\xF0\x9F\x98\x80" "005"},  // emoji before the digits
      {"e\xCC\x81" "5", 2, "0", "e\xCC\x81" "05"},                  // combined accent
      {"a\r\n5", 2, "0", "a\r\n05"},                               // CR LF pair
      {"\xD9\xA1\xD9\xA2", 4, "0", "00\xD9\xA1\xD9\xA2"},          // Arabic-Indic digits are digits
      {"x\xD9\xA1" "2", 4, "0", "x00\xD9\xA1" "2"},                 // one run across scripts
  };
  for (const Case& c : cases) {
    EXPECT_EQ(paddingNumbers(c.text, c.width, c.pad), c.expected) << c.text << " / " << c.width;
    std::string inPlace = c.text;
    padNumbers(inPlace, c.width, c.pad);
    EXPECT_EQ(inPlace, c.expected) << c.text;
  }
}

TEST(StringExtensions, PadWidthIsBounded) {
  const std::string padded = paddingNumbers("a1", std::numeric_limits<std::int64_t>::max(), "0");
  EXPECT_EQ(padded, "a" + std::string(maximumPadWidth - 1, '0') + "1");
}

TEST(StringExtensions, RegexConveniences) {
  struct Case {
    const char* text;
    const char* pattern;
    bool matches;
    std::optional<std::string> firstText;
  };
  const Case cases[] = {
      {"File Name", "^(?:[\\w \\-]*[Ff]ile ?|[\\w \\-]*[Ii]mage ?)?[Nn]ame$", true, "File Name"},
      {"Image name", "^(?:[\\w \\-]*[Ff]ile ?|[\\w \\-]*[Ii]mage ?)?[Nn]ame$", true, "Image name"},
      {"Names", "^(?:[\\w \\-]*[Ff]ile ?|[\\w \\-]*[Ii]mage ?)?[Nn]ame$", false, std::nullopt},
      {"Shot 42 of 50", "(\\d+)", true, "42"},
      {"Shot 42 of 50", "(\\d+) of (\\d+)", true, "42 of 50"},
      {"Shot 42", "\\d+", true, "42"},
      {"abc", "(", false, std::nullopt},
      {"abc", "x", false, std::nullopt},
      {"abc", "(x)?c", true, std::nullopt},  // the one group took no part
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchesRegex(c.text, c.pattern), c.matches) << c.pattern;
    EXPECT_EQ(firstMatchText(c.text, c.pattern), c.firstText) << c.pattern;
  }
}

TEST(StringExtensions, SmallTextOperations) {
  EXPECT_FALSE(isNotEmpty(""));
  EXPECT_TRUE(isNotEmpty(" "));
  EXPECT_EQ(removingLineFeeds("a\r\nb\nc\r"), "a\rbc\r");
  EXPECT_EQ(firstUnicodeScalar(""), std::nullopt);
  EXPECT_EQ(firstUnicodeScalar("\xC3\xA9t\xC3\xA9"), U'\u00E9');
  EXPECT_EQ(firstUnicodeScalar("\xF0\x9F\x98\x80"), U'\U0001F600');
}

TEST(StringExtensions, SplittingCamelCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"A", "A"},
      {"aB", "a B"},
      {"camelCaseText", "camel Case Text"},
      {"someURLText", "some URLText"},
      {"ABc", "A Bc"},
      {"\xC3\xA9t\xC3\xA9\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9 \xC3\x89t\xC3\xA9"},
      {"e\xCC\x81" "A", "e\xCC\x81 A"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(splittingCamelCase(text), expected) << text;
}

// The rule as stated, measuring the whole result at every scalar.
std::string splittingCamelCaseByRule(std::string_view text) {
  if (text.empty()) return std::string(text);
  const auto isUpper = [](char32_t c) {
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_UPPERCASE_LETTER || type == U_TITLECASE_LETTER;
  };
  const std::u32string scalars = platform::toScalars(text);
  std::string result = platform::toUTF8(scalars.substr(0, 1));
  for (std::size_t k = 1; k < scalars.size(); ++k) {
    if (isUpper(scalars[k])) {
      const std::string last = result.substr(platform::offsetBeforeLastCharacters(result, 1));
      if (!isUpper(*firstUnicodeScalar(last)) || platform::characterCount(result) == 1) result.push_back(' ');
    }
    result += platform::toUTF8(scalars.substr(k, 1));
  }
  return result;
}

TEST(StringExtensions, SplittingCamelCaseFollowsTheRuleOnRandomText) {
  // Pieces that join characters in every way: combining marks, a prepended sign, regional
  // indicators, emoji with joiners, Hangul jamo, CR LF, and upper-case and title-case letters.
  const char* pieces[] = {"a", "B", "C", "\xC3\x89", "\xC3\xA9", "\xCC\x81", "\xD8\x80", "\r", "\n", " ",
                          "\xF0\x9F\x87\xBA", "\xE2\x80\x8D", "\xF0\x9F\x91\xA9", "\xE1\x84\x80",
                          "\xE1\x85\xA1", "\xC7\x85", "\xCE\xA3", "\xE0\xA4\x95", "\xE0\xA5\x8D"};
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> length(1, 14);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += pieces[piece(random)];
    ASSERT_EQ(splittingCamelCase(text), splittingCamelCaseByRule(text)) << text;
  }
  const std::string capitals(200'000, 'A');
  EXPECT_EQ(splittingCamelCase(capitals), "A " + capitals.substr(1));
}

TEST(StringExtensions, IncrementingTrailingNumber) {
  struct Case {
    const char* text;
    const char* separator;
    const char* format;
    std::int64_t start;
    std::int64_t step;
    const char* expected;
  };
  const Case cases[] = {
      {"Report", " ", "%d", 2, 1, "Report 2"},
      {"Report 2", " ", "%d", 2, 1, "Report 3"},
      {"Report 9", " ", "%03d", 2, 5, "Report 014"},
      {"Report-2", "-", "%d", 1, 1, "Report-3"},
      {"Report2", " ", "%d", 2, 1, "Report2 2"},
      {"a.1", ".", "%d", 1, 1, "a.2"},                        // a dot is a dot, not any character
      {"ax1", ".", "%d", 1, 1, "ax1.1"},
      {"v(1", "(", "%d", 1, 1, "v(2"},                       // an unbalanced bracket is no pattern error
      {"Take 99999999999999999999", " ", "%d", 2, 1, "Take 99999999999999999999 2"},
      {"Take 9223372036854775807", " ", "%d", 2, 1, "Take 9223372036854775807 2"},
      {"Take \xD9\xA3", " ", "%d", 2, 1, "Take \xD9\xA3 2"},  // not read as an integer
      {"Copy 1", " ", "#%x%%", 2, 15, "Copy #10%"},
      {"Copy", " ", "%s", 2, 1, "Copy %s"},                   // no text argument to read
  };
  for (const Case& c : cases) {
    EXPECT_EQ(incrementingTrailingNumber(c.text, c.separator, c.format, c.start, c.step), c.expected) << c.text;
    std::string inPlace = c.text;
    incrementTrailingNumber(inPlace, c.separator, c.format, c.start, c.step);
    EXPECT_EQ(inPlace, c.expected) << c.text;
  }
}

TEST(StringExtensions, FormatIntegerBoundsItsFields) {
  EXPECT_EQ(formatInteger("%1000000000d", 7).size(), 255u);
  EXPECT_EQ(formatInteger("%5.3d|%-4d|%+d|%ld", 7), "  007|7   |+7|7");
  EXPECT_EQ(formatInteger("100%", 1), "100%");
}

}  // namespace
}  // namespace QVExtensions
