#include "JSONReading.hpp"

#include "TimeSeries/CodableHelper.hpp"

namespace TimeSeries::json_reading {
namespace {

std::string kindOf(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "a dictionary";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    default:
      return "a number";
  }
}

}  // namespace

void mismatch(std::string_view type, const Json& found, const CodingPath& path) {
  throw DecodingError::typeMismatch(
      type, {path, "Expected to decode " + std::string(type) + " but found " + kindOf(found) + " instead.", nullptr});
}

const Json& object(const Json& json, const CodingPath& path) {
  if (!json.is_object()) mismatch("Dictionary<String, Any>", json, path);
  return json;
}

const Json* optionalMember(const Json& object, const CodingKey& key) {
  const auto found = object.find(std::string(key.stringValue()));
  if (found == object.end() || found->is_null()) return nullptr;
  return &*found;
}

const Json& requiredMember(const Json& object, const CodingKey& key, std::string_view type, const CodingPath& path) {
  const auto found = object.find(std::string(key.stringValue()));
  if (found == object.end())
    throw DecodingError::keyNotFound(
        key,
        {path, "No value associated with key " + key.description() + " (\"" + std::string(key.stringValue()) + "\").",
         nullptr});
  if (found->is_null())
    throw DecodingError::valueNotFound(
        type, {path.appending(key), "Expected " + std::string(type) + " value but found null instead.", nullptr});
  return *found;
}

std::string string(const Json& value, const CodingPath& path) {
  if (!value.is_string()) mismatch("String", value, path);
  return value.get<std::string>();
}

bool boolean(const Json& value, const CodingPath& path) {
  if (!value.is_boolean()) mismatch("Bool", value, path);
  return value.get<bool>();
}

const Json& array(const Json& value, const CodingPath& path) {
  if (!value.is_array()) mismatch("Array<Any>", value, path);
  return value;
}

platform::Date date(const Json& value, const CodingPath& path) {
  const std::string text = string(value, path);
  if (std::optional<platform::Date> read = CodableHelper::dateFormatter()->date(text)) return *read;
  throw DecodingError::dataCorrupted({path, "Date string does not match format expected by formatter.", nullptr});
}

}  // namespace TimeSeries::json_reading
