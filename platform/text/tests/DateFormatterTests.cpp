#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "TextDamage.hpp"
#include "platform/text/DateFormatter.hpp"

namespace platform {
namespace {

// 2020-01-02T03:04:05.678Z
constexpr double sample = 1577934245.678 - Date::timeIntervalBetween1970AndReferenceDate;

std::string describe(const std::optional<Date>& date) {
  if (!date) return "nothing";
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", date->timeIntervalSinceReferenceDate);
  return text;
}

TEST(ISO8601Formatter, ReadsOffsetsAndWritesGMTWithMilliseconds) {
  const DateFormatter& iso = iso8601Formatter();
  EXPECT_EQ(&iso, &iso8601Formatter());
  EXPECT_EQ(iso.date("2020-01-02T03:04:05.678Z"), Date{sample});
  EXPECT_EQ(iso.date("2020-01-02T05:04:05.678+02:00"), Date{sample});
  EXPECT_EQ(iso.date("2020-01-01T22:34:05.678-04:30"), Date{sample});
  EXPECT_EQ(iso.string(Date{sample}), "2020-01-02T03:04:05.678Z");
  EXPECT_EQ(iso.string(Date{0}), "2001-01-01T00:00:00.000Z");
  EXPECT_EQ(iso.string(Date{-0.0004}), "2001-01-01T00:00:00.000Z");
  EXPECT_EQ(iso.string(Date{-0.0006}), "2000-12-31T23:59:59.999Z");
  for (const char* refused : {"2020-01-02T03:04:05Z", "2020-01-02T03:04:05.678", "2023-02-29T00:00:00.000Z",
                              "2020-01-02T03:04:05.678Zjunk", "2020-01-02 03:04:05.678Z", ""}) {
    EXPECT_FALSE(iso.date(refused)) << refused;
  }
  // Outside the hand-written years, ICU answers.
  EXPECT_EQ(iso.string(*iso.date("1582-10-15T00:00:00.000Z")), "1582-10-15T00:00:00.000Z");
  EXPECT_EQ(iso.string(*iso.date("12345-06-07T08:09:10.111Z")), "12345-06-07T08:09:10.111Z");
  EXPECT_EQ(iso.string(Date{NAN}), "");
}

// A text of the formatter's shape with every field drawn at random, now and then out of
// range, then sometimes damaged; the two formatters must agree on each.
std::string randomText(std::mt19937_64& random) {
  auto pick = [&random](int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); };
  auto rarely = [&](int usual_lowest, int usual_highest, int wild_highest) {
    return pick(0, 15) == 0 ? pick(0, wild_highest) : pick(usual_lowest, usual_highest);
  };
  char text[96];
  const int year = pick(0, 12) == 0 ? pick(0, 20000) : pick(1575, 10005);
  const char* yearFormat = pick(0, 30) == 0 ? "%05d" : "%04d";
  int length = std::snprintf(text, sizeof text, yearFormat, year);
  const int zone = pick(0, 3);
  length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "-%02d-%02dT%02d:%02d:%02d.%03d",
                          rarely(1, 12, 99), rarely(1, 31, 99), rarely(0, 23, 99), rarely(0, 59, 99), rarely(0, 59, 99),
                          pick(0, 999));
  if (zone == 0) {
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "Z");
  } else {
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "%c%02d:%02d", zone == 1 ? '+' : '-',
                            rarely(0, 23, 99), rarely(0, 59, 99));
  }
  std::string result(text, static_cast<std::size_t>(length));
  testing::damageSometimes(result, random, "0123456789-:T.Zz t+,/");
  return result;
}

TEST(ISO8601Formatter, ReadsExactlyWhatICUReads) {
  const DateFormatter reference(iso8601Formatter().configuration());
  std::mt19937_64 random(20240607);
  int disagreements = 0;
  int accepted = 0;
  for (int i = 0; i < 60000; ++i) {
    const std::string text = randomText(random);
    const std::optional<Date> fast = iso8601Formatter().date(text);
    const std::optional<Date> icu = reference.date(text);
    accepted += icu.has_value();
    if (fast != icu && ++disagreements <= 20) ADD_FAILURE() << text << ": " << describe(fast) << " against ICU's " << describe(icu);
  }
  EXPECT_EQ(disagreements, 0);
  EXPECT_GT(accepted, 20000);  // the texts reach deep enough to be read
}

