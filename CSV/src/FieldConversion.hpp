#pragma once
// Field texts read as numbers, exactly and whole: integers by hand with range checks,
// floating-point numbers as the C locale's strtod and strtof read them.

#include <concepts>
#include <optional>
#include <string>

namespace CSV {

/// An optional "+" or "-" and one or more decimal digits, within the type's range; an
/// unsigned type takes "-" only before zero.
template <std::integral Integer>
std::optional<Integer> parseInteger(const std::string& text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) ++i;
  if (i == text.size()) return std::nullopt;
  unsigned long long magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<unsigned>(c - '0');
    if (magnitude > (~0ull - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  using Unsigned = std::make_unsigned_t<Integer>;
  constexpr auto maximum = static_cast<unsigned long long>(std::numeric_limits<Integer>::max());
  if (!negative) {
    if (magnitude > maximum) return std::nullopt;
    return static_cast<Integer>(magnitude);
  }
  if constexpr (std::is_unsigned_v<Integer>) {
    if (magnitude != 0) return std::nullopt;
    return Integer{0};
  } else {
    if (magnitude > maximum + 1) return std::nullopt;
    return static_cast<Integer>(static_cast<Unsigned>(0) - static_cast<Unsigned>(magnitude));
  }
}

/// The whole text as one number of the C locale's notation; nothing for a text that starts
/// with white space or NUL (which strtod would skip or stop at) or goes on after the number.
std::optional<double> parseDouble(const std::string& text);
std::optional<float> parseFloat(const std::string& text);

}  // namespace CSV
