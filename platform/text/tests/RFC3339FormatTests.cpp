#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "TextDamage.hpp"
#include "platform/text/RFC3339Format.hpp"

namespace platform {
namespace {

Date utc(double secondsSince1970) { return Date::fromTimeIntervalSince1970(secondsSince1970); }

// 2021-01-02T03:04:05Z
constexpr double base = 1609556645;

TEST(RFC3339Format, ReadsWhatEachOptionAllows) {
  const RFC3339Format internet({.minimumFractionDigits = 0, .maximumFractionDigits = 0});
  const RFC3339Format upToNine({.minimumFractionDigits = 0, .maximumFractionDigits = 9, .keptFractionDigits = 3});
  const RFC3339Format lenientCase({.upperCaseOnly = false});
  const RFC3339Format zuluOnly({.acceptsOffsets = false});
  const RFC3339Format modern({.minimumYear = 1583});
  struct Case {
    const RFC3339Format* format;
    const char* text;
    std::optional<double> secondsSince1970;
  };
  const Case cases[] = {
      {&internet, "2021-01-02T03:04:05Z", base},
      {&internet, "2021-01-02T05:04:05+02:00", base},
      {&internet, "2021-01-01T23:34:05-03:30", base},
      {&internet, "2021-01-02T03:04:05-00:00", base},
      {&internet, "2021-01-02T03:04:05.5Z", std::nullopt},
      {&internet, "2021-01-02T03:04:05.Z", std::nullopt},
      {&internet, "2021-01-02t03:04:05Z", std::nullopt},
      {&internet, "2021-01-02T03:04:05z", std::nullopt},
      {&internet, "2021-01-02 03:04:05Z", std::nullopt},
      {&internet, "2021-01-02T03:04:05", std::nullopt},
      {&internet, "2021-01-02T03:04:05Z ", std::nullopt},
      {&internet, " 2021-01-02T03:04:05Z", std::nullopt},
      {&internet, "2021-01-02T03:04:05+0200", std::nullopt},
      {&internet, "2021-01-02T03:04:05+02", std::nullopt},
      {&internet, "2021-1-02T03:04:05Z", std::nullopt},
      {&internet, "+2021-01-02T03:04:05Z", std::nullopt},
      {&internet, "0001-01-01T00:00:00Z", -62135596800.0},
      {&internet, "0000-12-31T00:00:00Z", std::nullopt},
      {&internet, "9999-12-31T23:59:59Z", 253402300799.0},
      {&internet, "2024-02-29T00:00:00Z", 1709164800.0},
      {&internet, "2023-02-29T00:00:00Z", std::nullopt},
      {&internet, "2023-02-31T00:00:00Z", std::nullopt},
      {&internet, "2000-02-29T00:00:00Z", 951782400.0},
      {&internet, "1900-02-29T00:00:00Z", std::nullopt},
      {&internet, "2021-04-31T00:00:00Z", std::nullopt},
      {&internet, "2021-13-01T00:00:00Z", std::nullopt},
      {&internet, "2021-00-01T00:00:00Z", std::nullopt},
      {&internet, "2021-01-00T00:00:00Z", std::nullopt},
      {&internet, "2021-01-01T24:00:00Z", std::nullopt},
      {&internet, "2021-01-01T23:60:00Z", std::nullopt},
      {&internet, "2021-01-01T23:59:60Z", std::nullopt},
      {&internet, "2021-01-01T00:00:00+24:00", std::nullopt},
      {&internet, "2021-01-01T00:00:00+23:60", std::nullopt},
      {&internet, "2021-01-01T00:00:00+23:59", 1609459200.0 - 86340},
      {&upToNine, "2021-01-02T03:04:05Z", base},
      {&upToNine, "2021-01-02T03:04:05.1Z", base + 0.1},
      {&upToNine, "2021-01-02T03:04:05.123Z", base + 0.123},
      {&upToNine, "2021-01-02T03:04:05.123999999Z", base + 0.123},
      {&upToNine, "2021-01-02T03:04:05.1234567890Z", std::nullopt},
      {&upToNine, "2021-01-02T03:04:05.Z", std::nullopt},
      {&lenientCase, "2021-01-02t03:04:05z", base},
      {&lenientCase, "2021-01-02T03:04:05.25Z", base + 0.25},
      {&zuluOnly, "2021-01-02T03:04:05Z", base},
      {&zuluOnly, "2021-01-02T03:04:05+00:00", std::nullopt},
      {&modern, "1582-12-31T00:00:00Z", std::nullopt},
      {&modern, "1583-01-01T00:00:00Z", -12212553600.0},
  };
  for (const Case& c : cases) {
    const std::optional<Date> expected = c.secondsSince1970 ? std::optional(utc(*c.secondsSince1970)) : std::nullopt;
    const std::optional<Date> read = c.format->parse(c.text);
    if (expected && read) {
      EXPECT_DOUBLE_EQ(read->timeIntervalSinceReferenceDate, expected->timeIntervalSinceReferenceDate) << c.text;
    } else {
      EXPECT_EQ(read.has_value(), expected.has_value()) << c.text;
    }
  }
}

// The reading as it was first written, kept as the reference that the faster one must match.
namespace reference {

constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr int daysInMonth(int year, int month) {
  constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : lengths[month - 1];
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

constexpr int powersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

std::optional<RFC3339Format::Fields> scan(const RFC3339Format::Options& options, std::string_view text) {
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[13] != ':' || text[16] != ':') return std::nullopt;
  const char t = text[10];
  if (t != 'T' && (options.upperCaseOnly || t != 't')) return std::nullopt;
  RFC3339Format::Fields fields;
  fields.year = digits(text, 0, 4);
  fields.month = digits(text, 5, 2);
  fields.day = digits(text, 8, 2);
  fields.hour = digits(text, 11, 2);
  fields.minute = digits(text, 14, 2);
  fields.second = digits(text, 17, 2);
  if ((fields.year | fields.month | fields.day | fields.hour | fields.minute | fields.second) < 0) return std::nullopt;

  std::size_t at = 19;
  if (text[at] == '.') {
    std::size_t start = ++at;
    while (at < text.size() && isDigit(text[at])) ++at;
    const auto count = static_cast<int>(at - start);
    if (count == 0 || count < options.minimumFractionDigits || count > options.maximumFractionDigits) return std::nullopt;
    const int kept = std::min({count, options.keptFractionDigits, 9});
    const int value = kept > 0 ? digits(text, start, static_cast<std::size_t>(kept)) : 0;
    fields.nanosecond = value * powersOfTen[9 - kept];
  } else if (options.minimumFractionDigits > 0) {
    return std::nullopt;
  }

  const std::string_view zone = text.substr(at);
  if (zone == "Z" || (zone == "z" && !options.upperCaseOnly)) return fields;
  if (!options.acceptsOffsets || zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
  fields.offsetSign = zone[0] == '-' ? -1 : 1;
  fields.offsetHour = digits(zone, 1, 2);
  fields.offsetMinute = digits(zone, 4, 2);
  if ((fields.offsetHour | fields.offsetMinute) < 0) return std::nullopt;
  return fields;
}

std::optional<Date> date(const RFC3339Format::Options& options, const RFC3339Format::Fields& fields) {
  auto within = [](int value, int lowest, int highest) { return value >= lowest && value <= highest; };
  const bool valid = within(fields.year, options.minimumYear, options.maximumYear) && within(fields.month, 1, 12) &&
                     within(fields.day, 1, daysInMonth(fields.year, fields.month)) && within(fields.hour, 0, 23) &&
                     within(fields.minute, 0, 59) && within(fields.second, 0, 59) && within(fields.offsetHour, 0, 23) &&
                     within(fields.offsetMinute, 0, 59) && within(fields.nanosecond, 0, 999'999'999);
  if (!valid) return std::nullopt;
  const std::int64_t east = fields.offsetSign * (fields.offsetHour * 60 + fields.offsetMinute);
  const std::int64_t seconds = daysFromCivil(fields.year, fields.month, fields.day) * 86400 + fields.hour * 3600 +
                               fields.minute * 60 + fields.second - east * 60;
  double milliseconds = static_cast<double>(seconds * 1000 + fields.nanosecond / 1'000'000);
  if (const int below = fields.nanosecond % 1'000'000) milliseconds += below / 1e6;
  return Date{milliseconds / 1000.0 - Date::timeIntervalBetween1970AndReferenceDate};
}

}  // namespace reference

// A date-time text with every part drawn at random, mostly as the options allow, now and
// then out of range or of the wrong shape, then sometimes damaged.
std::string randomText(std::mt19937_64& random, const RFC3339Format::Options& options) {
  auto pick = [&random](int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); };
  auto rarely = [&](int lowest, int highest, int wildest) {
    return pick(0, 15) == 0 ? pick(0, wildest) : pick(lowest, highest);
  };
  char text[64];
  const int year = pick(0, 7) == 0   ? pick(0, 9999)
                   : pick(0, 7) == 0 ? pick(std::max(options.maximumYear - 3, 0), options.maximumYear)
                                     : pick(options.minimumYear, options.maximumYear);
  int length = std::snprintf(text, sizeof text, pick(0, 40) == 0 ? "%05d" : "%04d", year);
  length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "-%02d-%02d%c%02d:%02d:%02d",
                          rarely(1, 12, 99), rarely(1, 31, 99), "TTTTTTt "[pick(0, 7)], rarely(0, 23, 99),
                          rarely(0, 59, 99), rarely(0, 59, 99));
  std::string result(text, static_cast<std::size_t>(length));
  const int fraction = pick(0, 5) == 0 ? pick(-1, 11)
                                       : pick(options.minimumFractionDigits > 0 ? options.minimumFractionDigits : -3,
                                              options.maximumFractionDigits);
  if (fraction >= 0) {
    result += '.';
    for (int i = 0; i < fraction; ++i) result += static_cast<char>('0' + pick(0, 9));
  }
  switch (pick(0, 5)) {
    case 0: case 1: result += 'Z'; break;
    case 2: result += 'z'; break;
    case 3: break;
    default:
      std::snprintf(text, sizeof text, "%c%02d:%02d", "+-"[pick(0, 1)], rarely(0, 23, 99), rarely(0, 59, 99));
      result += text;
  }
  testing::damageSometimes(result, random, "0123456789-:T.Zz t+/");
  return result;
}

std::string describe(const std::optional<RFC3339Format::Fields>& f) {
  if (!f) return "nothing";
  char text[128];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%d %d %d %d:%d", f->year, f->month, f->day, f->hour, f->minute,
                f->second, f->nanosecond, f->offsetSign, f->offsetHour, f->offsetMinute);
  return text;
}

