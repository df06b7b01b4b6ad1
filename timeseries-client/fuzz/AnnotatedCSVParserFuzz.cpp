// Any bytes as a query answer: the parser pulls every record or fails with its own error,
// never reading past a row or a table, and the records pulled without their table (which
// share its names) are those handed out with it; and any text reads as a number exactly as strtod
// reads it in the C locale.

#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "TimeSeries/AnnotatedCSVParser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);

  if (size <= 64 && text.find('\0') == std::string::npos) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char* end = nullptr;
    const double expected = strtod_l(text.c_str(), &end, c);
    const bool whole = !text.empty() && end == text.c_str() + text.size() &&
                       !(text[0] == ' ' || (text[0] >= '\t' && text[0] <= '\r'));
    const std::optional<double> read = TimeSeries::AnnotatedCSVParser::parseDouble(text);
    if (read.has_value() != whole) std::abort();
    if (read && !(std::isnan(expected) ? std::isnan(*read) && std::signbit(*read) == std::signbit(expected)
                                        : std::memcmp(&*read, &expected, sizeof expected) == 0))
      std::abort();
  }

  try {
    TimeSeries::AnnotatedCSVParser parser(platform::Data(bytes, size)), without(platform::Data(bytes, size));
    // Failures leave the parser able to go on; a read failure repeats, so the pulls are bounded.
    for (std::size_t pulls = 0; pulls < 4 * size + 8; ++pulls) {
      std::optional<TimeSeries::ResultRecord> record, alone;
      bool failed = false, failedAlone = false;
      try {
        if (auto next = parser.next()) record = std::move(next->second);
      } catch (const TimeSeries::TimeSeriesError&) {
        failed = true;
      }
      try {
        alone = without.nextRecord();
      } catch (const TimeSeries::TimeSeriesError&) {
        failedAlone = true;
      }
      if (failed != failedAlone || record.has_value() != alone.has_value()) std::abort();
      if (!record) {
        if (!failed) break;
        continue;
      }
      (void)(*alone == *record);  // false for a NaN, which equals nothing
      if (record->values().size() != alone->values().size()) std::abort();
      for (std::size_t k = 0; k < record->values().size(); ++k) {
        const auto& [name, value] = record->values()[k];
        const TimeSeries::ResultRecord::Value* other = alone->value(name);
        const auto* number = std::get_if<double>(&value);
        const bool same = other && (TimeSeries::ResultRecord::equal(value, *other) ||
                                    (number && std::isnan(*number) && std::holds_alternative<double>(*other) &&
                                     std::isnan(std::get<double>(*other))));
        if (alone->values()[k].first != name || !same) std::abort();
      }
    }
  } catch (const platform::Error&) {
    // The reader refused the bytes at construction.
  }
  return 0;
}
