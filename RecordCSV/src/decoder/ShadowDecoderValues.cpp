// Where a field's text becomes a value: every container decodes single values here.

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "RecordCSV/CodingKeys.hpp"
#include "decoder/ShadowDecoder.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/core/Base64.hpp"
#include "platform/text/CanonicalText.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/DateFormatter.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;
using platform::coding::DecodingError;

CSVDecoderError nestedContainerRequired(const CodingPath& path) {
  return invalidPathError("A nested container is needed to decode CSV row values",
                          "Request a nested container instead of trying to decode the value directly.", path);
}

/// The text of a row or of the whole input, which stand for their one field.
std::string_view onlyFieldText(const ValueSite& site) {
  ShadowDecoderSource& source = site.source;
  if (site.focus.kind == ValueFocus::Kind::row) {
    if (source.expectedFieldCount() != 1) throw nestedContainerRequired(site.codingPath());
    return source.field(site.focus.row, 0);
  }
  if (!source.isPastEnd(1) || source.expectedFieldCount() != 1) throw nestedContainerRequired(site.codingPath());
  return source.field(0, 0);
}

/// The focused text: a field, the one field of a row, or the one field of a one-row input.
inline std::string_view focusedText(const ValueSite& site) {
  if (site.focus.kind == ValueFocus::Kind::field) return site.source.field(site.focus.row, site.focus.field);
  return onlyFieldText(site);
}

[[noreturn]] void throwTypeMismatch(const ValueSite& site, std::string_view text, std::string_view type) {
  // A row or the whole input stands for its first field, whose path the error names.
  CodingPath path = site.codingPath();
  const int implied = site.focus.kind == ValueFocus::Kind::row ? 1 : site.focus.kind == ValueFocus::Kind::file ? 2 : 0;
  for (int i = 0; i < implied; ++i) path.push_back(CodingKey(IndexKey(0)));
  std::string description = "The field '";
  description.append(text).append("' was not of the expected type '").append(type).append("'.");
  throw DecodingError::typeMismatch(type, {std::move(path), std::move(description), nullptr});
}

/// The focused text converted by `convert`, or the type-mismatch error naming `type`.
template <typename Convert>
auto converted(const ValueSite& site, std::string_view type, Convert convert) {
  const std::string_view text = focusedText(site);
  if (auto value = convert(text)) return *value;
  throwTypeMismatch(site, text, type);
}

[[noreturn]] void throwDataCorrupted(const ValueSite& site, std::string description) {
  throw DecodingError::dataCorrupted({site.codingPath(), std::move(description), nullptr});
}

template <typename Result, typename Function>
Result callCustom(const ValueSite& site, const Function& function) {
  std::optional<Result> result;
  ShadowValues::withDecoder(site, [&](platform::coding::Decoder& decoder) { result.emplace(function(decoder)); });
  return std::move(*result);
}

template <typename T>
T ownCoding(const ValueSite& site) {
  std::optional<T> result;
  ShadowValues::withDecoder(
      site, [&](platform::coding::Decoder& decoder) { result.emplace(platform::coding::Coding<T>::decode(decoder)); });
  return std::move(*result);
}

/// Base 10, one optional sign, digits only; built digit by digit so that the most negative
/// value is reached without overflow, and "-0" is an unsigned zero.
template <typename Integer>
std::optional<Integer> parseInteger(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i == text.size()) return std::nullopt;
  Integer value = 0;
  for (; i < text.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(text[i]) - unsigned{'0'};
    if (digit > 9) return std::nullopt;
    if (__builtin_mul_overflow(value, 10, &value)) return std::nullopt;
    if (negative ? __builtin_sub_overflow(value, digit, &value) : __builtin_add_overflow(value, digit, &value))
      return std::nullopt;
  }
  return value;
}

