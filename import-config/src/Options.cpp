#include "Ravelin/Options.hpp"

#include <unicode/utf8.h>

#include "platform/CaseMapping.hpp"
#include "platform/Locale.hpp"

namespace Ravelin {

RecordCSV::Delimiter::Row rowDelimiters(RowDelimiter value) {
  switch (value) {
    case RowDelimiter::standard:
      return RecordCSV::Delimiter::Row::standard();
    case RowDelimiter::standardPlus:
      return *RecordCSV::Delimiter::Row::fromTexts({"\n", "\r", "\r\n"});
    case RowDelimiter::newLine:
      return RecordCSV::Delimiter::Row("\n");
    case RowDelimiter::carriageReturn:
      return RecordCSV::Delimiter::Row("\r");
    case RowDelimiter::mixed:
      return RecordCSV::Delimiter::Row("\r\n");
  }
  return RecordCSV::Delimiter::Row::standard();
}

RecordCSV::Delimiter::Field fieldDelimiter(Delimiter value) { return RecordCSV::Delimiter::Field(rawValue(value)); }

std::optional<char32_t> escapingScalar(TextQualifier value) {
  switch (value) {
    case TextQualifier::singleQuote:
      return U'\'';
    case TextQualifier::doubleQuote:
      return U'"';
    case TextQualifier::none:
      break;
  }
  return std::nullopt;
}

const platform::CharacterSet& illegalFilenameCharacters() {
  static const platform::CharacterSet set{U':', U'/', U'\\', U'.'};
  return set;
}

std::string replacing(TextReplacement value, std::string_view text, const platform::CharacterSet& set) {
  std::string_view replacement;
  switch (value) {
    case TextReplacement::none:
      return std::string(text);
    case TextReplacement::underscore:
      replacement = "_";
      break;
    case TextReplacement::hyphen:
      replacement = "-";
      break;
    case TextReplacement::remove:
      break;
  }
  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    if (bytes[i] < 0x80) {
      if (set.contains(bytes[i]))
        result.append(replacement);
      else
        result.push_back(text[i]);
      ++i;
      continue;
    }
    auto next = static_cast<int32_t>(i);
    UChar32 scalar;
    U8_NEXT(bytes, next, static_cast<int32_t>(text.size()), scalar);
    if (scalar >= 0 && set.contains(static_cast<char32_t>(scalar)))
      result.append(replacement);
    else
      result.append(text.substr(i, static_cast<std::size_t>(next) - i));
    i = static_cast<std::size_t>(next);
  }
  return result;
}

void replace(TextReplacement value, std::string& text, const platform::CharacterSet& set) {
  if (value != TextReplacement::none) text = replacing(value, text, set);
}

void transform(TextTransformation value, std::string& text) {
  switch (value) {
    case TextTransformation::none:
      return;
    case TextTransformation::capitalize:
      text = platform::capitalized(text, platform::Locale::current());
      return;
    case TextTransformation::lowercase:
      text = platform::lowercased(text, platform::Locale::current());
      return;
    case TextTransformation::uppercase:
      text = platform::uppercased(text, platform::Locale::current());
      return;
  }
}

}  // namespace Ravelin
