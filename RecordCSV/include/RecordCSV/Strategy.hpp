#pragma once
// The strategies that readers, writers and the record coders share.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "platform/text/Locale.hpp"

namespace platform {
struct Date;
class Data;
class Decimal;
class DateFormatter;
}  // namespace platform
namespace platform::coding {
class Decoder;
}  // namespace platform::coding

namespace RecordCSV::Strategy {

/// The scalar that opens and closes an escaped field and is doubled inside it, or none.
class Escaping {
 public:
  /// Fields are never escaped.
  static Escaping none() { return Escaping(); }
  static Escaping scalar(char32_t value) { return Escaping(value); }
  /// The module's standard: the double quote.
  static Escaping standard() { return Escaping(U'"'); }

  bool isNone() const noexcept { return !scalar_; }
  /// The escaping scalar, absent for `none`.
  std::optional<char32_t> scalar() const noexcept { return scalar_; }

  friend bool operator==(const Escaping&, const Escaping&) = default;

 private:
  Escaping() = default;
  explicit Escaping(char32_t value) : scalar_(value) {}
  std::optional<char32_t> scalar_;
};

/// Where the header row is: after the first n rows, nowhere, or the first row.
class Header {
 public:
  enum class Kind { lineNumber, none, firstLine };

  static Header none() { return Header(Kind::none, 0); }
  static Header firstLine() { return Header(Kind::firstLine, 0); }
  static Header lineNumber(std::int64_t line) { return Header(Kind::lineNumber, line); }
  /// false gives `none`, true gives `firstLine`.
  static Header fromBool(bool present) { return present ? firstLine() : none(); }

  Kind kind() const noexcept { return kind_; }
  /// The rows skipped before the header; meaningful for `lineNumber` only.
  std::int64_t line() const noexcept { return line_; }

  friend bool operator==(const Header&, const Header&) = default;

 private:
  Header(Kind kind, std::int64_t line) : kind_(kind), line_(line) {}
  Kind kind_;
  std::int64_t line_;
};

/// Whether the writer puts a byte-order mark before its output.
enum class BOM { convention, always, never };

/// How the record coders turn infinities and not-a-number into text and back.
struct NonConformingFloat {
  struct Convert {
    std::string positiveInfinity;
    std::string negativeInfinity;
    std::string nan;
    friend bool operator==(const Convert&, const Convert&) = default;
  };
  struct Throw {
    friend bool operator==(const Throw&, const Throw&) = default;
  };
  std::variant<Throw, Convert> value;

  static NonConformingFloat throwing() { return {Throw{}}; }
  static NonConformingFloat convert(std::string positiveInfinity, std::string negativeInfinity, std::string nan) {
    return {Convert{std::move(positiveInfinity), std::move(negativeInfinity), std::move(nan)}};
  }
  friend bool operator==(const NonConformingFloat&, const NonConformingFloat&) = default;
};

// Decoding: how the record decoder turns field texts into values. A `custom` case hands
// the field's decoder to the caller's function, whose errors pass through unchanged.

namespace detail {
/// A strategy case, with the caller's function for the `custom` case.
template <typename KindType, typename Result>
class DecodingCase {
 public:
  using Kind = KindType;
  using Function = std::function<Result(platform::coding::Decoder&)>;

  Kind kind() const noexcept { return kind_; }
  /// The caller's function; empty unless the case is `custom`.
  const Function& function() const noexcept { return function_; }

 protected:
  explicit DecodingCase(Kind kind, Function function = {}) : kind_(kind), function_(std::move(function)) {}

 private:
  Kind kind_;
  Function function_;
};

enum class NilDecodingKind { empty, custom };
enum class BoolDecodingKind { deferredToBool, insensitive, numeric, custom };
enum class DecimalDecodingKind { locale, custom };
enum class DateDecodingKind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
enum class DataDecodingKind { deferredToData, base64, custom };
}  // namespace detail

/// When a field counts as absent: when it is empty, or when the caller's function says so.
class NilDecoding : public detail::DecodingCase<detail::NilDecodingKind, bool> {
 public:
  static NilDecoding empty() { return NilDecoding(Kind::empty); }
  static NilDecoding custom(Function function) { return NilDecoding(Kind::custom, std::move(function)); }

