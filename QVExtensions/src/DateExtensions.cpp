#include "QVExtensions/DateExtensions.hpp"

#include <unicode/calendar.h>
#include <unicode/timezone.h>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

#include "platform/text/Locale.hpp"

namespace QVExtensions {
namespace {

// Making a calendar loads locale data; a clone of a kept one is cheap. The prototype is
// remade when the pinned locale changes; the zone is set afresh on every clone.
std::unique_ptr<icu::Calendar> userCalendar() {
  static std::mutex mutex;
  static std::unique_ptr<icu::Calendar> prototype;
  static std::uint64_t generation = 0;
  std::lock_guard lock(mutex);
  if (!prototype || generation != platform::Locale::generation()) {
    UErrorCode status = U_ZERO_ERROR;
    prototype.reset(icu::Calendar::createInstance(
        icu::TimeZone::createDefault(), icu::Locale(platform::Locale::current().identifier().c_str()), status));
    if (U_FAILURE(status)) prototype.reset();
    generation = platform::Locale::generation();
  }
  std::unique_ptr<icu::Calendar> calendar(prototype ? prototype->clone() : nullptr);
  if (calendar) calendar->adoptTimeZone(icu::TimeZone::createDefault());  // the zone may have changed since
  return calendar;
}

std::int64_t difference(platform::Date end, platform::Date start, UCalendarDateFields field) {
  const std::unique_ptr<icu::Calendar> calendar = userCalendar();
  if (!calendar) return 0;
  UErrorCode status = U_ZERO_ERROR;
  const UDate target = end.timeIntervalSince1970() * 1000.0;
  if (!std::isfinite(target) || !std::isfinite(start.timeIntervalSinceReferenceDate)) return 0;
  calendar->setTime(start.timeIntervalSince1970() * 1000.0, status);
  // The calendar counts at most 2^31 - 1 units at a time (a lifetime in seconds is more): step
  // towards the end by that many while it cannot count the rest.
  constexpr std::int32_t step = std::numeric_limits<std::int32_t>::max();
  std::int64_t counted = 0;
  for (;;) {
    const UDate from = calendar->getTime(status);
    const std::int32_t value = calendar->fieldDifference(target, field, status);
    if (U_SUCCESS(status)) return counted + value;
    if (status != U_ILLEGAL_ARGUMENT_ERROR || from == target) return 0;
    status = U_ZERO_ERROR;
    const std::int32_t towards = from < target ? step : -step;
    calendar->setTime(from, status);
    calendar->add(field, towards, status);
    // A step that overshoots, or stalls at the calendar's limits, leaves nothing to count.
    const UDate reached = calendar->getTime(status);
    if (U_FAILURE(status) || !(towards > 0 ? from < reached && reached <= target : target <= reached && reached < from))
      return 0;
    counted += towards;
  }
}

}  // namespace

std::int64_t years(platform::Date end, platform::Date start) { return difference(end, start, UCAL_YEAR); }
std::int64_t months(platform::Date end, platform::Date start) { return difference(end, start, UCAL_MONTH); }
std::int64_t weeksOfMonth(platform::Date end, platform::Date start) {
  return difference(end, start, UCAL_WEEK_OF_MONTH);
}
std::int64_t days(platform::Date end, platform::Date start) { return difference(end, start, UCAL_DATE); }
std::int64_t hours(platform::Date end, platform::Date start) { return difference(end, start, UCAL_HOUR_OF_DAY); }
std::int64_t minutes(platform::Date end, platform::Date start) { return difference(end, start, UCAL_MINUTE); }
std::int64_t seconds(platform::Date end, platform::Date start) { return difference(end, start, UCAL_SECOND); }

std::string stringForNow(const platform::DateFormatter& formatter) { return formatter.string(platform::Date::now()); }

}  // namespace QVExtensions
