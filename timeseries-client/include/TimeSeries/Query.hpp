#pragma once
// The body of a query request. `toJSON` writes the present fields ("now" through the
// encoder's dates, which may throw platform::coding::EncodingError); `fromJSON` throws
// platform::coding::DecodingError and ignores keys it does not know. `encode` and `decode`
// do the same through any coder of the coding interface, whose dates are the coder's.

#include <array>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "TimeSeries/CodableHelper.hpp"
#include "TimeSeries/Dialect.hpp"
#include "TimeSeries/RawValue.hpp"
#include "platform/core/Date.hpp"

namespace TimeSeries {

struct Query {
  enum class ModelType { flux };
  enum class CodingKeys { query, type, params, dialect, now };
  friend constexpr std::array<std::string_view, 5> codingKeyNames(CodingKeys) {
    return {"query", "type", "params", "dialect", "now"};
  }

  explicit Query(std::string query_ = {}, std::optional<ModelType> type_ = std::nullopt,
                 std::optional<std::map<std::string, std::string>> params_ = std::nullopt,
                 std::optional<Dialect> dialect_ = std::nullopt, std::optional<platform::Date> now_ = std::nullopt)
      : query(std::move(query_)), type(type_), params(std::move(params_)), dialect(std::move(dialect_)), now(now_) {}

  std::string query;
  std::optional<ModelType> type;
  std::optional<std::map<std::string, std::string>> params;
  std::optional<Dialect> dialect;
  std::optional<platform::Date> now;

  nlohmann::ordered_json toJSON(const JSONEncoder& encoder = *CodableHelper::jsonEncoder()) const;
  /// "now" is read by CodableHelper's date formatter.
  static Query fromJSON(const nlohmann::ordered_json& json);

  void encode(platform::coding::Encoder& encoder) const;
  static Query decode(platform::coding::Decoder& decoder);
};

template <>
struct EnumTable<Query::ModelType> {
  static constexpr std::array<std::pair<Query::ModelType, std::string_view>, 1> cases{
      {{Query::ModelType::flux, "flux"}}};
};

}  // namespace TimeSeries

template <>
struct platform::coding::Coding<TimeSeries::Query::ModelType> : TimeSeries::RawValueCoding<TimeSeries::Query::ModelType> {
};