 private:
  using DecodingCase::DecodingCase;
};

/// Which texts are booleans: "true"/"false" only, yes/no and true/false in any case, "1"/"0", or the caller's.
class BoolDecoding : public detail::DecodingCase<detail::BoolDecodingKind, bool> {
 public:
  static BoolDecoding deferredToBool() { return BoolDecoding(Kind::deferredToBool); }
  static BoolDecoding insensitive() { return BoolDecoding(Kind::insensitive); }
  static BoolDecoding numeric() { return BoolDecoding(Kind::numeric); }
  static BoolDecoding custom(Function function) { return BoolDecoding(Kind::custom, std::move(function)); }

 private:
  using DecodingCase::DecodingCase;
};

/// Decimal numbers read with a locale's separator ("." without one), or by the caller.
class DecimalDecoding : public detail::DecodingCase<detail::DecimalDecodingKind, platform::Decimal> {
 public:
  static DecimalDecoding locale(std::optional<platform::Locale> locale = std::nullopt) {
    return DecimalDecoding(std::move(locale));
  }
  static DecimalDecoding custom(Function function) { return DecimalDecoding(Kind::custom, std::move(function)); }

  /// The locale of the `locale` case; absent means none.
  const std::optional<platform::Locale>& localeValue() const noexcept { return locale_; }

 private:
  using DecodingCase::DecodingCase;
  explicit DecimalDecoding(std::optional<platform::Locale> locale)
      : DecodingCase(Kind::locale), locale_(std::move(locale)) {}
  std::optional<platform::Locale> locale_;
};

/// How dates are read. A `formatted` formatter is shared with the caller, not copied.
class DateDecoding : public detail::DecodingCase<detail::DateDecodingKind, platform::Date> {
 public:
  static DateDecoding deferredToDate() { return DateDecoding(Kind::deferredToDate); }
  static DateDecoding secondsSince1970() { return DateDecoding(Kind::secondsSince1970); }
  static DateDecoding millisecondsSince1970() { return DateDecoding(Kind::millisecondsSince1970); }
  static DateDecoding iso8601() { return DateDecoding(Kind::iso8601); }
  static DateDecoding formatted(std::shared_ptr<platform::DateFormatter> formatter) {
    return DateDecoding(std::move(formatter));
  }
  static DateDecoding custom(Function function) { return DateDecoding(Kind::custom, std::move(function)); }

  /// The formatter of the `formatted` case; null otherwise.
  const std::shared_ptr<platform::DateFormatter>& formatter() const noexcept { return formatter_; }

 private:
  using DecodingCase::DecodingCase;
  explicit DateDecoding(std::shared_ptr<platform::DateFormatter> formatter)
      : DecodingCase(Kind::formatted), formatter_(std::move(formatter)) {}
  std::shared_ptr<platform::DateFormatter> formatter_;
};

/// How data blobs are read: by the blob's own decoding, as strict Base64, or by the caller.
class DataDecoding : public detail::DecodingCase<detail::DataDecodingKind, platform::Data> {
 public:
  static DataDecoding deferredToData() { return DataDecoding(Kind::deferredToData); }
  static DataDecoding base64() { return DataDecoding(Kind::base64); }
  static DataDecoding custom(Function function) { return DataDecoding(Kind::custom, std::move(function)); }

 private:
  using DecodingCase::DecodingCase;
};

/// How many decoded rows the decoder keeps: all of them, or only the latest one read.
enum class DecodingBuffer { keepAll, sequential };

// Encoding: how the record encoder turns values into field texts. A `custom` case hands
// the value and the field's encoder to the caller's function, whose errors pass through unchanged.

}  // namespace RecordCSV::Strategy

namespace platform::coding {
class Encoder;
}  // namespace platform::coding

namespace RecordCSV::Strategy {

namespace detail {
/// A strategy case, with the caller's function for the `custom` case.
template <typename KindType, typename FunctionType>
class EncodingCase {
 public:
  using Kind = KindType;
  using Function = FunctionType;

  Kind kind() const noexcept { return kind_; }
  /// The caller's function; empty unless the case is `custom`.
  const Function& function() const noexcept { return function_; }

 protected:
  explicit EncodingCase(Kind kind, Function function = {}) : kind_(kind), function_(std::move(function)) {}