std::string describe(const std::optional<Date>& date) {
  if (!date) return "nothing";
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", date->timeIntervalSinceReferenceDate);
  return text;
}

// Every option set that callers use (the time-series client's formatter, the record coder's
// ISO 8601 formatter, the CSV module's row decoder) and some others, over random texts:
// the fields, the dates and the refusals all stay as they were.
TEST(RFC3339Format, ReadsAsTheFirstReadingDid) {
  const RFC3339Format::Options inUse[] = {
      {.minimumFractionDigits = 0, .maximumFractionDigits = 9, .keptFractionDigits = 3, .minimumYear = 1,
       .maximumYear = 9999, .acceptsOffsets = true, .upperCaseOnly = true},
      {.minimumFractionDigits = 3, .maximumFractionDigits = 3, .keptFractionDigits = 3, .minimumYear = 1583,
       .maximumYear = 9999},
      {.minimumFractionDigits = 0, .maximumFractionDigits = 0, .minimumYear = 1, .maximumYear = 9999,
       .acceptsOffsets = true, .upperCaseOnly = true},
  };
  std::vector<RFC3339Format::Options> optionSets(std::begin(inUse), std::end(inUse));
  std::mt19937_64 random(20261207);
  auto pick = [&random](int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); };
  for (int i = 0; i < 12; ++i) {
    const int minimumYear = pick(0, 2000);
    const int minimumFraction = pick(0, 3);
    optionSets.push_back({.minimumFractionDigits = minimumFraction, .maximumFractionDigits = pick(minimumFraction, 10),
                          .keptFractionDigits = pick(0, 10), .minimumYear = minimumYear,
                          .maximumYear = pick(minimumYear, 9999), .acceptsOffsets = pick(0, 1) == 1,
                          .upperCaseOnly = pick(0, 1) == 1});
  }
  int disagreements = 0;
  for (const RFC3339Format::Options& options : optionSets) {
    const RFC3339Format format(options);
    int read = 0;
    for (int i = 0; i < 25000; ++i) {
      const std::string text = randomText(random, options);
      const std::optional<RFC3339Format::Fields> fields = format.scan(text), expectedFields = reference::scan(options, text);
      const std::optional<Date> date = format.parse(text);
      const std::optional<Date> expected = expectedFields ? reference::date(options, *expectedFields) : std::nullopt;
      read += expected.has_value();
      // Dates compare bit for bit: -0.0 and 0.0 would be two answers.
      const bool same = describe(fields) == describe(expectedFields) && describe(date) == describe(expected);
      if (!same && ++disagreements <= 20)
        ADD_FAILURE() << text << ": " << describe(fields) << " " << describe(date) << " against "
                      << describe(expectedFields) << " " << describe(expected);
    }
    EXPECT_GT(read, 2000);  // the texts reach deep enough to be read
  }
  EXPECT_EQ(disagreements, 0);
}

