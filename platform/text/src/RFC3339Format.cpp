#include "platform/text/RFC3339Format.hpp"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the era-based algorithms,
// exact for every year).
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct Civil {
  std::int64_t year;
  int month;
  int day;
};

constexpr Civil civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  const int month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  return {yearOfEra + era * 400 + (month <= 2), month, day};
}

// GCC divides by a constant with a divide instruction here; these multiply (exact for every
// 32-bit value).
constexpr std::uint32_t dividedBy100(std::uint32_t value) {
  return static_cast<std::uint32_t>((std::uint64_t{value} * 1374389535u) >> 37);
}
constexpr std::uint32_t dividedByMillion(std::uint32_t value) {
  return static_cast<std::uint32_t>((std::uint64_t{value} * 1125899907u) >> 50);
}

// The same for the years 0000–9999, with no division by a variable sign: the year is moved
// on by one 400-year cycle, which keeps it positive from March of year -1 on.
// Days before each month's first in a year that starts on March 1st. Tables stay out of
// functions: GCC builds a constexpr table of a function on the stack at each call.
constexpr std::uint32_t daysBeforeMonth[] = {306, 337, 0, 31, 61, 92, 122, 153, 184, 214, 245, 275};

constexpr std::int64_t daysFromYear0(int year, int month, int day) {
  const std::uint32_t shifted = static_cast<std::uint32_t>(year) + 400 - (month <= 2);
  const std::uint32_t centuries = dividedBy100(shifted);
  const std::uint32_t days = shifted * 365 + shifted / 4 - centuries + centuries / 4 + daysBeforeMonth[month - 1] +
                             static_cast<std::uint32_t>(day) - 1;
  return static_cast<std::int64_t>(days) - 719468 - 146097;
}

constexpr int monthLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

constexpr int daysInMonth(int year, int month) {
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : monthLengths[month - 1];
}

constexpr std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
  return value / divisor - (value % divisor < 0);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The value of `count` digits at `at`, or -1 when one of them is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!isDigit(text[i])) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

void putDigits(char* out, std::int64_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

constexpr int powersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

}  // namespace

std::optional<RFC3339Format::Fields> RFC3339Format::scan(std::string_view text) const noexcept {
  // yyyy-mm-ddThh:mm:ss is the one fixed part.
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[13] != ':' || text[16] != ':') return std::nullopt;
  const char t = text[10];
  if (t != 'T' && (options_.upperCaseOnly || t != 't')) return std::nullopt;
  // Each digit checked and valued without a branch of its own.
  bool notDigit = false;
  const auto digit = [&](std::size_t at) {
    const unsigned value = static_cast<unsigned char>(text[at]) - unsigned{'0'};
    notDigit |= value > 9;
    return value;
  };
  const auto twoDigits = [&](std::size_t at) { return static_cast<int>(digit(at) * 10 + digit(at + 1)); };
  Fields fields;
  fields.year = twoDigits(0) * 100 + twoDigits(2);
  fields.month = twoDigits(5);
  fields.day = twoDigits(8);
  fields.hour = twoDigits(11);
  fields.minute = twoDigits(14);
  fields.second = twoDigits(17);
  if (notDigit) return std::nullopt;

  std::size_t position = 19;
  if (text[position] == '.') {
    const std::size_t start = ++position;
    while (position < text.size() && isDigit(text[position])) ++position;
    const auto count = static_cast<int>(position - start);
    if (count == 0 || count < options_.minimumFractionDigits || count > options_.maximumFractionDigits) return std::nullopt;
    const int kept = std::min(count, std::clamp(options_.keptFractionDigits, 0, 9));
    std::int32_t fraction = 0;
    for (int i = 0; i < kept; ++i) fraction = fraction * 10 + (text[start + static_cast<std::size_t>(i)] - '0');
    fields.nanosecond = fraction * powersOfTen[9 - kept];
  } else if (options_.minimumFractionDigits > 0) {
    return std::nullopt;
  }

  const std::string_view zone = text.substr(position);
  if (zone.size() == 1 && (zone[0] == 'Z' || (zone[0] == 'z' && !options_.upperCaseOnly))) return fields;
  if (!options_.acceptsOffsets || zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return std::nullopt;
  fields.offsetSign = zone[0] == '-' ? -1 : 1;
  fields.offsetHour = digits(zone, 1, 2);
  fields.offsetMinute = digits(zone, 4, 2);
  if ((fields.offsetHour | fields.offsetMinute) < 0) return std::nullopt;
  return fields;
}

