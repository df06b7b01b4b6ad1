#pragma once
// A property-list value: the only kinds of object the user-defaults database
// stores. Integers keep their full signed and unsigned 64-bit range; an
// unsigned value that fits the signed range is kept as signed, so that equal
// numbers compare equal whichever way they were made.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"

namespace platform {

class PropertyList {
 public:
  using Array = std::vector<PropertyList>;
  using Dictionary = std::map<std::string, PropertyList, std::less<>>;
  enum class Kind { boolean, integer, unsignedInteger, real, string, data, date, array, dictionary };

  PropertyList() : value_(Dictionary{}) {}
  PropertyList(bool value) : value_(value) {}
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_signed_v<T>)
  PropertyList(T value) : value_(static_cast<std::int64_t>(value)) {}
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && std::is_unsigned_v<T>)
  PropertyList(T value) {
    if (static_cast<std::uint64_t>(value) <= static_cast<std::uint64_t>(INT64_MAX))
      value_ = static_cast<std::int64_t>(value);
    else
      value_ = static_cast<std::uint64_t>(value);
  }
  PropertyList(double value) : value_(value) {}
  PropertyList(float value) : value_(static_cast<double>(value)) {}
  PropertyList(std::string value) : value_(std::move(value)) {}
  PropertyList(std::string_view value) : value_(std::string(value)) {}
  PropertyList(const char* value) : value_(std::string(value)) {}
  PropertyList(Data value) : value_(std::move(value)) {}
  PropertyList(Date value) : value_(value) {}
  PropertyList(Array value) : value_(std::move(value)) {}
  PropertyList(Dictionary value) : value_(std::move(value)) {}

  Kind kind() const noexcept { return static_cast<Kind>(value_.index()); }
  bool isNumber() const noexcept {
    return kind() == Kind::integer || kind() == Kind::unsignedInteger || kind() == Kind::real;
  }

  /// The value when it is of exactly that kind, else null.
  const bool* boolean() const noexcept { return std::get_if<bool>(&value_); }
  const std::int64_t* integer() const noexcept { return std::get_if<std::int64_t>(&value_); }
  /// Only integers above the signed range are held here.
  const std::uint64_t* unsignedInteger() const noexcept { return std::get_if<std::uint64_t>(&value_); }
  const double* real() const noexcept { return std::get_if<double>(&value_); }
  const std::string* string() const noexcept { return std::get_if<std::string>(&value_); }
  const Data* data() const noexcept { return std::get_if<Data>(&value_); }
  const Date* date() const noexcept { return std::get_if<Date>(&value_); }
  const Array* array() const noexcept { return std::get_if<Array>(&value_); }
  const Dictionary* dictionary() const noexcept { return std::get_if<Dictionary>(&value_); }
  Array* array() noexcept { return std::get_if<Array>(&value_); }
  Dictionary* dictionary() noexcept { return std::get_if<Dictionary>(&value_); }

  /// A short text for diagnostics and the database's number-to-text cast.
  std::string description() const;

  friend bool operator==(const PropertyList&, const PropertyList&) = default;

 private:
  std::variant<bool, std::int64_t, std::uint64_t, double, std::string, Data, Date, Array, Dictionary> value_;
};

/// The shortest decimal text that reads back as the same double ("1", "0.1", "1e+300", "nan", "inf").
std::string shortestText(double value);

}  // namespace platform