TEST(RFC3339Format, WritesUTCWithTheAskedFraction) {
  struct Case {
    int fractionDigits;
    double secondsSince1970;
    const char* text;  // nullptr: not written
    bool keepsMaximumYear = false;
  };
  const Case cases[] = {
      {0, base + 0.999, "2021-01-02T03:04:05Z"},
      {0, base + 0.9996, "2021-01-02T03:04:06Z"},  // rounded to the millisecond first
      {3, base + 0.0125, "2021-01-02T03:04:05.013Z"},
      {1, base + 0.19, "2021-01-02T03:04:05.1Z"},
      {9, base + 0.123, "2021-01-02T03:04:05.123000000Z"},
      {3, -0.001, "1969-12-31T23:59:59.999Z"},
      {0, -62135596800.0, "0001-01-01T00:00:00Z"},
      {0, -62135596801.0, nullptr},
      {3, 253402300799.999, "9999-12-31T23:59:59.999Z"},
      {3, 253402300800.0, nullptr},
      {3, 253402300799.9996, nullptr},  // rounds into 10000
      {9, 253402300799.9996, "9999-12-31T23:59:59.999000000Z", true},
      {0, 253402300799.9995, "9999-12-31T23:59:59Z", true},
      {3, 253402300799.9994, "9999-12-31T23:59:59.999Z", true},
      {3, 253402300800.0, nullptr, true},  // already in 10000
      {3, 253402300800.0004, nullptr, true},
      {3, 1e300, nullptr},
      {3, std::numeric_limits<double>::quiet_NaN(), nullptr},
      {3, -std::numeric_limits<double>::infinity(), nullptr},
  };
  for (const Case& c : cases) {
    const RFC3339Format format(
        {.writtenFractionDigits = c.fractionDigits, .keepsMaximumYearWhenRounding = c.keepsMaximumYear});
    const std::optional<std::string> text = format.string(utc(c.secondsSince1970));
    EXPECT_EQ(text, c.text ? std::optional<std::string>(c.text) : std::nullopt) << c.secondsSince1970;
  }
}

TEST(RFC3339Format, EveryDayOfFourHundredYearsRoundTrips) {
  const RFC3339Format format({.minimumYear = 0});
  RFC3339Format::Fields fields{.year = 1999, .month = 12, .day = 31, .hour = 12};
  for (int day = 0; day < 146097; ++day) {
    const std::optional<Date> date = format.date(fields);
    ASSERT_TRUE(date);
    const std::optional<std::string> text = format.string(*date);
    ASSERT_TRUE(text);
    ASSERT_EQ(format.parse(*text), date) << *text;
    const std::optional<Date> next = format.parse(text->substr(0, 11) + "23:59:59Z");
    ASSERT_TRUE(next) << *text;
    fields = *format.scan(*format.string(Date{next->timeIntervalSinceReferenceDate + 12 * 3600 + 1}));
  }
  EXPECT_EQ(fields.year, 2399);
  EXPECT_EQ(fields.month, 12);
  EXPECT_EQ(fields.day, 31);
}

}  // namespace
}  // namespace platform
