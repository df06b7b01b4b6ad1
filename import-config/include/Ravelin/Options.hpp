#pragma once
// The option sets behind the import and export settings pickers: each case has an
// id, a label that the forms show and, for some sets, a raw value.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "RecordCSV/Delimiter.hpp"
#include "platform/text/CharacterSet.hpp"

namespace Ravelin {

/// Whether the datasource has a header row.
enum class Header { none, row };
/// The character between fields.
enum class Delimiter { tab, comma, semiColon, space };
/// The line endings that end a record.
enum class RowDelimiter { standard, standardPlus, newLine, carriageReturn, mixed };
/// The quote character that escapes fields.
enum class TextQualifier { singleQuote, doubleQuote, none };
/// What becomes of a character of a name that belongs to a given set.
enum class TextReplacement { none, underscore, hyphen, remove };
/// The letter-case change of a name.
enum class TextTransformation { none, capitalize, lowercase, uppercase };

template <typename E>
struct OptionCase {
  E value;
  std::string_view rawValue;  // empty for sets without raw values
  std::string_view id;
  std::string_view label;
};

template <typename E>
struct OptionTable;

template <>
struct OptionTable<Header> {
  static constexpr bool hasRawValue = true;
  static constexpr std::array<OptionCase<Header>, 2> cases{{
      {Header::none, "none", "None", "None"},
      {Header::row, "row", "Starting Row", "Starting Row"},
  }};
};

template <>
struct OptionTable<Delimiter> {
  static constexpr bool hasRawValue = true;
  static constexpr std::array<OptionCase<Delimiter>, 4> cases{{
      {Delimiter::tab, "\t", "\t", "tab"},
      {Delimiter::comma, ",", ",", ","},
      {Delimiter::semiColon, ";", ";", ";"},
      {Delimiter::space, " ", " ", "space"},
  }};
};

template <>
struct OptionTable<RowDelimiter> {
  static constexpr bool hasRawValue = false;
  static constexpr std::array<OptionCase<RowDelimiter>, 5> cases{{
      {RowDelimiter::standard, "", "Standard", "Standard"},
      {RowDelimiter::standardPlus, "", "Standard Plus", "Standard Plus"},
      {RowDelimiter::newLine, "", "LF", "LF"},
      {RowDelimiter::carriageReturn, "", "CR", "CR"},
      {RowDelimiter::mixed, "", "CRLF", "CRLF"},
  }};
};

template <>
struct OptionTable<TextQualifier> {
  static constexpr bool hasRawValue = false;
  static constexpr std::array<OptionCase<TextQualifier>, 3> cases{{
      {TextQualifier::singleQuote, "", "'", "'"},
      {TextQualifier::doubleQuote, "", "\"", "\""},
      {TextQualifier::none, "", "None", "None"},
  }};
};

template <>
struct OptionTable<TextReplacement> {
  static constexpr bool hasRawValue = false;
  static constexpr std::array<OptionCase<TextReplacement>, 4> cases{{
      {TextReplacement::none, "", "none", "Ignore"},
      {TextReplacement::underscore, "", "underscore", "_"},
      {TextReplacement::hyphen, "", "hyphen", "-"},
      {TextReplacement::remove, "", "remove", "Remove"},
  }};
};

template <>
struct OptionTable<TextTransformation> {
  static constexpr bool hasRawValue = true;
  static constexpr std::array<OptionCase<TextTransformation>, 4> cases{{
      {TextTransformation::none, "none", "none", "Ignore"},
      {TextTransformation::capitalize, "capitalize", "capitalize", "Capitalize"},
      {TextTransformation::lowercase, "lowercase", "lowercase", "Lowercase"},
      {TextTransformation::uppercase, "uppercase", "uppercase", "Uppercase"},
  }};
};

/// Every case, in the order the forms offer them.
template <typename E>
constexpr auto allCases() {
  constexpr auto& table = OptionTable<E>::cases;
  std::array<E, table.size()> values{};
  for (std::size_t i = 0; i < table.size(); ++i) values[i] = table[i].value;
  return values;
}

template <typename E>
constexpr const OptionCase<E>& optionCase(E value) {
  for (const auto& entry : OptionTable<E>::cases)
    if (entry.value == value) return entry;
  return OptionTable<E>::cases.front();  // unreachable for a declared case
}

template <typename E>
constexpr std::string_view id(E value) { return optionCase(value).id; }

template <typename E>
constexpr std::string_view label(E value) { return optionCase(value).label; }

constexpr std::string_view description(Header value) { return label(value); }

template <typename E>
  requires(OptionTable<E>::hasRawValue)
constexpr std::string_view rawValue(E value) { return optionCase(value).rawValue; }

/// The case whose raw value is exactly `text`, or none.
template <typename E>
  requires(OptionTable<E>::hasRawValue)
constexpr std::optional<E> fromRaw(std::string_view text) {
  for (const auto& entry : OptionTable<E>::cases)
    if (entry.rawValue == text) return entry.value;
  return std::nullopt;
}

/// The reader's row delimiters for the case.
RecordCSV::Delimiter::Row rowDelimiters(RowDelimiter value);
/// The reader's field delimiter, the case's one character.
RecordCSV::Delimiter::Field fieldDelimiter(Delimiter value);
/// The scalar that escapes fields, none for `TextQualifier::none`.
std::optional<char32_t> escapingScalar(TextQualifier value);
/// Whether fields may be trimmed of white space without trimming the delimiter away.
constexpr bool allowsTrimming(Delimiter value) { return value == Delimiter::comma || value == Delimiter::semiColon; }

/// ":", "/", "\" and ".": the characters a folder name may not hold.
const platform::CharacterSet& illegalFilenameCharacters();

/// Replaces every member of `set` in `text` with the case's replacement; `none` changes nothing.
void replace(TextReplacement value, std::string& text, const platform::CharacterSet& set);
std::string replacing(TextReplacement value, std::string_view text, const platform::CharacterSet& set);

/// Changes the letter case of `text` in the current locale.
void transform(TextTransformation value, std::string& text);

}  // namespace Ravelin
