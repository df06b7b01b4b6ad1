#pragma once
// The strategies that readers, writers and the record coders share.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

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

}  // namespace RecordCSV::Strategy
