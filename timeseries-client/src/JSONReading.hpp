#pragma once
// Reading the client's JSON models, with the coding interface's errors and messages.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "TimeSeries/RawValue.hpp"
#include "platform/coding/CodingError.hpp"
#include "platform/coding/CodingKey.hpp"
#include "platform/core/Date.hpp"

namespace TimeSeries::json_reading {

using platform::coding::CodingKey;
using platform::coding::CodingPath;
using platform::coding::DecodingError;
using Json = nlohmann::ordered_json;

/// A key of a JSON object that no key type names (a parameter's name).
inline CodingKey objectKey(std::string_view name) { return CodingKey("_JSONKey", std::string(name), std::nullopt); }
inline CodingKey indexKey(std::int64_t index) { return CodingKey("_JSONKey", "Index " + std::to_string(index), index); }

[[noreturn]] void mismatch(std::string_view type, const Json& found, const CodingPath& path);

/// `json` as an object, or a type mismatch at `path`.
const Json& object(const Json& json, const CodingPath& path);
/// The member's value when the key is there and not null.
const Json* optionalMember(const Json& object, const CodingKey& key);
/// The member's value; a missing key or a null is an error.
const Json& requiredMember(const Json& object, const CodingKey& key, std::string_view type, const CodingPath& path);

std::string string(const Json& value, const CodingPath& path);
bool boolean(const Json& value, const CodingPath& path);
const Json& array(const Json& value, const CodingPath& path);
/// A date text read by CodableHelper's date formatter.
platform::Date date(const Json& value, const CodingPath& path);

template <typename E>
E enumeration(const Json& value, const CodingPath& path, std::string_view typeName) {
  std::string text = string(value, path);
  if (std::optional<E> found = fromRaw<E>(text)) return *found;
  throw DecodingError::dataCorrupted(
      {path, "Cannot initialize " + std::string(typeName) + " from invalid String value " + text, nullptr});
}

}  // namespace TimeSeries::json_reading
