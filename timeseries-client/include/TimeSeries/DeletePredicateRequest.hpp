#pragma once
// The body of a delete request: the time range and an optional predicate in the server's
// syntax. `toJSON` writes the dates through the encoder (which may throw
// platform::coding::EncodingError); `fromJSON` throws platform::coding::DecodingError.
// `encode` and `decode` do the same through any coder of the coding interface.

#include <array>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "TimeSeries/CodableHelper.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/core/Date.hpp"

namespace TimeSeries {

struct DeletePredicateRequest {
  enum class CodingKeys { start, stop, predicate };
  friend constexpr std::array<std::string_view, 3> codingKeyNames(CodingKeys) { return {"start", "stop", "predicate"}; }

  DeletePredicateRequest(platform::Date start_ = {}, platform::Date stop_ = {},
                         std::optional<std::string> predicate_ = std::nullopt)
      : start(start_), stop(stop_), predicate(std::move(predicate_)) {}

  platform::Date start;
  platform::Date stop;
  std::optional<std::string> predicate;

  nlohmann::ordered_json toJSON(const JSONEncoder& encoder = *CodableHelper::jsonEncoder()) const;
  static DeletePredicateRequest fromJSON(const nlohmann::ordered_json& json);

  void encode(platform::coding::Encoder& encoder) const;
  static DeletePredicateRequest decode(platform::coding::Decoder& decoder);
};

}  // namespace TimeSeries
