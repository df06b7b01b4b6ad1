#pragma once
// An exact decimal number: a sign, a mantissa of at most 38 digits and a power of ten
// between -128 and 127. It is only parsed and printed; a text whose value does not fit
// exactly is refused, never rounded.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/Locale.hpp"

namespace platform {

class Decimal {
 public:
  __extension__ typedef unsigned __int128 Mantissa;

  static constexpr int maximumDigits = 38;
  static constexpr int minimumExponent = -128;
  static constexpr int maximumExponent = 127;

  /// Zero.
  constexpr Decimal() = default;
  explicit Decimal(std::int64_t value);
  /// `(negative ? -1 : 1) × mantissa × 10^exponent`; nothing when it does not fit exactly.
  static std::optional<Decimal> make(bool negative, Mantissa mantissa, int exponent);

  /// An optional "+" or "-", digits with at most one decimal separator among them (the
  /// locale's, "." without a locale), then optionally "e" or "E", a sign and digits. The
  /// whole text must be the number: white space or anything after it gives nothing.
  static std::optional<Decimal> parse(std::string_view text, const std::optional<Locale>& locale = std::nullopt);

  /// Plain notation ("-1234.5", "0.001", "1000"), with the locale's decimal separator
  /// ("." without a locale); zero is "0".
  std::string description(const std::optional<Locale>& locale = std::nullopt) const;

  bool isNegative() const noexcept { return negative_; }
  bool isZero() const noexcept { return mantissa_ == 0; }
  /// The value is kept with as few mantissa digits as the exponent range allows, so equal
  /// values have equal parts.
  Mantissa mantissa() const noexcept { return mantissa_; }
  int exponent() const noexcept { return exponent_; }

  friend bool operator==(const Decimal&, const Decimal&) = default;
  friend std::strong_ordering operator<=>(const Decimal& left, const Decimal& right);

 private:
  Mantissa mantissa_ = 0;
  std::int16_t exponent_ = 0;
  bool negative_ = false;
};

}  // namespace platform