TEST(ISO8601Formatter, WritesExactlyWhatICUWrites) {
  const DateFormatter reference(iso8601Formatter().configuration());
  std::mt19937_64 random(20240608);
  // From before 1583 to after 9999, so that both sides of each limit are met.
  const double earliest = -13'000'000'000.0;
  const double latest = 253'500'000'000.0;
  std::uniform_real_distribution<double> anywhere(earliest, latest);
  std::uniform_int_distribution<std::int64_t> milliseconds(-14'000'000'000'000, 253'500'000'000'000);
  int disagreements = 0;
  for (int i = 0; i < 40000; ++i) {
    double seconds = 0;
    switch (i % 3) {
      case 0: seconds = anywhere(random); break;
      case 1: seconds = static_cast<double>(milliseconds(random)) / 1000.0; break;  // whole milliseconds, as read
      default: seconds = static_cast<double>(milliseconds(random)) / 1000.0 + 0.0005; break;  // halfway
    }
    const Date date{seconds};
    const std::string fast = iso8601Formatter().string(date);
    const std::string icu = reference.string(date);
    if (fast != icu && ++disagreements <= 20) ADD_FAILURE() << describe(date) << ": " << fast << " against ICU's " << icu;
    if (!fast.empty() && fast.size() == 24) {
      // What is written reads back to the millisecond it shows.
      const std::optional<Date> back = iso8601Formatter().date(fast);
      if (!back || iso8601Formatter().string(*back) != fast) ADD_FAILURE() << fast << " does not read back";
    }
  }
  EXPECT_EQ(disagreements, 0);
}

TEST(DateFormatter, PatternLocaleZoneAndLeniency) {
  const DateFormatter german({.dateFormat = "d. MMMM yyyy HH:mm", .locale = Locale("de_DE"), .timeZone = "Europe/Berlin"});
  const Date noon = *iso8601Formatter().date("2021-07-04T10:30:00.000Z");
  EXPECT_EQ(german.string(noon), "4. Juli 2021 12:30");
  EXPECT_EQ(german.date("4. Juli 2021 12:30"), noon);
  EXPECT_FALSE(german.date("4. Juli 2021 12:30 "));
  EXPECT_FALSE(german.date("4. July 2021 12:30"));

  const DateFormatter strict({.dateFormat = "yyyy-MM-dd", .locale = Locale("en_US_POSIX"), .timeZone = "GMT"});
  const DateFormatter lenient({.dateFormat = "yyyy-MM-dd", .locale = Locale("en_US_POSIX"), .timeZone = "GMT", .isLenient = true});
  EXPECT_FALSE(strict.date("2023-02-31"));
  EXPECT_EQ(lenient.date("2023-02-31"), strict.date("2023-03-03"));
  EXPECT_EQ(strict.date("2023-03-03"), Date::fromTimeIntervalSince1970(1677801600));

  const DateFormatter broken({.dateFormat = "jjjj", .locale = Locale("en_US_POSIX")});
  EXPECT_EQ(broken.string(noon), "");
  EXPECT_FALSE(broken.date("2021"));
}

TEST(DateFormatter, OneFormatterServesManyThreads) {
  const DateFormatter shared({.dateFormat = "yyyy-MM-dd HH:mm:ss", .locale = Locale("en_US_POSIX"), .timeZone = "GMT"});
  std::vector<std::thread> threads;
  std::vector<int> wrong(8, 0);
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        const Date date = Date::fromTimeIntervalSince1970(static_cast<double>(t * 100'000'000 + static_cast<std::size_t>(i) * 86'461));
        if (shared.date(shared.string(date)) != date) ++wrong[t];
        if (iso8601Formatter().date(iso8601Formatter().string(date)) != date) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : wrong) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace platform
