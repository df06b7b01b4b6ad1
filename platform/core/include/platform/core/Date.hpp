#pragma once
// A point in time as the platform keeps it: seconds since 2001-01-01 00:00:00 UTC.

#include <compare>

namespace platform {

struct Date {
  /// Seconds between 1970-01-01 and 2001-01-01.
  static constexpr double timeIntervalBetween1970AndReferenceDate = 978307200.0;

  double timeIntervalSinceReferenceDate = 0;

  static Date fromTimeIntervalSince1970(double seconds) {
    return Date{seconds - timeIntervalBetween1970AndReferenceDate};
  }
  double timeIntervalSince1970() const { return timeIntervalSinceReferenceDate + timeIntervalBetween1970AndReferenceDate; }
  /// The current time.
  static Date now();

  friend auto operator<=>(const Date&, const Date&) = default;
};

}  // namespace platform
