#include "Ravelin/Options.hpp"

#include <unicode/utf8.h>

#include "platform/text/CaseMapping.hpp"
#include "platform/text/Locale.hpp"

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

namespace {

// What a member of the set becomes.
std::string_view replacementText(TextReplacement value) {
  switch (value) {
    case TextReplacement::underscore:
      return "_";
    case TextReplacement::hyphen:
      return "-";
    case TextReplacement::none:
    case TextReplacement::remove:
      break;
  }
  return {};
}

}  // namespace

std::string replacing(TextReplacement value, std::string_view text, const platform::CharacterSet& set) {
  if (value == TextReplacement::none) return std::string(text);
  const std::string_view replacement = replacementText(value);
  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t copied = 0;  // text before this has been copied or replaced
  for (std::size_t i = 0; i < text.size();) {
    std::size_t next = i + 1;
    bool member;
    if (bytes[i] < 0x80) {
      member = set.contains(bytes[i]);
    } else {
      auto end = static_cast<int32_t>(i);
      UChar32 scalar;
      U8_NEXT(bytes, end, static_cast<int32_t>(text.size()), scalar);
      next = static_cast<std::size_t>(end);
      member = scalar >= 0 && set.contains(static_cast<char32_t>(scalar));
    }
    if (member) {
      result.append(text.substr(copied, i - copied)).append(replacement);
      copied = next;
    }
    i = next;
  }
  return result.append(text.substr(copied));
}

namespace {

void removeInPlace(std::string& text, const platform::CharacterSet& set) {
  std::size_t kept = 0;  // the bytes before this are the result so far
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      text.replace(kept, std::string::npos, replacing(TextReplacement::remove, std::string_view(text).substr(i), set));
      return;
    }
    if (!set.contains(byte)) text[kept++] = text[i];
  }
  text.resize(kept);
}

}  // namespace

// An ASCII member becomes its one-byte replacement in place, or goes; from the first other byte
// on, the rest of the text goes the general way, which steps scalar by scalar just the same. Every
// name passes here: the loop that replaces writes only what it replaces.
void replace(TextReplacement value, std::string& text, const platform::CharacterSet& set) {
  if (value == TextReplacement::none) return;
  const std::string_view replacement = replacementText(value);
  if (replacement.size() > 1) {
    text = replacing(value, text, set);
    return;
  }
  if (replacement.empty()) {
    removeInPlace(text, set);
    return;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      text.replace(i, std::string::npos, replacing(value, std::string_view(text).substr(i), set));
      return;
    }
    if (set.contains(byte)) text[i] = replacement.front();
  }
}

void transform(TextTransformation value, std::string& text) {
  const platform::Locale& locale = platform::Locale::current();
  switch (value) {
    case TextTransformation::none:
      return;
    case TextTransformation::capitalize:
      text = platform::capitalized(text, locale);
      return;
    case TextTransformation::lowercase:
      text = platform::lowercased(text, locale);
      return;
    case TextTransformation::uppercase:
      text = platform::uppercased(text, locale);
      return;
  }
}

}  // namespace Ravelin
