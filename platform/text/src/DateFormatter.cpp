#include "platform/text/DateFormatter.hpp"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cmath>
#include <mutex>

namespace platform {

struct DateFormatter::Engine {
  std::mutex mutex;
  std::unique_ptr<icu::SimpleDateFormat> format;  // null when ICU refused the pattern
};

namespace {

std::unique_ptr<icu::SimpleDateFormat> makeFormat(const DateFormatter::Configuration& configuration) {
  const Locale& locale = configuration.locale ? *configuration.locale : Locale::current();
  icu::Locale icuLocale(locale.identifier().c_str());
  UErrorCode status = U_ZERO_ERROR;
  if (configuration.calendar) icuLocale.setKeywordValue("calendar", configuration.calendar->c_str(), status);
  status = U_ZERO_ERROR;
  auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(configuration.dateFormat), icuLocale, status);
  if (U_FAILURE(status)) return nullptr;
  if (configuration.timeZone) {
    std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(*configuration.timeZone)));
    if (zone && *zone != icu::TimeZone::getUnknown()) format->adoptTimeZone(zone.release());
  }
  format->setLenient(configuration.isLenient);
  return format;
}

}  // namespace

DateFormatter::DateFormatter(Configuration configuration)
    : configuration_(std::move(configuration)), engine_(std::make_unique<Engine>()) {
  engine_->format = makeFormat(configuration_);
}

DateFormatter::DateFormatter(Configuration configuration, const RFC3339Format& fastPath)
    : DateFormatter(std::move(configuration)) {
  fastPath_ = fastPath;
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::string(Date date) const {
  if (!std::isfinite(date.timeIntervalSinceReferenceDate)) return {};
  if (fastPath_) {
    char buffer[RFC3339Format::maximumLength];
    if (std::size_t length = fastPath_->write(date, buffer)) return std::string(buffer, length);
  }
  // Rounded to the nearest millisecond, which ICU then keeps.
  const UDate milliseconds = (date.timeIntervalSinceReferenceDate + Date::timeIntervalBetween1970AndReferenceDate) * 1000.0 + 0.5;
  std::string text;
  std::lock_guard lock(engine_->mutex);
  if (!engine_->format) return text;
  icu::UnicodeString formatted;
  engine_->format->format(milliseconds, formatted);
  formatted.toUTF8String(text);
  return text;
}

std::optional<Date> DateFormatter::date(std::string_view text) const {
  if (fastPath_) {
    const std::optional<RFC3339Format::Fields> fields = fastPath_->scan(text);
    if (fields && fields->year >= fastPath_->options().minimumYear && fields->year <= fastPath_->options().maximumYear) {
      return fastPath_->date(*fields);
    }
  }
  // No pattern matches a text this long; ICU counts in 32-bit lengths.
  if (text.size() > 4096) return std::nullopt;
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  std::lock_guard lock(engine_->mutex);
  if (!engine_->format) return std::nullopt;
  icu::ParsePosition position(0);
  const UDate milliseconds = engine_->format->parse(unicode, position);
  if (position.getErrorIndex() >= 0 || position.getIndex() != unicode.length()) return std::nullopt;
  return Date{milliseconds / 1000.0 - Date::timeIntervalBetween1970AndReferenceDate};
}

const DateFormatter& iso8601Formatter() {
  static const DateFormatter formatter(
      {.dateFormat = "yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", .locale = Locale("en_US_POSIX"), .timeZone = "GMT", .calendar = "iso8601"},
      RFC3339Format({.minimumFractionDigits = 3,
                     .maximumFractionDigits = 3,
                     .keptFractionDigits = 3,
                     .writtenFractionDigits = 3,
                     .minimumYear = 1583,
                     .maximumYear = 9999}));
  return formatter;
}

}  // namespace platform
