#pragma once
// How values are written as JSON and read back, strictly: a number reads as an
// integer only when it is one exactly, a Boolean only from true and false, data
// as base-64 text, a date as seconds since 2001, a UUID as its upper-case text.
// Writing a value that JSON cannot hold (a NaN, an infinity, text that is not
// UTF-8) throws JSONEncodingError.

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "Defaults/ObjectCast.hpp"
#include "Defaults/TextConvertible.hpp"
#include "platform/core/Base64.hpp"
#include "platform/io/FileURL.hpp"
#include "platform/system/UUID.hpp"

namespace Defaults {

using JSON = nlohmann::json;

/// A value that JSON cannot represent.
class JSONEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// `encode` gives the JSON of a value (or throws JSONEncodingError); `decode` the value of a JSON, when it is one.
template <typename T>
struct JSONCoding;

template <typename T>
concept JSONCodable = requires(const T& value, const JSON& json) {
  { JSONCoding<T>::encode(value) } -> std::same_as<JSON>;
  { JSONCoding<T>::decode(json) } -> std::same_as<std::optional<T>>;
};

template <>
struct JSONCoding<bool> {
  static JSON encode(bool value) { return value; }
  static std::optional<bool> decode(const JSON& json) {
    if (json.is_boolean()) return json.get<bool>();
    return std::nullopt;
  }
};

template <Integer T>
struct JSONCoding<T> {
  static JSON encode(T value) {
    if constexpr (std::is_signed_v<T>)
      return static_cast<std::int64_t>(value);
    else
      return static_cast<std::uint64_t>(value);
  }
  static std::optional<T> decode(const JSON& json) {
    if (json.is_number_unsigned()) return std::in_range<T>(json.get<std::uint64_t>()) ? std::optional<T>(static_cast<T>(json.get<std::uint64_t>())) : std::nullopt;
    if (json.is_number_integer()) return std::in_range<T>(json.get<std::int64_t>()) ? std::optional<T>(static_cast<T>(json.get<std::int64_t>())) : std::nullopt;
    if (json.is_number_float()) return ObjectCast<T>::fromObject(Object(json.get<double>()));
    return std::nullopt;
  }
};

template <std::floating_point T>
struct JSONCoding<T> {
  static JSON encode(T value) {
    if (!std::isfinite(value))
      throw JSONEncodingError("Unable to encode " + platform::shortestText(static_cast<double>(value)) +
                              " directly in JSON.");
    // Whole numbers are written without a fraction, as the platform's encoder writes them (1, not 1.0).
    if (std::trunc(value) == value && std::fabs(value) < 0x1p53 && !(value == 0 && std::signbit(value)))
      return static_cast<std::int64_t>(value);
    if constexpr (std::is_same_v<T, float>) {
      // The double nearest the float's own shortest text, so 0.1f is written as 0.1.
      char text[32];
      auto end = std::to_chars(text, text + sizeof text, value).ptr;
      double widened = 0;
      std::from_chars(text, end, widened);
      return widened;
    }
    return static_cast<double>(value);
  }
  static std::optional<T> decode(const JSON& json) {
    if (!json.is_number()) return std::nullopt;
    double value = json.get<double>();
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<T>::max())) return std::nullopt;
    return static_cast<T>(value);
  }
};

template <>
struct JSONCoding<std::string> {
  static JSON encode(const std::string& value) { return value; }  // jsonText checks it is UTF-8
  static std::optional<std::string> decode(const JSON& json) {
    if (json.is_string()) return json.get<std::string>();
    return std::nullopt;
  }
};

template <>
struct JSONCoding<platform::Data> {
  static JSON encode(const platform::Data& value) { return platform::base64Encoded(value); }
  static std::optional<platform::Data> decode(const JSON& json) {
    if (!json.is_string()) return std::nullopt;
    return platform::base64Decoded(json.get_ref<const std::string&>());
  }
};

template <>
struct JSONCoding<platform::Date> {
  static JSON encode(const platform::Date& value) {
    return JSONCoding<double>::encode(value.timeIntervalSinceReferenceDate);
  }
  static std::optional<platform::Date> decode(const JSON& json) {
    if (auto seconds = JSONCoding<double>::decode(json)) return platform::Date{*seconds};
    return std::nullopt;
  }
};

