#pragma once
// Casts between stored property-list objects and C++ values: what a stored
// object already is, without any conversion through text. Numbers cast to a
// numeric type only when the value is exactly representable there; Booleans
// and the numbers 0 and 1 cast both ways.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"
#include "platform/defaults/PropertyList.hpp"

namespace Defaults {

using Object = platform::PropertyList;

/// Integer types that are numbers (not Booleans, not characters).
template <typename T>
concept Integer = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
                  !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> &&
                  !std::is_same_v<T, char32_t>;

/// `toObject` gives the stored form (nothing when the value has none); `fromObject` the value, when the object is one.
template <typename T>
struct ObjectCast;

template <typename T>
concept ObjectCastable = requires(const T& value, const Object& object) {
  { ObjectCast<T>::toObject(value) } -> std::same_as<std::optional<Object>>;
  { ObjectCast<T>::fromObject(object) } -> std::same_as<std::optional<T>>;
};

namespace detail {

template <Integer T>
std::optional<T> exactInteger(const Object& object) {
  if (const std::int64_t* value = object.integer()) {
    if (std::in_range<T>(*value)) return static_cast<T>(*value);
  } else if (const std::uint64_t* large = object.unsignedInteger()) {
    if (std::in_range<T>(*large)) return static_cast<T>(*large);
  } else if (const double* real = object.real()) {
    // Exactly integral and inside T's range (the upper bound as a power of two is exact).
    constexpr double upper = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
    constexpr double lower = static_cast<double>(std::numeric_limits<T>::min());
    if (std::trunc(*real) == *real && *real >= lower && *real < upper) return static_cast<T>(*real);
  } else if (const bool* boolean = object.boolean()) {
    return static_cast<T>(*boolean ? 1 : 0);
  }
  return std::nullopt;
}

}  // namespace detail

template <>
struct ObjectCast<bool> {
  static std::optional<Object> toObject(bool value) { return Object(value); }
  static std::optional<bool> fromObject(const Object& object) {
    if (const bool* value = object.boolean()) return *value;
    if (auto number = detail::exactInteger<int>(object); number && (*number == 0 || *number == 1)) return *number == 1;
    return std::nullopt;
  }
};

template <Integer T>
struct ObjectCast<T> {
  static std::optional<Object> toObject(T value) { return Object(value); }
  static std::optional<T> fromObject(const Object& object) { return detail::exactInteger<T>(object); }
};

template <std::floating_point T>
struct ObjectCast<T> {
  static std::optional<Object> toObject(T value) { return Object(static_cast<double>(value)); }
  static std::optional<T> fromObject(const Object& object) {
    if (const double* real = object.real()) {
      if (std::is_same_v<T, double> || !std::isfinite(*real) ||
          std::fabs(*real) <= static_cast<double>(std::numeric_limits<T>::max()))
        return static_cast<T>(*real);
      return std::nullopt;
    }
    if (const bool* boolean = object.boolean()) return static_cast<T>(*boolean ? 1 : 0);
    // Integers only when the floating type holds them exactly.
    if (const std::int64_t* value = object.integer()) {
      auto converted = static_cast<T>(*value);
      if (std::isfinite(converted) && converted >= -0x1p63 && converted < 0x1p63 &&
          static_cast<std::int64_t>(converted) == *value)
        return converted;
    } else if (const std::uint64_t* large = object.unsignedInteger()) {
      auto converted = static_cast<T>(*large);
      if (std::isfinite(converted) && converted < 0x1p64 && static_cast<std::uint64_t>(converted) == *large)
        return converted;
    }
    return std::nullopt;
  }
};

template <>
struct ObjectCast<std::string> {
  static std::optional<Object> toObject(const std::string& value) { return Object(value); }
  static std::optional<std::string> fromObject(const Object& object) {
    if (const std::string* text = object.string()) return *text;
    return std::nullopt;
  }
};

template <>
struct ObjectCast<platform::Data> {
  static std::optional<Object> toObject(const platform::Data& value) { return Object(value); }
  static std::optional<platform::Data> fromObject(const Object& object) {
    if (const platform::Data* data = object.data()) return *data;
    return std::nullopt;
  }
};

template <>
struct ObjectCast<platform::Date> {
  static std::optional<Object> toObject(const platform::Date& value) { return Object(value); }
  static std::optional<platform::Date> fromObject(const Object& object) {
    if (const platform::Date* date = object.date()) return *date;
    return std::nullopt;
  }
};

/// Any object is itself.
template <>
struct ObjectCast<Object> {
  static std::optional<Object> toObject(const Object& value) { return value; }
  static std::optional<Object> fromObject(const Object& object) { return object; }
};

template <ObjectCastable W>
struct ObjectCast<std::optional<W>> {
  static std::optional<Object> toObject(const std::optional<W>& value) {
    if (!value) return std::nullopt;
    return ObjectCast<W>::toObject(*value);
  }
  static std::optional<std::optional<W>> fromObject(const Object& object) {
    if (auto value = ObjectCast<W>::fromObject(object)) return std::optional<W>(std::move(*value));
    return std::nullopt;
  }
};

/// An array; elements without a stored form are left out rather than stored as nothing.
template <ObjectCastable E>
struct ObjectCast<std::vector<E>> {
  static std::optional<Object> toObject(const std::vector<E>& values) {
    Object::Array array;
    array.reserve(values.size());
    for (const E& value : values)
      if (auto object = ObjectCast<E>::toObject(value)) array.push_back(std::move(*object));
    return Object(std::move(array));
  }
  static std::optional<std::vector<E>> fromObject(const Object& object) {
    const Object::Array* array = object.array();
    if (!array) return std::nullopt;
    std::vector<E> values;
    values.reserve(array->size());
    for (const Object& element : *array) {
      auto value = ObjectCast<E>::fromObject(element);
      if (!value) return std::nullopt;
      values.push_back(std::move(*value));
    }
    return values;
  }
};

/// A text-keyed dictionary, the only kind the database holds.
template <ObjectCastable V, typename Compare, typename Allocator>
struct ObjectCast<std::map<std::string, V, Compare, Allocator>> {
  using Map = std::map<std::string, V, Compare, Allocator>;
  static std::optional<Object> toObject(const Map& values) {
    Object::Dictionary dictionary;
    for (const auto& [key, value] : values)
      if (auto object = ObjectCast<V>::toObject(value)) dictionary.emplace(key, std::move(*object));
    return Object(std::move(dictionary));
  }
  static std::optional<Map> fromObject(const Object& object) {
    const Object::Dictionary* dictionary = object.dictionary();
    if (!dictionary) return std::nullopt;
    Map values;
    for (const auto& [key, element] : *dictionary) {
      auto value = ObjectCast<V>::fromObject(element);
      if (!value) return std::nullopt;
      values.emplace(key, std::move(*value));
    }
    return values;
  }
};

}  // namespace Defaults
