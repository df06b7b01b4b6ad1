#include "QVExtensions/DateExtensions.hpp"

#include <unicode/calendar.h>
#include <unicode/timezone.h>

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
  calendar->setTime(start.timeIntervalSince1970() * 1000.0, status);
  const std::int32_t value = calendar->fieldDifference(end.timeIntervalSince1970() * 1000.0, field, status);
  return U_FAILURE(status) ? 0 : value;
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