/// The C library's reading of a floating-point number in the POSIX locale; nothing unless it
/// takes the whole text, which must not start with white space.
template <typename Float>
std::optional<Float> parsePOSIX(std::string_view text) {
  static const locale_t posix = newlocale(LC_ALL_MASK, "C", nullptr);
  if (text.empty() || std::string_view(" \t\n\v\f\r").find(text.front()) != std::string_view::npos) return std::nullopt;
  const std::string terminated(text);
  char* end = nullptr;
  Float value;
  if constexpr (std::is_same_v<Float, float>)
    value = strtof_l(terminated.c_str(), &end, posix);
  else
    value = strtod_l(terminated.c_str(), &end, posix);
  if (end != terminated.c_str() + terminated.size()) return std::nullopt;
  return value;
}

template <typename Float>
std::optional<Float> parseFloat(std::string_view text, const Strategy::NonConformingFloat& strategy) {
  const std::optional<Float> parsed = parsePOSIX<Float>(text);
  if (parsed && std::isfinite(*parsed)) return parsed;
  const auto* convert = std::get_if<Strategy::NonConformingFloat::Convert>(&strategy.value);
  if (!convert) return std::nullopt;
  if (platform::canonicallyEqual(text, convert->positiveInfinity)) return std::numeric_limits<Float>::infinity();
  if (platform::canonicallyEqual(text, convert->negativeInfinity)) return -std::numeric_limits<Float>::infinity();
  if (platform::canonicallyEqual(text, convert->nan)) return std::numeric_limits<Float>::quiet_NaN();
  return std::nullopt;
}

/// "TRUE", "YES", "FALSE", "NO" and the empty text once upper-cased by the default case mapping.
std::optional<bool> parseInsensitively(std::string_view text) {
  std::string upper;
  if (platform::isASCII(text)) {
    upper.reserve(text.size());
    for (const char c : text) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  } else {
    upper = platform::uppercased(text, platform::Locale::root());
  }
  if (platform::canonicallyEqual(upper, "TRUE") || platform::canonicallyEqual(upper, "YES")) return true;
  if (upper.empty() || platform::canonicallyEqual(upper, "FALSE") || platform::canonicallyEqual(upper, "NO")) return false;
  return std::nullopt;
}

std::optional<bool> parseExactly(std::string_view text, std::string_view yes, std::string_view no) {
  if (platform::canonicallyEqual(text, yes)) return true;
  if (platform::canonicallyEqual(text, no)) return false;
  return std::nullopt;
}

/// A missing formatter reads no date.
platform::Date dateByFormatter(const ValueSite& site, const platform::DateFormatter* formatter,
                               std::string_view strategyName) {
  const std::string_view text = focusedText(site);
  if (formatter)
    if (std::optional<platform::Date> date = formatter->date(text)) return *date;
  std::string description = "The field '";
  description.append(text).append("' couldn't be transformed into a Date using the '").append(strategyName);
  throwDataCorrupted(site, description.append("' strategy."));
}

}  // namespace

bool ShadowValues::decodeNil(const ValueSite& site) {
  const Strategy::NilDecoding& strategy = site.source.configuration().nilStrategy;
  if (strategy.kind() == Strategy::NilDecoding::Kind::custom) return callCustom<bool>(site, strategy.function());
  try {
    return focusedText(site).empty();
  } catch (...) {
    // A value that cannot be fetched is not nil; decoding it reports why.
    return false;
  }
}

bool ShadowValues::decodeBool(const ValueSite& site) {
  const Strategy::BoolDecoding& strategy = site.source.configuration().boolStrategy;
  using BoolKind = Strategy::BoolDecoding::Kind;
  switch (strategy.kind()) {
    case BoolKind::custom:
      return callCustom<bool>(site, strategy.function());
    case BoolKind::insensitive:
      return converted(site, "Bool", parseInsensitively);
    case BoolKind::deferredToBool:
      return converted(site, "Bool", [](std::string_view text) { return parseExactly(text, "true", "false"); });
    case BoolKind::numeric:
      return converted(site, "Bool", [](std::string_view text) { return parseExactly(text, "1", "0"); });
  }
  return false;
}

std::string ShadowValues::decodeString(const ValueSite& site) { return std::string(focusedText(site)); }

double ShadowValues::decodeDouble(const ValueSite& site) {
  const Strategy::NonConformingFloat& strategy = site.source.configuration().nonConformingFloatStrategy;
  return converted(site, "Double", [&](std::string_view text) { return parseFloat<double>(text, strategy); });
}

