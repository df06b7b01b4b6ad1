#include "platform/text/CaseMapping.hpp"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>

namespace platform {
namespace {

enum class Mapping { upper, lower, title };

std::string map(std::string_view text, const Locale& locale, Mapping mapping) {
  std::string result;
  result.reserve(text.size());
  icu::StringByteSink<std::string> sink(&result);
  UErrorCode status = U_ZERO_ERROR;
  const char* id = locale.identifier().c_str();
  const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
  switch (mapping) {
    case Mapping::upper:
      icu::CaseMap::utf8ToUpper(id, 0, piece, sink, nullptr, status);
      break;
    case Mapping::lower:
      icu::CaseMap::utf8ToLower(id, 0, piece, sink, nullptr, status);
      break;
    case Mapping::title:  // the first character title-cased, the others lowered
      icu::CaseMap::utf8ToTitle(id, U_TITLECASE_WHOLE_STRING | U_TITLECASE_NO_BREAK_ADJUSTMENT, nullptr, piece, sink,
                                nullptr, status);
      break;
  }
  if (U_FAILURE(status)) return std::string(text);
  return result;
}

// ASCII needs no tables where the locale has no special rules for the Latin letters: Turkish and
// Azeri map i and I their own way, and Dutch capitalises "ij" as one letter.
bool asciiFastPath(std::string_view text, const Locale& locale, bool capitalizing = false) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  const std::string& language = locale.language();
  return language != "tr" && language != "az" && !(capitalizing && language == "nl");
}

struct ASCIIClasses {
  std::array<bool, 128> cased{};
  std::array<bool, 128> ignorable{};
};

const ASCIIClasses& asciiClasses() {
  static const ASCIIClasses classes = [] {
    ASCIIClasses result;
    for (UChar32 c = 0; c < 128; ++c) {
      result.cased[c] = u_hasBinaryProperty(c, UCHAR_CASED);
      result.ignorable[c] = u_hasBinaryProperty(c, UCHAR_CASE_IGNORABLE);
    }
    return result;
  }();
  return classes;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string uppercased(std::string_view text, const Locale& locale) {
  if (!asciiFastPath(text, locale)) return map(text, locale, Mapping::upper);
  std::string result(text);
  for (char& c : result) c = asciiUpper(c);
  return result;
}

std::string lowercased(std::string_view text, const Locale& locale) {
  if (!asciiFastPath(text, locale)) return map(text, locale, Mapping::lower);
  std::string result(text);
  for (char& c : result) c = asciiLower(c);
  return result;
}

std::string capitalized(std::string_view text, const Locale& locale) {
  if (asciiFastPath(text, locale, true)) {
    const ASCIIClasses& classes = asciiClasses();
    std::string result(text);
    bool afterCased = false;
    for (char& c : result) {
      const auto index = static_cast<unsigned char>(c);
      if (classes.ignorable[index]) continue;
      c = afterCased ? asciiLower(c) : asciiUpper(c);
      afterCased = classes.cased[index];
    }
    return result;
  }
  // A title-cased character and the run lowered after it are mapped in one call (title case
  // maps its first character and lowers the rest), so that context rules such as the final
  // sigma see the whole run.
  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  bool afterCased = false;
  int32_t segmentStart = -1;
  bool segmentTitled = false;
  auto flush = [&](int32_t end) {
    if (segmentStart >= 0)
      result += map(text.substr(segmentStart, end - segmentStart), locale, segmentTitled ? Mapping::title : Mapping::lower);
    segmentStart = -1;
  };
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) c = 0xFFFD;
    if (u_hasBinaryProperty(c, UCHAR_CASE_IGNORABLE)) {
      if (segmentStart < 0) result.append(text.substr(start, i - start));
      continue;
    }
    if (!afterCased) {
      flush(start);
      segmentStart = start;
      segmentTitled = true;
    } else if (segmentStart < 0) {
      segmentStart = start;
      segmentTitled = false;
    }
    afterCased = u_hasBinaryProperty(c, UCHAR_CASED);
  }
  flush(length);
  return result;
}

}  // namespace platform