std::optional<Date> RFC3339Format::date(const Fields& fields) const noexcept {
  auto within = [](int value, int lowest, int highest) { return value >= lowest && value <= highest; };
  const bool valid = within(fields.year, options_.minimumYear, options_.maximumYear) && within(fields.year, 0, 9999) &&
                     within(fields.month, 1, 12) && within(fields.day, 1, daysInMonth(fields.year, fields.month)) &&
                     within(fields.hour, 0, 23) && within(fields.minute, 0, 59) && within(fields.second, 0, 59) &&
                     within(fields.offsetHour, 0, 23) && within(fields.offsetMinute, 0, 59) &&
                     within(fields.nanosecond, 0, 999'999'999);
  if (!valid) return std::nullopt;
  const std::int64_t east = fields.offsetSign * (fields.offsetHour * 60 + fields.offsetMinute);
  const std::int64_t seconds = daysFromYear0(fields.year, fields.month, fields.day) * 86400 + fields.hour * 3600 +
                               fields.minute * 60 + fields.second - east * 60;
  // Whole milliseconds since 1970 are exact in a double; the platform turns them into a date
  // in this order, so a text read here and by its date formatter gives the same date.
  const auto nanosecond = static_cast<std::uint32_t>(fields.nanosecond);
  const std::uint32_t millisecond = dividedByMillion(nanosecond);
  double milliseconds = static_cast<double>(seconds * 1000 + millisecond);
  if (const std::uint32_t below = nanosecond - millisecond * 1'000'000) milliseconds += below / 1e6;
  return Date{milliseconds / 1000.0 - Date::timeIntervalBetween1970AndReferenceDate};
}

// Flattened, so that the fields never make a round trip through memory.
[[gnu::flatten]] std::optional<Date> RFC3339Format::parse(std::string_view text) const noexcept {
  const std::optional<Fields> fields = scan(text);
  return fields ? date(*fields) : std::nullopt;
}

std::size_t RFC3339Format::write(Date date, std::span<char, maximumLength> buffer) const noexcept {
  // Rounded to the millisecond as the platform's formatters do; far-off dates are refused
  // before they could overflow the integer.
  const double exact = (date.timeIntervalSinceReferenceDate + Date::timeIntervalBetween1970AndReferenceDate) * 1000.0;
  double milliseconds = std::floor(exact + 0.5);
  if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > 1e15) return 0;
  if (options_.keepsMaximumYearWhenRounding && options_.maximumYear >= 0 && options_.maximumYear <= 9999) {
    const auto nextYear = static_cast<double>(daysFromCivil(options_.maximumYear + 1, 1, 1) * 86'400'000);
    if (exact < nextYear && milliseconds >= nextYear) milliseconds = nextYear - 1;
  }
  const auto whole = static_cast<std::int64_t>(milliseconds);
  const std::int64_t seconds = floorDivide(whole, 1000);
  const std::int64_t days = floorDivide(seconds, 86400);
  const std::int64_t secondOfDay = seconds - days * 86400;
  const Civil civil = civilFromDays(days);
  if (civil.year < options_.minimumYear || civil.year > options_.maximumYear || civil.year < 0 || civil.year > 9999) return 0;

  char* out = buffer.data();
  putDigits(out, civil.year, 4);
  out[4] = '-';
  putDigits(out + 5, civil.month, 2);
  out[7] = '-';
  putDigits(out + 8, civil.day, 2);
  out[10] = 'T';
  putDigits(out + 11, secondOfDay / 3600, 2);
  out[13] = ':';
  putDigits(out + 14, secondOfDay / 60 % 60, 2);
  out[16] = ':';
  putDigits(out + 17, secondOfDay % 60, 2);
  std::size_t length = 19;
  const int fraction = std::clamp(options_.writtenFractionDigits, 0, 9);
  if (fraction > 0) {
    out[length++] = '.';
    const std::int64_t millisecond = whole - seconds * 1000;
    const int fromMilliseconds = std::min(fraction, 3);
    putDigits(out + length, millisecond / powersOfTen[3 - fromMilliseconds], fromMilliseconds);
    length += static_cast<std::size_t>(fromMilliseconds);
    for (int i = 3; i < fraction; ++i) out[length++] = '0';
  }
  out[length++] = 'Z';
  return length;
}

std::optional<std::string> RFC3339Format::string(Date date) const {
  char buffer[maximumLength];
  const std::size_t length = write(date, buffer);
  if (length == 0) return std::nullopt;
  return std::string(buffer, length);
}

}  // namespace platform
