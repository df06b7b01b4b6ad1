#pragma once
// A storable wrapper for a value of any property-list kind, or for no value.
// Only property-list values can be wrapped, so nothing else reaches the database.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>

#include "Defaults/Serializable.hpp"

namespace Defaults {

class AnySerializable {
 public:
  /// No value.
  AnySerializable() = default;
  AnySerializable(std::nullopt_t) {}
  AnySerializable(std::nullptr_t) {}
  /// A text; a null pointer is no value.
  AnySerializable(const char* text) {
    if (text) value_ = Object(text);
  }
  /// A single character is a text of one character, not its code.
  AnySerializable(char character) : value_(Object(std::string(1, character))) {}
  AnySerializable(Object value) : value_(std::move(value)) {}
  template <typename T>
    requires(std::is_constructible_v<Object, T> && !std::is_same_v<std::remove_cvref_t<T>, Object> &&
             !std::is_same_v<std::remove_cvref_t<T>, AnySerializable>)
  AnySerializable(T&& value) : value_(Object(std::forward<T>(value))) {}
  /// An empty optional gives no value.
  template <typename T>
    requires std::is_constructible_v<Object, const T&>
  AnySerializable(const std::optional<T>& value) {
    if (value) value_ = Object(*value);
  }

  bool isNil() const noexcept { return !value_.has_value(); }
  /// The wrapped object; nothing for no value.
  const std::optional<Object>& value() const noexcept { return value_; }

  /// Equal when both hold values of one kind that are equal (arrays and dictionaries element by element);
  /// an Int and a Double are never equal, and neither are two wrappers without a value.
  friend bool operator==(const AnySerializable& a, const AnySerializable& b);

 private:
  std::optional<Object> value_;
};

template <>
struct OptionalTraits<AnySerializable> {
  static constexpr bool isOptional = true;
  static bool isNil(const AnySerializable& value) { return value.isNil(); }
};

/// Stores the wrapped object itself; no value is stored as nothing.
struct AnyBridge {
  using Value = AnySerializable;
  using Serializable = Object;

  std::optional<Object> serialize(const std::optional<AnySerializable>& value) const {
    if (!value) return std::nullopt;
    return value->value();
  }
  /// Never absent: nothing reads as a wrapper without a value.
  std::optional<AnySerializable> deserialize(const std::optional<Object>& object) const {
    return object ? AnySerializable(*object) : AnySerializable();
  }
};

template <>
struct DefaultsSerializable<AnySerializable> {
  using Bridge = AnyBridge;
  static constexpr bool isStoredNatively = false;
};

}  // namespace Defaults

template <>
struct std::hash<Defaults::AnySerializable> {
  std::size_t operator()(const Defaults::AnySerializable& value) const noexcept;
};
