#include <gtest/gtest.h>
#include <unicode/timezone.h>

#include <memory>
#include <stdexcept>

#include "QVExtensions/CollectionExtensions.hpp"
#include "QVExtensions/DateExtensions.hpp"
#include "QVExtensions/StringReplacement.hpp"

namespace QVExtensions {
namespace {

TEST(DataHelpers, SafeIndexingOrderingAndExtremes) {
  const std::vector<std::string> list{"a", "b", "c"};
  EXPECT_EQ(safeElement(list, -1), std::nullopt);
  EXPECT_EQ(safeElement(list, 3), std::nullopt);
  EXPECT_EQ(safeElement(list, 2), "c");
  EXPECT_EQ(safeElement(list, std::numeric_limits<std::int64_t>::min()), std::nullopt);

  const std::vector<std::string> order{"a", "b", "c"};
  EXPECT_EQ(sortedByOrder<std::string>({"c", "a", "x"}, order), (std::vector<std::string>{"a", "c", "x"}));
  EXPECT_EQ(sortedByOrder<std::string>({"c", "a", "x"}, order, true), (std::vector<std::string>{"x", "a", "c"}));
  // Missing elements keep their relative order, and stay last when the reference list is the longer.
  EXPECT_EQ(sortedByOrder<std::string>({"y", "c", "x", "a"}, order), (std::vector<std::string>{"a", "c", "y", "x"}));
  EXPECT_EQ(sortedByOrder<std::string>({"x", "c"}, order), (std::vector<std::string>{"c", "x"}));

  EXPECT_EQ(minMax(std::vector<int>{3, 1, 2}), (MinMax<int>{1, 3}));
  EXPECT_EQ(minMax(std::vector<int>{}), std::nullopt);
}

TEST(DataHelpers, PairwiseReplacement) {
  struct Case {
    std::vector<std::string> inputs;
    std::string target;
    std::vector<std::string> replacements;
    CompareOptions options;
    std::optional<UTF16Range> range;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{"a-b", "c-d"}, "-", {"+", "*", "/"}, CompareOptions::none, std::nullopt, {"a+b", "c*d"}},
      {{"Tag TAG tag"}, "tag", {"x"}, CompareOptions::none, std::nullopt, {"Tag TAG x"}},
      {{"Tag TAG tag"}, "tag", {"x"}, CompareOptions::caseInsensitive, std::nullopt, {"x x x"}},
      {{"Straße STRASSE"}, "straße", {"road"}, CompareOptions::caseInsensitive, std::nullopt, {"road road"}},
      // The range counts UTF-16 units: the emoji takes two.
      {{"😀-a-b"}, "-", {"+"}, CompareOptions::literal, UTF16Range{3, 2}, {"😀-a+b"}},
      {{"a.b", "c.d"}, ".", {"", ""}, CompareOptions::literal, std::nullopt, {"ab", "cd"}},
      {{"a-b"}, "", {"+"}, CompareOptions::none, std::nullopt, {"a-b"}},
      // An ill-formed byte is one unit to the engine, so matches after it are found where they are.
      {{"\x80" "abc", "ab\xFF" "A", "\xC3"}, "a", {"X", "Y", "Z"}, CompareOptions::caseInsensitive, std::nullopt,
       {"\x80" "Xbc", "Yb\xFF" "Y", "\xC3"}},
      {{}, "-", {}, CompareOptions::none, std::nullopt, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(replaceOccurrencesPairwise(c.inputs, c.target, c.replacements, c.options, c.range), c.expected)
        << c.inputs.size() << " " << c.target;

  try {
    replaceOccurrencesPairwise({"a-b", "c-d"}, "-", {"+"});
    FAIL() << "no error";
  } catch (const StringReplacementError& error) {
    EXPECT_EQ(error.failureReason(), "More input strings (2) given than replacement strings (1).");
    EXPECT_EQ(error.recoverySuggestion(), std::nullopt);
    EXPECT_EQ(error.elementCount(), 2);
    EXPECT_EQ(error.replacementCount(), 1);
  }
  // A range past the end of the second input fails before the first one is changed.
  EXPECT_THROW(replaceOccurrencesPairwise({"a-b-c", "a-"}, "-", {"+", "+"}, CompareOptions::none, UTF16Range{0, 4}),
               std::out_of_range);
  EXPECT_THROW(replaceOccurrencesPairwise({"😀"}, "-", {"+"}, CompareOptions::none, UTF16Range{1, 1}),
               std::out_of_range);
}

TEST(DataHelpers, PairwiseReplacementMatchesCanonicalEquivalents) {
  constexpr CompareOptions none = CompareOptions::none;
  constexpr CompareOptions literal = CompareOptions::literal;
  constexpr CompareOptions caseless = CompareOptions::caseInsensitive;
  struct Case {
    std::string input;
    std::string target;
    CompareOptions options;
    std::optional<UTF16Range> range;
    std::string expected;
  };
  const Case cases[] = {
      {"cafe\u0301", "\u00E9", none, std::nullopt, "cafx"},
      {"caf\u00E9", "e\u0301", none, std::nullopt, "cafx"},
      {"1\u212B", "\u00C5", none, std::nullopt, "1x"},  // the ångström sign decomposes like Å
      {"e\u0301e\u0301", "\u00E9", none, std::nullopt, "xx"},
      // Marks of different classes may come in either order.
      {"\u1E0B\u0323", "d\u0323\u0307", none, std::nullopt, "x"},
      {"\u1E0D\u0307", "\u1E0B\u0323", none, std::nullopt, "x"},
      {"\u1100\u1161", "\uAC00", none, std::nullopt, "x"},
      // A base is never taken without its marks, nor with only some of them.
      {"cafe\u0301", "e", none, std::nullopt, "cafe\u0301"},
      {"e\u0301\u0302", "\u00E9", none, std::nullopt, "e\u0301\u0302"},
      {"\u0915\u093F", "\u0915", none, std::nullopt, "\u0915\u093F"},  // a spacing mark belongs to its base
      // Nor part of any other character as a reader sees it: a syllable spelt in conjoining jamo,
      // emoji joined into one picture or given a skin tone, a flag, a prepended sign, CR LF.
      {"\u1112\u1161\u11AB", "\u1112\u1161", none, std::nullopt, "\u1112\u1161\u11AB"},
      {"\u1112\u1161\u11AB", "\uD558", caseless, std::nullopt, "\u1112\u1161\u11AB"},
      {"\u1112\u1161\u11AB\u1112\u1161", "\uD558", none, std::nullopt, "\u1112\u1161\u11ABx"},
      {"\uD55C", "\u1112\u1161\u11AB", none, std::nullopt, "x"},
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F469", none, std::nullopt,
       "\U0001F468\u200D\U0001F469\u200D\U0001F467"},
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F468", none, std::nullopt,
       "\U0001F468\u200D\U0001F469\u200D\U0001F467"},
      {"\U0001F468\U0001F469\u200D\U0001F467", "\U0001F468", none, std::nullopt, "x\U0001F469\u200D\U0001F467"},
      {"\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469", none, std::nullopt, "x"},
      {"\U0001F44D\U0001F3FD\U0001F44D", "\U0001F44D", none, std::nullopt, "\U0001F44D\U0001F3FDx"},
      {"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", "\U0001F1F7\U0001F1E9", none, std::nullopt,
       "\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA"},
      {"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", "\U0001F1E9\U0001F1EA", none, std::nullopt,
       "\U0001F1EB\U0001F1F7x"},
      {"\u06001", "1", none, std::nullopt, "\u06001"},
      {"a\r\nb\n", "\n", none, std::nullopt, "a\r\nbx"},
      {"a\r\nb\n", "\n", literal, std::nullopt, "a\rxbx"},
      {"e\u0301\r\n\r", "\r", none, std::nullopt, "e\u0301\r\nx"},
      {"\U0001F469\u200D\U0001F467", "\U0001F469", literal, std::nullopt, "x\u200D\U0001F467"},
      // Canonical equivalence only: no ignorable characters, no full-width forms.
      {"a\u00ADb", "ab", none, std::nullopt, "a\u00ADb"},
      {"\uFF41b", "ab", caseless, std::nullopt, "\uFF41b"},
      {"cafe\u0301", "\u00E9", literal, std::nullopt, "cafe\u0301"},
      {"caf\u00E9", "\u00E9", literal, std::nullopt, "cafx"},
      {"CAFE\u0301", "\u00E9", caseless, std::nullopt, "CAFx"},
      {"CAF\u00C9", "e\u0301", caseless, std::nullopt, "CAFx"},
      {"CAFE\u0301", "\u00E9", literal | caseless, std::nullopt, "CAFE\u0301"},
      {"CAF\u00C9", "\u00E9", literal | caseless, std::nullopt, "CAFx"},
      // Ranges count UTF-16 units of the input; a mark cut from its base stays outside.
      {"e\u0301-e\u0301", "\u00E9", none, UTF16Range{3, 2}, "e\u0301-x"},
      {"e\u0301e\u0301", "\u00E9", none, UTF16Range{1, 3}, "e\u0301x"},
      {"e\u0301e\u0301", "\u00E9", none, UTF16Range{0, 3}, "xe\u0301"},
      {"\xC3" "e\u0301\xFF", "\u00E9", none, std::nullopt, "\xC3" "x\xFF"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(replaceOccurrencesPairwise({c.input}, c.target, {"x"}, c.options, c.range), std::vector{c.expected})
        << c.input << " / " << c.target;
}

// Sets the process's default time zone while it lives.
class ZonePin {
 public:
  explicit ZonePin(const char* zone) : previous_(icu::TimeZone::createDefault()) {
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(zone));
  }
  ~ZonePin() { icu::TimeZone::adoptDefault(previous_.release()); }

 private:
  std::unique_ptr<icu::TimeZone> previous_;
};

TEST(DataHelpers, DateDifferencesInWholeCalendarUnits) {
  ZonePin berlin("Europe/Berlin");
  const platform::Date start = platform::Date::fromTimeIntervalSince1970(1700000000);  // 2023-11-14
  const platform::Date later{start.timeIntervalSinceReferenceDate + 36 * 3600};
  EXPECT_EQ(days(later, start), 1);
  EXPECT_EQ(days(start, later), -1);
  EXPECT_EQ(hours(later, start), 36);
  EXPECT_EQ(minutes(later, start), 36 * 60);
  EXPECT_EQ(seconds(later, start), 36 * 3600);
  const platform::Date nextYear{start.timeIntervalSinceReferenceDate + 400 * 86400.0};
  EXPECT_EQ(years(nextYear, start), 1);
  EXPECT_EQ(months(nextYear, start), 13);
  EXPECT_EQ(weeksOfMonth(later, start), 0);
  EXPECT_EQ(weeksOfMonth(platform::Date{start.timeIntervalSinceReferenceDate + 15 * 86400.0}, start), 2);
  // 2024-03-31 has 23 hours in Berlin: midnight to midnight is still one day.
  const platform::Date march30 = platform::Date::fromTimeIntervalSince1970(1711753200);  // 00:00 CET
  const platform::Date march31{march30.timeIntervalSinceReferenceDate + 24 * 3600};
  const platform::Date april1{march31.timeIntervalSinceReferenceDate + 23 * 3600};
  EXPECT_EQ(days(april1, march31), 1);
  EXPECT_EQ(hours(april1, march31), 23);
  // Counts beyond 32 bits: a lifetime in seconds, and far-apart dates in minutes.
  const platform::Date century{start.timeIntervalSinceReferenceDate + 100 * 365.25 * 86400};
  EXPECT_EQ(seconds(century, start), 3'155'760'000);
  EXPECT_EQ(seconds(start, century), -3'155'760'000);
  const platform::Date farOff{start.timeIntervalSinceReferenceDate + 5000 * 365.25 * 86400};
  EXPECT_EQ(minutes(farOff, start), 2'629'800'000);
  EXPECT_EQ(days(farOff, start), 1'826'250);
  EXPECT_EQ(seconds(platform::Date{1e16}, start), 0);  // beyond the calendar's reach
}

TEST(DataHelpers, StringForNowFollowsTheFormatter) {
  const platform::DateFormatter year({.dateFormat = "yyyy", .locale = platform::Locale("en_US_POSIX"), .timeZone = "GMT"});
  const std::string before = year.string(platform::Date::now());
  const std::string now = stringForNow(year);
  EXPECT_TRUE(now == before || now == year.string(platform::Date::now())) << now;
  EXPECT_EQ(now.size(), 4u);
}

}  // namespace
}  // namespace QVExtensions
