#include "platform/text/Decimal.hpp"

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace platform {
namespace {

using Mantissa = Decimal::Mantissa;

constexpr std::array<Mantissa, Decimal::maximumDigits + 1> powersOfTen = [] {
  std::array<Mantissa, Decimal::maximumDigits + 1> powers{};
  Mantissa power = 1;
  for (auto& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

constexpr Mantissa mantissaLimit = powersOfTen[Decimal::maximumDigits - 1] * 10;  // 10^38

int digitCount(Mantissa value) {
  int count = 1;
  while (count < Decimal::maximumDigits && value >= powersOfTen[static_cast<std::size_t>(count)]) ++count;
  return value >= mantissaLimit ? Decimal::maximumDigits + 1 : count;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The separator of a locale, remembered per thread for the last locale asked, so that
// parsing a column of numbers asks ICU once.
std::string_view separatorOf(const std::optional<Locale>& locale) {
  if (!locale) return ".";
  struct Cached {
    std::string identifier;
    std::string separator;
    bool filled = false;
  };
  thread_local Cached cached;
  if (cached.filled && cached.identifier == locale->identifier()) return cached.separator;
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(icu::Locale(locale->identifier().c_str()), status);
  std::string separator;
  if (U_SUCCESS(status)) {
    symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol).toUTF8String(separator);
  }
  cached = {locale->identifier(), separator.empty() ? std::string(".") : std::move(separator), true};
  return cached.separator;
}

}  // namespace

Decimal::Decimal(std::int64_t value) {
  const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  *this = *make(value < 0, magnitude, 0);
}

std::optional<Decimal> Decimal::make(bool negative, Mantissa mantissa, int exponent) {
  Decimal result;
  if (mantissa == 0) return result;
  // Trailing zeros move into the exponent, and back out of it when it is too large, so that
  // every value has one form.
  long long power = exponent;
  while (mantissa % 10 == 0 && power < maximumExponent) {
    mantissa /= 10;
    ++power;
  }
  while (power > maximumExponent && mantissa < powersOfTen[maximumDigits - 1]) {
    mantissa *= 10;
    --power;
  }
  if (mantissa >= mantissaLimit || power < minimumExponent || power > maximumExponent) return std::nullopt;
  result.mantissa_ = mantissa;
  result.exponent_ = static_cast<std::int16_t>(power);
  result.negative_ = negative;
  return result;
}

std::optional<Decimal> Decimal::parse(std::string_view text, const std::optional<Locale>& locale) {
  const std::string_view separator = separatorOf(locale);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  Mantissa mantissa = 0;
  int significant = 0;           // digits in `mantissa`
  long long pendingZeros = 0;    // zeros after the last non-zero digit, not yet in `mantissa`
  long long fractionDigits = 0;  // digits after the separator
  bool anyDigit = false;
  bool afterSeparator = false;
  while (i < text.size()) {
    const char c = text[i];
    if (isDigit(c)) {
      anyDigit = true;
      if (afterSeparator) ++fractionDigits;
      if (c == '0') {
        if (significant > 0) ++pendingZeros;
      } else {
        const long long needed = significant + pendingZeros + 1;
        if (needed > maximumDigits) return std::nullopt;
        mantissa = mantissa * powersOfTen[static_cast<std::size_t>(pendingZeros + 1)] + static_cast<unsigned>(c - '0');
        significant = static_cast<int>(needed);
        pendingZeros = 0;
      }
      ++i;
    } else if (!afterSeparator && text.substr(i, separator.size()) == separator) {
      afterSeparator = true;
      i += separator.size();
    } else {
      break;
    }
  }
  if (!anyDigit) return std::nullopt;

  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i == text.size() || !isDigit(text[i])) return std::nullopt;
    for (; i < text.size() && isDigit(text[i]); ++i) {
      // Far beyond any exponent that fits; stops growing so that it cannot overflow.
      if (exponent < 1'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;
  if (mantissa == 0) return Decimal();

  const long long power = exponent + pendingZeros - fractionDigits;
  if (power < minimumExponent - maximumDigits || power > maximumExponent + maximumDigits) return std::nullopt;
  return make(negative, mantissa, static_cast<int>(power));
}

std::string Decimal::description(const std::optional<Locale>& locale) const {
  if (mantissa_ == 0) return "0";
  std::array<char, maximumDigits> buffer{};
  std::size_t count = 0;
  for (Mantissa rest = mantissa_; rest != 0; rest /= 10) buffer[count++] = static_cast<char>('0' + static_cast<int>(rest % 10));
  std::reverse(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
  const std::string_view digits(buffer.data(), count);

  std::string text;
  if (negative_) text += '-';
  if (exponent_ >= 0) {
    text += digits;
    text.append(static_cast<std::size_t>(exponent_), '0');
    return text;
  }
  const std::string_view separator = separatorOf(locale);
  const auto fraction = static_cast<std::size_t>(-exponent_);
  if (count > fraction) {
    text += digits.substr(0, count - fraction);
    text += separator;
    text += digits.substr(count - fraction);
  } else {
    text += '0';
    text += separator;
    text.append(fraction - count, '0');
    text += digits;
  }
  return text;
}

std::strong_ordering operator<=>(const Decimal& left, const Decimal& right) {
  if (left.isZero() || right.isZero() || left.negative_ != right.negative_) {
    auto signOf = [](const Decimal& value) { return value.isZero() ? 0 : value.negative_ ? -1 : 1; };
    return signOf(left) <=> signOf(right);
  }
  // Same sign: compare magnitudes by the position of the leading digit, then digit by digit.
  const int leftDigits = digitCount(left.mantissa_);
  const int rightDigits = digitCount(right.mantissa_);
  std::strong_ordering magnitude = (leftDigits + left.exponent_) <=> (rightDigits + right.exponent_);
  if (magnitude == 0) {
    Mantissa a = left.mantissa_;
    Mantissa b = right.mantissa_;
    if (leftDigits < rightDigits) a *= powersOfTen[static_cast<std::size_t>(rightDigits - leftDigits)];
    if (rightDigits < leftDigits) b *= powersOfTen[static_cast<std::size_t>(leftDigits - rightDigits)];
    magnitude = a <=> b;
  }
  return left.negative_ ? 0 <=> magnitude : magnitude;
}

}  // namespace platform
