#pragma once
// Small operations on UTF-8 text: white-space trimming, digit padding, regular-
// expression tests, camel-case splitting and trailing-number increments.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace QVExtensions {

/// Padding never makes a digit run longer than this many characters, whatever width is asked for.
inline constexpr std::int64_t maximumPadWidth = 255;

/// Whether the text holds at least one character.
inline bool isNotEmpty(std::string_view text) { return !text.empty(); }

/// The text without leading and trailing horizontal white space (space, tab and the other
/// Unicode space separators); newlines stay.
std::string trimmed(std::string_view text);

/// Puts `pad` (repeated whole) in front of every run of decimal digits shorter than `width`
/// characters until it is that long. A width of 0 or less changes nothing; widths above
/// `maximumPadWidth` count as that width.
void padNumbers(std::string& text, std::int64_t width, std::string_view pad);
/// The same on a copy.
std::string paddingNumbers(std::string_view text, std::int64_t width, std::string_view pad);

/// Whether the pattern matches somewhere in the text; an invalid pattern gives false.
bool matchesRegex(std::string_view text, std::string_view pattern);

/// The text of the first match of the pattern: its capture group when it has exactly one,
/// else the whole match. Absent for an invalid pattern or no match.
std::optional<std::string> firstMatchText(std::string_view text, std::string_view pattern);

/// The text without its line feeds (U+000A); carriage returns stay.
std::string removingLineFeeds(std::string_view text);

/// The first Unicode scalar, absent for the empty text.
std::optional<char32_t> firstUnicodeScalar(std::string_view text);

/// "camelCaseText" gives "camel Case Text": a blank before each upper-case letter that
/// follows a character not starting with one, and after the first character.
std::string splittingCamelCase(std::string_view text);

/// Replaces a trailing `separator` + number with `separator` + (number + `step`), or appends
/// `separator` + `start` when the text ends in no number. The number is written with the
/// printf-style `format`, which takes one integer. The separator is literal text.
std::string incrementingTrailingNumber(std::string_view text, std::string_view separator = " ",
                                       std::string_view format = "%d", std::int64_t start = 2, std::int64_t step = 1);
void incrementTrailingNumber(std::string& text, std::string_view separator = " ", std::string_view format = "%d",
                             std::int64_t start = 2, std::int64_t step = 1);

/// A printf-style format applied to one integer: every integer conversion (d, i, u, x, X, o,
/// with flags, width, precision and length) shows `value`; "%%" is a percent sign; anything
/// else is copied as it stands.
std::string formatInteger(std::string_view format, std::int64_t value);

}  // namespace QVExtensions
