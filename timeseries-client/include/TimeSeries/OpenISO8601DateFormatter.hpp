#pragma once
// The client's dates as text. `DateFormatting` is what the client asks of any date
// formatter, so that a caller can put its own in place (CodableHelper); the default,
// `OpenISO8601DateFormatter`, writes UTC with nine fraction digits, whole milliseconds
// followed by six zeros ("2024-05-01T12:00:00.123000000Z"), and reads a time with no
// fraction or one to nine digits (kept to the millisecond, cut, not rounded), then "Z" or
// an offset "+hh:mm"; years 0001–9999 (a date late in 9999 that would round into 10000 is
// written as 9999-12-31T23:59:59.999000000Z). Formatters are immutable and may be shared by threads.

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Date.hpp"
#include "platform/text/RFC3339Format.hpp"

namespace TimeSeries {

class DateFormatting {
 public:
  virtual ~DateFormatting() = default;
  /// The text of a date, or nothing when the date cannot be written.
  virtual std::optional<std::string> string(platform::Date date) const = 0;
  /// The date of a text, or nothing when it reads none.
  virtual std::optional<platform::Date> date(std::string_view text) const = 0;
};

class OpenISO8601DateFormatter final : public DateFormatting {
 public:
  /// Nothing for a date that is not finite or falls outside the years 1–9999 in UTC.
  std::optional<std::string> string(platform::Date date) const override { return writing.string(date); }
  std::optional<platform::Date> date(std::string_view text) const override { return parse(text); }

  /// The reading without a virtual call, for hot paths.
  static std::optional<platform::Date> parse(std::string_view text) noexcept { return reading.parse(text); }

 private:
  static constexpr platform::RFC3339Format writing{{.minimumFractionDigits = 0,
                                                    .maximumFractionDigits = 9,
                                                    .keptFractionDigits = 3,
                                                    .writtenFractionDigits = 9,
                                                    .minimumYear = 1,
                                                    .maximumYear = 9999,
                                                    .acceptsOffsets = true,
                                                    .upperCaseOnly = true,
                                                    .keepsMaximumYearWhenRounding = true}};
  static constexpr const platform::RFC3339Format& reading = writing;
};

}  // namespace TimeSeries
