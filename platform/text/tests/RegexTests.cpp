#include <gtest/gtest.h>

#include <thread>

#include "platform/core/Error.hpp"
#include "platform/text/Regex.hpp"

namespace platform {
namespace {

TEST(Regex, RangesAreUTF16CodeUnits) {
  struct Case {
    const char* pattern;
    const char* text;
    std::vector<Regex::Range> wholeMatches;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"\\d+", "a1b22", {{1, 1}, {3, 2}}, {"1", "22"}},
      {"\\d+", "\xF0\x9F\x98\x80" "7", {{2, 1}}, {"7"}},             // an emoji is two units
      {"\\d+", "e\xCC\x81" "12", {{2, 2}}, {"12"}},                  // a combining accent is one
      {"\\{([\\w\\s]+)\\}", "\xC3\xA9{Filename}_{Index}", {{1, 10}, {12, 7}}, {"{Filename}", "{Index}"}},
      {"x", "abc", {}, {}},
      {"(?i)NAME", "File name", {{5, 4}}, {"name"}},
      {"x*", "ab", {{0, 0}, {1, 0}, {2, 0}}, {"", "", ""}},  // empty matches advance by one
  };
  for (const Case& c : cases) {
    const Regex regex(c.pattern);
    const auto matches = regex.matches(c.text);
    ASSERT_EQ(matches.size(), c.wholeMatches.size()) << c.pattern << " in " << c.text;
    for (std::size_t i = 0; i < matches.size(); ++i) {
      EXPECT_EQ(matches[i].range(), c.wholeMatches[i]) << c.pattern;
      EXPECT_EQ(matches[i].string(0, c.text), c.texts[i]) << c.pattern;
    }
    const auto first = regex.firstMatch(c.text);
    EXPECT_EQ(first.has_value(), !c.wholeMatches.empty());
    if (first) {
      EXPECT_EQ(first->range(), c.wholeMatches.front());
    }
  }
}

TEST(Regex, GroupsThatDoNotExistOrDoNotMapAreAbsent) {
  const Regex regex("(?<word>[a-z]+)(\\d)?");
  EXPECT_EQ(regex.numberOfCaptureGroups(), 2u);
  const std::string text = "\xF0\x9F\x98\x80" "abc";
  const auto match = regex.firstMatch(text);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->numberOfRanges(), 3u);
  EXPECT_EQ(match->string(1, text), "abc");
  EXPECT_EQ(match->string("word", text), "abc");
  EXPECT_EQ(match->string(2, text), std::nullopt);        // took no part
  EXPECT_EQ(match->string(3, text), std::nullopt);        // no such group
  EXPECT_EQ(match->string(99, text), std::nullopt);
  EXPECT_EQ(match->string("missing", text), std::nullopt);
  EXPECT_EQ(match->string(1, "ab"), std::nullopt);         // the range ends past a shorter text
  EXPECT_EQ(match->string(1, "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"), std::nullopt);  // ends inside a pair
}

TEST(Regex, SubstringForUTF16Range) {
  struct Case {
    std::size_t location, length;
    std::optional<std::string> expected;
  };
  const std::string text = "a\xF0\x9F\x98\x80" "b\xC3\xA9";  // a, emoji (2 units), b, é
  const Case cases[] = {
      {0, 1, "a"}, {1, 2, "\xF0\x9F\x98\x80"}, {3, 2, "b\xC3\xA9"}, {5, 0, ""},
      {2, 1, std::nullopt}, {1, 1, std::nullopt}, {4, 2, std::nullopt}, {6, 0, std::nullopt},
      {1, SIZE_MAX, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto part = substringForUTF16Range(text, c.location, c.length);
    EXPECT_EQ(part ? std::optional<std::string>(*part) : std::nullopt, c.expected) << c.location << "+" << c.length;
  }
}

TEST(Regex, OptionsAndInvalidPatterns) {
  EXPECT_TRUE(Regex("name", Regex::Options::caseInsensitive).matchesSomewhere("File NAME"));
  EXPECT_FALSE(Regex("name").matchesSomewhere("File NAME"));
  EXPECT_TRUE(Regex("a.c", Regex::Options::ignoreMetacharacters).matchesSomewhere("xa.c"));
  EXPECT_FALSE(Regex("a.c", Regex::Options::ignoreMetacharacters).matchesSomewhere("abc"));
  EXPECT_TRUE(Regex("^b$", Regex::Options::anchorsMatchLines).matchesSomewhere("a\nb\nc"));
  EXPECT_FALSE(Regex("^b$").matchesSomewhere("a\nb\nc"));
  EXPECT_TRUE(Regex("a.b", Regex::Options::dotMatchesLineSeparators).matchesSomewhere("a\nb"));
  for (const char* literal : {"a.b", "(x)", "[", "\\E", "$^", "a b+"})
    EXPECT_EQ(Regex(Regex::escapedPattern(literal)).firstMatch(std::string("<") + literal + ">")->string(0,
              std::string("<") + literal + ">"), literal) << literal;

  try {
    Regex invalid("(unclosed");
    FAIL() << "compiled an invalid pattern";
  } catch (const Error& error) {
    EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(error.code(), 2048);
    EXPECT_EQ(error.userInfo().get<std::string>("NSInvalidValue"), "(unclosed");
  }
}

// One compiled expression serves several threads at once, each with its own texts.
TEST(Regex, SharedAcrossThreads) {
  const Regex token("\\{([\\w\\s]+)\\}");
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        const std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
        const std::string text = std::string(static_cast<std::size_t>(i % 7), 'x') + "{" + name + "}";
        const auto match = token.firstMatch(text);
        if (!match || match->string(1, text) != name) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace platform