 private:
  Kind kind_;
  Function function_;
};

enum class NilEncodingKind { empty, custom };
enum class BoolEncodingKind { deferredToString, numeric, custom };
enum class DecimalEncodingKind { locale, custom };
enum class DateEncodingKind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
enum class DataEncodingKind { deferredToData, base64, custom };
}  // namespace detail

/// What an absent value writes: an empty field, or whatever the caller's function encodes.
class NilEncoding
    : public detail::EncodingCase<detail::NilEncodingKind, std::function<void(platform::coding::Encoder&)>> {
 public:
  static NilEncoding empty() { return NilEncoding(Kind::empty); }
  static NilEncoding custom(Function function) { return NilEncoding(Kind::custom, std::move(function)); }

 private:
  using EncodingCase::EncodingCase;
};

/// Booleans as "true"/"false", as "1"/"0", or by the caller.
class BoolEncoding
    : public detail::EncodingCase<detail::BoolEncodingKind, std::function<void(bool, platform::coding::Encoder&)>> {
 public:
  static BoolEncoding deferredToString() { return BoolEncoding(Kind::deferredToString); }
  static BoolEncoding numeric() { return BoolEncoding(Kind::numeric); }
  static BoolEncoding custom(Function function) { return BoolEncoding(Kind::custom, std::move(function)); }

 private:
  using EncodingCase::EncodingCase;
};

/// Decimal numbers in plain notation with a locale's separator ("." without one), or by the caller.
class DecimalEncoding
    : public detail::EncodingCase<detail::DecimalEncodingKind,
                                  std::function<void(const platform::Decimal&, platform::coding::Encoder&)>> {
 public:
  static DecimalEncoding locale(std::optional<platform::Locale> locale = std::nullopt) {
    return DecimalEncoding(std::move(locale));
  }
  static DecimalEncoding custom(Function function) { return DecimalEncoding(Kind::custom, std::move(function)); }

  /// The locale of the `locale` case; absent means none.
  const std::optional<platform::Locale>& localeValue() const noexcept { return locale_; }

 private:
  using EncodingCase::EncodingCase;
  explicit DecimalEncoding(std::optional<platform::Locale> locale)
      : EncodingCase(Kind::locale), locale_(std::move(locale)) {}
  std::optional<platform::Locale> locale_;
};

/// How dates are written. A `formatted` formatter is shared with the caller, not copied.
class DateEncoding
    : public detail::EncodingCase<detail::DateEncodingKind,
                                  std::function<void(const platform::Date&, platform::coding::Encoder&)>> {
 public:
  static DateEncoding deferredToDate() { return DateEncoding(Kind::deferredToDate); }
  static DateEncoding secondsSince1970() { return DateEncoding(Kind::secondsSince1970); }
  static DateEncoding millisecondsSince1970() { return DateEncoding(Kind::millisecondsSince1970); }
  static DateEncoding iso8601() { return DateEncoding(Kind::iso8601); }
  static DateEncoding formatted(std::shared_ptr<platform::DateFormatter> formatter) {
    return DateEncoding(std::move(formatter));
  }
  static DateEncoding custom(Function function) { return DateEncoding(Kind::custom, std::move(function)); }

  /// The formatter of the `formatted` case; null otherwise.
  const std::shared_ptr<platform::DateFormatter>& formatter() const noexcept { return formatter_; }

 private:
  using EncodingCase::EncodingCase;
  explicit DateEncoding(std::shared_ptr<platform::DateFormatter> formatter)
      : EncodingCase(Kind::formatted), formatter_(std::move(formatter)) {}
  std::shared_ptr<platform::DateFormatter> formatter_;
};

/// How data blobs are written: by the blob's own encoding (one element per byte), as Base64, or by the caller.
class DataEncoding
    : public detail::EncodingCase<detail::DataEncodingKind,
                                  std::function<void(const platform::Data&, platform::coding::Encoder&)>> {
 public:
  static DataEncoding deferredToData() { return DataEncoding(Kind::deferredToData); }
  static DataEncoding base64() { return DataEncoding(Kind::base64); }
  static DataEncoding custom(Function function) { return DataEncoding(Kind::custom, std::move(function)); }

 private:
  using EncodingCase::EncodingCase;
};

/// When encoded fields reach the writer: at completion (`keepAll`), as soon as every field
/// before them is written (`assembled`, with headers only), or row by row (`sequential`).
enum class EncodingBuffer { keepAll, assembled, sequential };

}  // namespace RecordCSV::Strategy