template <>
struct JSONCoding<platform::UUID> {
  static JSON encode(const platform::UUID& value) { return value.uuidString(); }
  static std::optional<platform::UUID> decode(const JSON& json) {
    if (!json.is_string()) return std::nullopt;
    return platform::UUID::fromString(json.get_ref<const std::string&>());
  }
};

/// A file location codes as its "file://" URL text.
template <>
struct JSONCoding<std::filesystem::path> {
  static JSON encode(const std::filesystem::path& value) { return platform::fileURLString(value); }
  static std::optional<std::filesystem::path> decode(const JSON& json) {
    if (!json.is_string()) return std::nullopt;
    return platform::fileURLPath(json.get_ref<const std::string&>());
  }
};

template <JSONCodable W>
struct JSONCoding<std::optional<W>> {
  static JSON encode(const std::optional<W>& value) { return value ? JSONCoding<W>::encode(*value) : JSON(nullptr); }
  static std::optional<std::optional<W>> decode(const JSON& json) {
    if (json.is_null()) return std::optional<W>();
    if (auto value = JSONCoding<W>::decode(json)) return std::optional<W>(std::move(*value));
    return std::nullopt;
  }
};

namespace detail {

template <typename Container, typename Element>
struct JSONSequence {
  static JSON encode(const Container& values) {
    JSON array = JSON::array();
    for (const Element& value : values) array.push_back(JSONCoding<Element>::encode(value));
    return array;
  }
  static std::optional<Container> decode(const JSON& json) {
    if (!json.is_array()) return std::nullopt;
    Container values;
    for (const JSON& element : json) {
      auto value = JSONCoding<Element>::decode(element);
      if (!value) return std::nullopt;
      values.insert(values.end(), std::move(*value));
    }
    return values;
  }
};

}  // namespace detail

template <JSONCodable E>
struct JSONCoding<std::vector<E>> : detail::JSONSequence<std::vector<E>, E> {};
template <JSONCodable E, typename Compare>
struct JSONCoding<std::set<E, Compare>> : detail::JSONSequence<std::set<E, Compare>, E> {};
template <JSONCodable E, typename Hash, typename Equal>
struct JSONCoding<std::unordered_set<E, Hash, Equal>> : detail::JSONSequence<std::unordered_set<E, Hash, Equal>, E> {};

/// Dictionaries are JSON objects keyed by the keys' texts.
template <TextConvertible K, JSONCodable V, typename Compare>
struct JSONCoding<std::map<K, V, Compare>> {
  static JSON encode(const std::map<K, V, Compare>& values) {
    JSON object = JSON::object();
    for (const auto& [key, value] : values) object[TextConversion<K>::description(key)] = JSONCoding<V>::encode(value);
    return object;
  }
  static std::optional<std::map<K, V, Compare>> decode(const JSON& json) {
    if (!json.is_object()) return std::nullopt;
    std::map<K, V, Compare> values;
    for (const auto& [text, element] : json.items()) {
      auto key = TextConversion<K>::fromText(text);
      auto value = JSONCoding<V>::decode(element);
      if (!key || !value) return std::nullopt;
      values.insert_or_assign(std::move(*key), std::move(*value));
    }
    return values;
  }
};

/// The JSON text of a value, as the database stores codable values: slashes escaped, as the platform's encoder writes them.
template <JSONCodable T>
std::string encodeJSONText(const T& value);
std::string jsonText(const JSON& json);  // throws JSONEncodingError for text that is not UTF-8

template <JSONCodable T>
std::string encodeJSONText(const T& value) {
  return jsonText(JSONCoding<T>::encode(value));
}

/// The value of a JSON text, or nothing when it is no JSON of T.
template <JSONCodable T>
std::optional<T> decodeJSONText(std::string_view text) {
  JSON json = JSON::parse(text, nullptr, false);
  if (json.is_discarded()) return std::nullopt;
  return JSONCoding<T>::decode(json);
}

}  // namespace Defaults