float ShadowValues::decodeFloat(const ValueSite& site) {
  const Strategy::NonConformingFloat& strategy = site.source.configuration().nonConformingFloatStrategy;
  return converted(site, "Float", [&](std::string_view text) { return parseFloat<float>(text, strategy); });
}

template <typename Integer>
Integer ShadowValues::decodeInteger(const ValueSite& site) {
  return converted(site, platform::coding::typeName<Integer>(), parseInteger<Integer>);
}

template std::int8_t ShadowValues::decodeInteger<std::int8_t>(const ValueSite&);
template std::int16_t ShadowValues::decodeInteger<std::int16_t>(const ValueSite&);
template std::int32_t ShadowValues::decodeInteger<std::int32_t>(const ValueSite&);
template std::int64_t ShadowValues::decodeInteger<std::int64_t>(const ValueSite&);
template std::uint8_t ShadowValues::decodeInteger<std::uint8_t>(const ValueSite&);
template std::uint16_t ShadowValues::decodeInteger<std::uint16_t>(const ValueSite&);
template std::uint32_t ShadowValues::decodeInteger<std::uint32_t>(const ValueSite&);
template std::uint64_t ShadowValues::decodeInteger<std::uint64_t>(const ValueSite&);

platform::Date ShadowValues::decodeDate(const ValueSite& site) {
  const Strategy::DateDecoding& strategy = site.source.configuration().dateStrategy;
  using DateKind = Strategy::DateDecoding::Kind;
  switch (strategy.kind()) {
    case DateKind::deferredToDate:
      return ownCoding<platform::Date>(site);
    case DateKind::secondsSince1970:
      return platform::Date::fromTimeIntervalSince1970(decodeDouble(site));
    case DateKind::millisecondsSince1970:
      return platform::Date::fromTimeIntervalSince1970(decodeDouble(site) / 1000.0);
    case DateKind::iso8601:
      return dateByFormatter(site, &platform::iso8601Formatter(), ".iso8601");
    case DateKind::formatted:
      return dateByFormatter(site, strategy.formatter().get(), ".formatted");
    case DateKind::custom:
      return callCustom<platform::Date>(site, strategy.function());
  }
  return {};
}

platform::Data ShadowValues::decodeData(const ValueSite& site) {
  const Strategy::DataDecoding& strategy = site.source.configuration().dataStrategy;
  using DataKind = Strategy::DataDecoding::Kind;
  switch (strategy.kind()) {
    case DataKind::deferredToData:
      return ownCoding<platform::Data>(site);
    case DataKind::custom:
      return callCustom<platform::Data>(site, strategy.function());
    case DataKind::base64:
      break;
  }
  const std::string_view text = focusedText(site);
  if (std::optional<platform::Data> data = platform::base64Decoded(text, platform::Base64Decoding::strict))
    return std::move(*data);
  std::string description = "The field '";
  throwDataCorrupted(site, description.append(text).append("' couldn't be transformed into a Base64 data blob."));
}

platform::Decimal ShadowValues::decodeDecimal(const ValueSite& site) {
  const Strategy::DecimalDecoding& strategy = site.source.configuration().decimalStrategy;
  if (strategy.kind() == Strategy::DecimalDecoding::Kind::custom)
    return callCustom<platform::Decimal>(site, strategy.function());
  const std::string_view text = focusedText(site);
  const std::optional<platform::Locale>& locale = strategy.localeValue();
  if (std::optional<platform::Decimal> value = platform::Decimal::parse(text, locale)) return *value;
  std::string description = "The string '";
  description.append(text).append("' couldn't be transformed into a Decimal using the '.locale' strategy.");
  if (locale) description.append(" with locale '").append(locale->identifier()).append("'");
  throwDataCorrupted(site, std::move(description));
}

platform::URL ShadowValues::decodeURL(const ValueSite& site) {
  return converted(site, "URL", [](std::string_view text) { return platform::URL::parse(text); });
}

void ShadowValues::withDecoder(const ValueSite& site,
                               platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) {
  ShadowDecoder decoder(site.source, site.codingPath(), true);
  decode(decoder);
}

}  // namespace RecordCSV
