#pragma once
// Dates to text and back by an ICU date pattern ("dd.MM.yyyy HH:mm") in a locale, a time
// zone and a calendar. A formatter may be shared by any number of threads: each call holds
// its lock. A text is read only when the pattern matches the whole of it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Date.hpp"
#include "platform/text/Locale.hpp"
#include "platform/text/RFC3339Format.hpp"

namespace platform {

class DateFormatter {
 public:
  struct Configuration {
    /// An ICU date pattern; one that ICU refuses writes "" and reads nothing.
    std::string dateFormat = {};
    /// Nothing: the current locale when the formatter is made.
    std::optional<Locale> locale = std::nullopt;
    /// An ICU zone identifier ("GMT", "Europe/Berlin", "GMT+02:00"). Nothing, or one that
    /// ICU does not know: the system's zone.
    std::optional<std::string> timeZone = std::nullopt;
    /// An ICU calendar type ("gregorian", "iso8601"); nothing: the locale's.
    std::optional<std::string> calendar = std::nullopt;
    /// Whether out-of-range fields are folded over (2023-02-31 reads as 2023-03-03) and
    /// numbers and white space are read loosely.
    bool isLenient = false;
  };

  explicit DateFormatter(Configuration configuration);
  ~DateFormatter();
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  const Configuration& configuration() const noexcept { return configuration_; }

  /// The text of a date; "" for a date that is not finite.
  std::string string(Date date) const;
  /// The date of a text, or nothing when the pattern does not match all of it.
  std::optional<Date> date(std::string_view text) const;

 private:
  friend const DateFormatter& iso8601Formatter();
  // The years in which `fastPath` reads and writes exactly what ICU does.
  DateFormatter(Configuration configuration, const RFC3339Format& fastPath);

  struct Engine;
  Configuration configuration_;
  std::unique_ptr<Engine> engine_;
  std::optional<RFC3339Format> fastPath_;
};

/// The process's one formatter of ISO 8601 dates with milliseconds, made on first use:
/// pattern "yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", locale "en_US_POSIX", GMT, the ISO 8601
/// calendar; it writes every date in GMT with "Z". Years 1583 to 9999 are read and written
/// by hand, others by ICU, with the same results.
const DateFormatter& iso8601Formatter();

}  // namespace platform
