#pragma once
// Differences between two dates in whole calendar units, counted by the user's calendar
// (current locale, local time zone): a 23-hour day across a clock change is still one day.
// Each is negative when `start` lies after `end`, and 0 when the calendar has no answer.

#include <cstdint>
#include <string>

#include "platform/core/Date.hpp"
#include "platform/text/DateFormatter.hpp"

namespace QVExtensions {

std::int64_t years(platform::Date end, platform::Date start);
std::int64_t months(platform::Date end, platform::Date start);
std::int64_t weeksOfMonth(platform::Date end, platform::Date start);
std::int64_t days(platform::Date end, platform::Date start);
std::int64_t hours(platform::Date end, platform::Date start);
std::int64_t minutes(platform::Date end, platform::Date start);
std::int64_t seconds(platform::Date end, platform::Date start);

/// The formatter's text for the current date and time.
std::string stringForNow(const platform::DateFormatter& formatter);

}  // namespace QVExtensions
