#pragma once
// Types that turn into text and back without loss: the key types a stored
// dictionary may have, since the database keys dictionaries by text.

#include <charconv>
#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "Defaults/ObjectCast.hpp"

namespace Defaults {

template <typename T>
struct TextConversion;

template <typename T>
concept TextConvertible = requires(const T& value, std::string_view text) {
  { TextConversion<T>::description(value) } -> std::same_as<std::string>;
  { TextConversion<T>::fromText(text) } -> std::same_as<std::optional<T>>;
};

template <>
struct TextConversion<std::string> {
  static std::string description(const std::string& value) { return value; }
  static std::optional<std::string> fromText(std::string_view text) { return std::string(text); }
};

template <>
struct TextConversion<bool> {
  static std::string description(bool value) { return value ? "true" : "false"; }
  static std::optional<bool> fromText(std::string_view text) {
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
  }
};

/// Decimal text; an optional sign, then digits only.
template <Integer T>
struct TextConversion<T> {
  static std::string description(T value) { return std::to_string(value); }
  static std::optional<T> fromText(std::string_view text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end || *begin == '+' || (std::is_unsigned_v<T> && *begin == '-')) return std::nullopt;
    T value{};
    auto result = std::from_chars(begin, end, value);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
  }
};

}  // namespace Defaults
