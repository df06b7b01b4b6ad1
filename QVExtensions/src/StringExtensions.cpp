#include "QVExtensions/StringExtensions.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "platform/core/Error.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/text/Characters.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

UChar32 scalarAt(std::string_view text, std::size_t& i) {
  UChar32 c;
  const auto length = static_cast<int32_t>(text.size());
  auto index = static_cast<int32_t>(i);
  U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), index, length, c);
  i = static_cast<std::size_t>(index);
  return c < 0 ? 0xFFFD : c;
}

UChar32 scalarBefore(std::string_view text, std::size_t& i) {
  UChar32 c;
  auto index = static_cast<int32_t>(i);
  U8_PREV(reinterpret_cast<const uint8_t*>(text.data()), 0, index, c);
  i = static_cast<std::size_t>(index);
  return c < 0 ? 0xFFFD : c;
}

bool isDecimalDigit(UChar32 c) { return u_charType(c) == U_DECIMAL_DIGIT_NUMBER; }

bool isUppercaseLetter(UChar32 c) {
  const auto type = u_charType(c);
  return type == U_UPPERCASE_LETTER || type == U_TITLECASE_LETTER;
}

}  // namespace

std::string trimmed(std::string_view text) {
  const platform::CharacterSet& blanks = platform::CharacterSet::whitespaces();
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = begin;
    if (!blanks.contains(static_cast<char32_t>(scalarAt(text, next)))) break;
    begin = next;
  }
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t previous = end;
    if (!blanks.contains(static_cast<char32_t>(scalarBefore(text, previous)))) break;
    end = previous;
  }
  return std::string(text.substr(begin, end - begin));
}

void padNumbers(std::string& text, std::int64_t width, std::string_view pad) {
  text = paddingNumbers(text, width, pad);
}

std::string paddingNumbers(std::string_view text, std::int64_t width, std::string_view pad) {
  if (width <= 0 || pad.empty()) return std::string(text);
  const auto target = static_cast<std::size_t>(std::min(width, maximumPadWidth));
  std::string result;
  result.reserve(text.size() + 8);
  std::size_t i = 0;
  while (i < text.size()) {
    // Copy up to the next digit run; ASCII bytes are decided without decoding.
    std::size_t runStart = i;
    bool ascii = true;
    while (runStart < text.size()) {
      const auto byte = static_cast<unsigned char>(text[runStart]);
      if (byte < 0x80) {
        if (byte >= '0' && byte <= '9') break;
        ++runStart;
        continue;
      }
      std::size_t next = runStart;
      if (isDecimalDigit(scalarAt(text, next))) break;
      runStart = next;
    }
    result.append(text.substr(i, runStart - i));
    if (runStart == text.size()) break;
    std::size_t runEnd = runStart;
    while (runEnd < text.size()) {
      const auto byte = static_cast<unsigned char>(text[runEnd]);
      if (byte < 0x80) {
        if (byte < '0' || byte > '9') break;
        ++runEnd;
        continue;
      }
      std::size_t next = runEnd;
      if (!isDecimalDigit(scalarAt(text, next))) break;
      ascii = false;
      runEnd = next;
    }
    const std::string_view run = text.substr(runStart, runEnd - runStart);
    const std::size_t length = ascii ? run.size() : platform::characterCount(run);
    for (std::size_t k = length; k < target; ++k) result.append(pad);
    result.append(run);
    i = runEnd;
  }
  return result;
}

bool matchesRegex(std::string_view text, std::string_view pattern) {
  try {
    return platform::Regex(pattern).matchesSomewhere(text);
  } catch (const platform::Error&) {
    return false;
  }
}

std::optional<std::string> firstMatchText(std::string_view text, std::string_view pattern) {
  std::optional<platform::Regex> regex;
  try {
    regex.emplace(pattern);
  } catch (const platform::Error&) {
    return std::nullopt;
  }
  const auto match = regex->firstMatch(text);
  if (!match) return std::nullopt;
  return match->string(regex->numberOfCaptureGroups() == 1 ? 1 : 0, text);
}

std::string removingLineFeeds(std::string_view text) {
  std::string result(text);
  std::erase(result, '\n');
  return result;
}

std::optional<char32_t> firstUnicodeScalar(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::size_t i = 0;
  return static_cast<char32_t>(scalarAt(text, i));
}

std::string splittingCamelCase(std::string_view text) {
  if (text.empty()) return std::string(text);
  std::size_t i = 0;
  scalarAt(text, i);
  std::string result(text.substr(0, i));
  result.reserve(text.size() + text.size() / 2);
  // Where the result's last character begins. Appending never moves a boundary before the
  // end, so the search resumes there and each byte is looked at a bounded number of times.
  std::size_t lastCharacterStart = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const UChar32 scalar = scalarAt(text, i);
    if (isUppercaseLetter(scalar)) {
      const std::string_view tail = std::string_view(result).substr(lastCharacterStart);
      lastCharacterStart += platform::offsetBeforeLastCharacters(tail, 1);
      std::size_t first = lastCharacterStart;
      const bool afterUpper = isUppercaseLetter(scalarAt(result, first));
      // The result is one character long exactly when its last character starts it.
      if (!afterUpper || lastCharacterStart == 0) result.push_back(' ');
    }
    result.append(text.substr(start, i - start));
  }
  return result;
}

}  // namespace QVExtensions
