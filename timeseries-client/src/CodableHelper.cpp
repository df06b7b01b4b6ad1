#include "TimeSeries/CodableHelper.hpp"

#include <mutex>

#include "platform/coding/CodingError.hpp"

namespace TimeSeries {
namespace {

struct Settings {
  std::mutex mutex;
  std::shared_ptr<const JSONEncoder> customEncoder;
  std::shared_ptr<const DateFormatting> customFormatter;
};

Settings& settings() {
  static Settings shared;
  return shared;
}

}  // namespace

nlohmann::ordered_json JSONEncoder::encodeDate(platform::Date date,
                                               const platform::coding::CodingPath& codingPath) const {
  if (std::optional<std::string> text = CodableHelper::dateFormatter()->string(date)) return *text;
  throw platform::coding::EncodingError::invalidValue(
      date, {codingPath, "The date cannot be written: it is not finite or outside the years 1-9999.", nullptr});
}

platform::Data JSONEncoder::bytes(const nlohmann::ordered_json& document) const {
  try {
    return platform::Data::fromString(document.dump(2));
  } catch (const nlohmann::ordered_json::type_error&) {
    // Only a text that is not UTF-8 stops the dump; callers see the coding interface's error.
    throw platform::coding::EncodingError::invalidValue(
        document, {{}, "A text of the value is not valid UTF-8.", std::current_exception()});
  }
}

std::shared_ptr<const JSONEncoder> CodableHelper::jsonEncoder() {
  static const auto defaultEncoder = std::make_shared<const JSONEncoder>();
  std::lock_guard lock(settings().mutex);
  return settings().customEncoder ? settings().customEncoder : defaultEncoder;
}

void CodableHelper::setJSONEncoder(std::shared_ptr<const JSONEncoder> encoder) {
  std::lock_guard lock(settings().mutex);
  settings().customEncoder = std::move(encoder);
}

std::shared_ptr<const DateFormatting> CodableHelper::dateFormatter() {
  static const auto defaultFormatter = std::make_shared<const OpenISO8601DateFormatter>();
  if (auto custom = customDateFormatter()) return custom;
  return defaultFormatter;
}

std::shared_ptr<const DateFormatting> CodableHelper::customDateFormatter() {
  std::lock_guard lock(settings().mutex);
  return settings().customFormatter;
}

void CodableHelper::setDateFormatter(std::shared_ptr<const DateFormatting> formatter) {
  std::lock_guard lock(settings().mutex);
  settings().customFormatter = std::move(formatter);
}

}  // namespace TimeSeries
