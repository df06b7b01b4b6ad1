#pragma once
// The requested form of a query's CSV answer. Every field is optional; an absent field is
// left out of the JSON. `fromJSON` throws platform::coding::DecodingError. `encode` and
// `decode` do the same through any coder of the coding interface.

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TimeSeries/RawValue.hpp"
#include "platform/coding/CodingKey.hpp"

namespace TimeSeries {

struct Dialect {
  enum class Annotations { group, datatype, _default };
  enum class DateTimeFormat { rfc3339, rfc3339nano };
  enum class CodingKeys { header, delimiter, annotations, commentPrefix, dateTimeFormat };
  friend constexpr std::array<std::string_view, 5> codingKeyNames(CodingKeys) {
    return {"header", "delimiter", "annotations", "commentPrefix", "dateTimeFormat"};
  }

  Dialect(std::optional<bool> header_ = std::nullopt, std::optional<std::string> delimiter_ = std::nullopt,
          std::optional<std::vector<Annotations>> annotations_ = std::nullopt,
          std::optional<std::string> commentPrefix_ = std::nullopt,
          std::optional<DateTimeFormat> dateTimeFormat_ = std::nullopt)
      : header(header_),
        delimiter(std::move(delimiter_)),
        annotations(std::move(annotations_)),
        commentPrefix(std::move(commentPrefix_)),
        dateTimeFormat(dateTimeFormat_) {}

  std::optional<bool> header;
  std::optional<std::string> delimiter;
  std::optional<std::vector<Annotations>> annotations;
  std::optional<std::string> commentPrefix;
  std::optional<DateTimeFormat> dateTimeFormat;

  nlohmann::ordered_json toJSON() const;
  /// `codingPath` is where the dialect stands in the document, for errors.
  static Dialect fromJSON(const nlohmann::ordered_json& json, const platform::coding::CodingPath& codingPath = {});

  void encode(platform::coding::Encoder& encoder) const;
  static Dialect decode(platform::coding::Decoder& decoder);
};

template <>
struct EnumTable<Dialect::Annotations> {
  static constexpr std::array<std::pair<Dialect::Annotations, std::string_view>, 3> cases{{
      {Dialect::Annotations::group, "group"},
      {Dialect::Annotations::datatype, "datatype"},
      {Dialect::Annotations::_default, "default"},
  }};
};

template <>
struct EnumTable<Dialect::DateTimeFormat> {
  static constexpr std::array<std::pair<Dialect::DateTimeFormat, std::string_view>, 2> cases{{
      {Dialect::DateTimeFormat::rfc3339, "RFC3339"},
      {Dialect::DateTimeFormat::rfc3339nano, "RFC3339Nano"},
  }};
};

}  // namespace TimeSeries

template <>
struct platform::coding::Coding<TimeSeries::Dialect::Annotations>
    : TimeSeries::RawValueCoding<TimeSeries::Dialect::Annotations> {};
template <>
struct platform::coding::Coding<TimeSeries::Dialect::DateTimeFormat>
    : TimeSeries::RawValueCoding<TimeSeries::Dialect::DateTimeFormat> {};
