#include <gtest/gtest.h>

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
