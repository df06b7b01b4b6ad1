#pragma once
// Internet date-times ("2021-01-02T03:04:05.678+02:00") read into dates and written from
// them by hand, without allocating. The options say which variations a caller accepts; the
// calendar is the proleptic Gregorian one. Written dates are in UTC with "Z" and keep whole
// milliseconds, rounded as the platform's date formatters round them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/core/Date.hpp"

namespace platform {

class RFC3339Format {
 public:
  struct Options {
    /// A fraction of a second is "." and between these many digits (at least one), and may be
    /// left out when the minimum is 0: 0 and 0 refuse a fraction, 3 and 3 ask for exactly three.
    int minimumFractionDigits = 0;
    int maximumFractionDigits = 9;
    /// Digits of a fraction that are kept when reading; the rest are dropped, not rounded.
    int keptFractionDigits = 9;
    /// Digits written after "." (0 writes no fraction); those past the milliseconds are zeros.
    int writtenFractionDigits = 0;
    /// The years read and written, within 0000–9999.
    int minimumYear = 1;
    int maximumYear = 9999;
    /// Whether "+hh:mm" and "-hh:mm" are read; "Z" always is.
    bool acceptsOffsets = true;
    /// Whether only "T" and "Z" are read, or "t" and "z" as well.
    bool upperCaseOnly = true;
    /// Whether a date of the maximum year that rounds into the next one is written as the
    /// year's last millisecond rather than not at all.
    bool keepsMaximumYearWhenRounding = false;
  };

  /// The fields of a text, as written; `scan` checks the shape, `date` the ranges.
  struct Fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    /// The fraction in nanoseconds, already cut to the kept digits.
    std::int32_t nanosecond = 0;
    /// The zone: 0 for "Z", else +1 or -1 (east or west of UTC) with hours and minutes.
    int offsetSign = 0;
    int offsetHour = 0, offsetMinute = 0;
  };

  /// The longest text `write` makes: "9999-12-31T23:59:59.123456789Z".
  static constexpr std::size_t maximumLength = 30;

  constexpr explicit RFC3339Format(const Options& options) : options_(options) {}
  const Options& options() const noexcept { return options_; }

  /// The date of a text; nothing when its shape, a field's range (2023-02-31 included) or
  /// its year is out of what the options allow.
  std::optional<Date> parse(std::string_view text) const noexcept;
  /// The fields of a text of the allowed shape, without checking their ranges.
  std::optional<Fields> scan(std::string_view text) const noexcept;
  /// The date the fields stand for; nothing when a field is out of range.
  std::optional<Date> date(const Fields& fields) const noexcept;

  /// Writes the text into `buffer` and returns its length; 0 when the date is not finite or
  /// its year in UTC, once rounded, is outside the options' range.
  std::size_t write(Date date, std::span<char, maximumLength> buffer) const noexcept;
  std::optional<std::string> string(Date date) const;

 private:
  Options options_;
};

}  // namespace platform
