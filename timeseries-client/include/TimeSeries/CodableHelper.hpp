#pragma once
// The client's JSON coding, process-wide: one JSON encoder and one date formatter, each
// the default unless a caller has put its own in place. Both may be replaced from any
// thread at any time; a reader gets whichever was in place when it asked.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "TimeSeries/OpenISO8601DateFormatter.hpp"
#include "platform/coding/CodingKey.hpp"
#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"

namespace TimeSeries {

/// Turns values that describe themselves as JSON (`toJSON(const JSONEncoder&)`) into bytes.
class JSONEncoder {
 public:
  virtual ~JSONEncoder() = default;

  /// The date's JSON value: its text by CodableHelper's date formatter. A date that cannot
  /// be written throws platform::coding::EncodingError (invalidValue) naming `codingPath`.
  virtual nlohmann::ordered_json encodeDate(platform::Date date, const platform::coding::CodingPath& codingPath) const;
  /// The document's bytes, pretty-printed. A text that is not UTF-8 throws
  /// platform::coding::EncodingError (invalidValue).
  virtual platform::Data bytes(const nlohmann::ordered_json& document) const;

  template <typename T>
  platform::Data encode(const T& value) const {
    return bytes(value.toJSON(*this));
  }
};

class CodableHelper {
 public:
  CodableHelper() = delete;

  /// The encoder set with `setJSONEncoder`, else the default one.
  static std::shared_ptr<const JSONEncoder> jsonEncoder();
  /// Null puts the default back.
  static void setJSONEncoder(std::shared_ptr<const JSONEncoder> encoder);

  /// The formatter set with `setDateFormatter`, else the default OpenISO8601DateFormatter.
  static std::shared_ptr<const DateFormatting> dateFormatter();
  /// The formatter set with `setDateFormatter`, or null when the default is in place.
  static std::shared_ptr<const DateFormatting> customDateFormatter();
  /// Null puts the default back.
  static void setDateFormatter(std::shared_ptr<const DateFormatting> formatter);
};

}  // namespace TimeSeries
