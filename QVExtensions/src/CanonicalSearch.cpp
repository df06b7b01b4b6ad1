#include "CanonicalSearch.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <stdexcept>
#include <string>

#include "platform/core/Unicode.hpp"

namespace QVExtensions {
namespace {

const icu::Normalizer2& decomposition() {
  static const icu::Normalizer2* normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("ICU NFD: ") + u_errorName(status));
    return instance;
  }();
  return *normalizer;
}

// A piece of text that a match begins and ends around, never inside: a base character with
// the marks that follow it, or one byte of ill-formed UTF-8 (which has no key).
struct Segment {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t keyBegin = 0;
  std::size_t keyEnd = 0;
  bool wellFormed = true;
};

bool startsSegment(UChar32 scalar) {
  // Spacing and enclosing marks have no canonical combining class, yet still belong to their base.
  return decomposition().hasBoundaryBefore(scalar) && (U_GET_GC_MASK(scalar) & U_GC_M_MASK) == 0;
}

// Appends the comparison key of one segment: its NFD, case-folded and decomposed again when caseless.
void appendKey(std::string_view bytes, bool caseless, std::u16string& keys) {
  if (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) < 0x80) {  // ASCII is its own NFD
    const char byte = bytes[0];
    keys.push_back(static_cast<char16_t>(caseless && byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte));
    return;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString key = decomposition().normalize(icu::UnicodeString::fromUTF8(bytes), status);
  if (caseless) key = decomposition().normalize(key.foldCase(), status);
  if (U_FAILURE(status)) throw std::runtime_error(std::string("ICU NFD: ") + u_errorName(status));
  keys.append(key.getBuffer(), static_cast<std::size_t>(key.length()));
}

// Splits the text into segments and their keys, which all lie in `keys`, one after another.
std::vector<Segment> segments(std::string_view text, bool caseless, std::u16string& keys) {
  std::vector<Segment> result;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  bool afterIllFormed = true;  // the first scalar starts a segment too
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = platform::wellFormedUTF8Length(bytes + at, text.size() - at);
    if (length == 0) {
      result.push_back({at, at + 1, keys.size(), keys.size(), false});
      afterIllFormed = true;
      ++at;
      continue;
    }
    std::size_t next = at;
    UChar32 scalar = 0;
    U8_NEXT_UNSAFE(bytes, next, scalar);
    if (afterIllFormed || startsSegment(scalar))
      result.push_back({at, next, 0, 0, true});
    else
      result.back().end = next;
    afterIllFormed = false;
    at = next;
  }
  for (Segment& segment : result) {
    if (!segment.wellFormed) continue;
    segment.keyBegin = keys.size();
    appendKey(text.substr(segment.begin, segment.end - segment.begin), caseless, keys);
    segment.keyEnd = keys.size();
  }
  return result;
}

}  // namespace

CanonicalSearch::CanonicalSearch(std::string_view target, bool caseless) : caseless_(caseless) {
  segments(target, caseless, target_);
}

std::vector<std::pair<std::size_t, std::size_t>> CanonicalSearch::matches(std::string_view text) const {
  std::u16string keys;
  const std::vector<Segment> pieces = segments(text, caseless_, keys);
  const std::u16string_view allKeys(keys);
  const std::u16string_view target(target_);
  std::vector<std::pair<std::size_t, std::size_t>> found;
  for (std::size_t first = 0; first < pieces.size();) {
    // Whole segments from `first` on, as long as their keys go on spelling the target.
    std::size_t matched = 0;
    std::size_t last = first;
    while (matched < target.size() && last < pieces.size() && pieces[last].wellFormed) {
      const std::u16string_view key =
          allKeys.substr(pieces[last].keyBegin, pieces[last].keyEnd - pieces[last].keyBegin);
      if (target.substr(matched, key.size()) != key) break;
      matched += key.size();
      ++last;
    }
    if (matched == target.size() && last > first) {
      found.emplace_back(pieces[first].begin, pieces[last - 1].end);
      first = last;
    } else {
      ++first;
    }
  }
  return found;
}

}  // namespace QVExtensions
