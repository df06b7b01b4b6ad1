#pragma once
// Named values of any kind with a text form, turned into header values and query items.
// A text is itself, numbers and booleans are written as they print; a list of optional
// values stands for its present elements. Named values keep the order they are given in.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/core/Error.hpp"
#include "platform/net/URLComponents.hpp"

namespace TimeSeries {

class APIHelper {
 public:
  using Scalar = std::variant<std::string, bool, std::int64_t, std::uint64_t, double>;
  using List = std::vector<std::optional<Scalar>>;
  using Value = std::variant<Scalar, List>;
  using Values = std::vector<std::pair<std::string, Value>>;
  using OptionalValues = std::vector<std::pair<std::string, std::optional<Value>>>;
  using Texts = std::vector<std::pair<std::string, std::string>>;

  APIHelper() = delete;

  /// Any value with a text form: booleans and numbers stay what they are, anything else
  /// becomes its text (platform::describe). Characters are text, not their codes.
  template <typename T>
  static Scalar scalar(const T& value) {
    if constexpr (std::is_same_v<T, bool>)
      return value;
    else if constexpr (std::is_same_v<T, char>)
      return std::string(1, value);
    else if constexpr (std::is_same_v<T, char32_t>)
      return platform::describe(value);
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
      return static_cast<std::int64_t>(value);
    else if constexpr (std::is_integral_v<T>)
      return static_cast<std::uint64_t>(value);
    else if constexpr (std::is_floating_point_v<T>)
      return static_cast<double>(value);
    else
      return platform::describe(value);
  }

  static std::string text(const Scalar& value);
  /// The present entries; nothing when none is left.
  static std::optional<Values> nonNilValues(const OptionalValues& values);
  /// Each present value as text, a list's present elements joined with ",".
  static Texts headerValues(const OptionalValues& values);
  /// Every boolean value replaced by "true" or "false"; lists are left as they are.
  static std::optional<Values> boolsToText(const std::optional<Values>& values);
  /// A list becomes its present elements' texts joined with ","; anything else is returned as it is.
  static Value pathItemValue(const Value& value);
  /// One item per present value, one per present element of a list; nothing when no item is left.
  static std::optional<std::vector<platform::URLQueryItem>> queryItemsFromValues(const OptionalValues& values);
};

}  // namespace TimeSeries
