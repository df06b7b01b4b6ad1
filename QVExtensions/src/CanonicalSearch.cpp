#include "CanonicalSearch.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/core/Unicode.hpp"
#include "platform/text/Characters.hpp"

namespace QVExtensions {
namespace {

void throwIfFailed(UErrorCode status) {
  if (U_FAILURE(status)) throw std::runtime_error(std::string("ICU NFD: ") + u_errorName(status));
}

const icu::Normalizer2& decomposition() {
  static const icu::Normalizer2* normalizer = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* instance = icu::Normalizer2::getNFDInstance(status);
    throwIfFailed(status);
    return instance;
  }();
  return *normalizer;
}

// A piece of text that a match begins and ends around, never inside: a character as a reader
// sees it (a grapheme cluster of the decomposed text), or one byte of ill-formed UTF-8 (which
// has no key).
struct Segment {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t keyBegin = 0;
  std::size_t keyEnd = 0;
  bool wellFormed = true;
};

bool isMark(UChar32 scalar) { return (U_GET_GC_MASK(scalar) & U_GC_M_MASK) != 0; }

bool startsSegment(UChar32 scalar) {
  // Spacing and enclosing marks have no canonical combining class, yet still belong to their base.
  return decomposition().hasBoundaryBefore(scalar) && !isMark(scalar);
}

void appendDecomposed(std::string_view bytes, std::u16string& decomposed) {
  if (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) < 0x80) {  // ASCII is its own NFD
    decomposed.push_back(static_cast<char16_t>(bytes[0]));
    return;
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString nfd = decomposition().normalize(icu::UnicodeString::fromUTF8(bytes), status);
  throwIfFailed(status);
  decomposed.append(nfd.getBuffer(), static_cast<std::size_t>(nfd.length()));
}

// Appends the caseless key of decomposed text: case-folded and decomposed again.
void appendCaselessKey(std::u16string_view decomposed, std::u16string& keys) {
  if (std::all_of(decomposed.begin(), decomposed.end(), [](char16_t unit) { return unit < 0x80; })) {
    for (const char16_t unit : decomposed)
      keys.push_back(unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit);
    return;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString folded(decomposed.data(), static_cast<int32_t>(decomposed.size()));
  const icu::UnicodeString key = decomposition().normalize(folded.foldCase(), status);
  throwIfFailed(status);
  keys.append(key.getBuffer(), static_cast<std::size_t>(key.length()));
}

struct Pieces {
  std::vector<Segment> segments;
  bool mayJoin = false;  // whether two of them may be one character
};

// Splits the text where its canonical decomposition may be cut: before each base character, and
// around each ill-formed byte. A line feed stays with the carriage return before it. Apart from
// that, only a scalar from U+0300 on that is no mark (marks are in their base's piece already)
// can make two pieces one character.
Pieces decompositionPieces(std::string_view text) {
  Pieces pieces;
  std::vector<Segment>& result = pieces.segments;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  bool afterIllFormed = true;  // the first scalar starts a segment too
  UChar32 previous = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = platform::wellFormedUTF8Length(bytes + at, text.size() - at);
    if (length == 0) {
      result.push_back({at, at + 1, 0, 0, false});
      afterIllFormed = true;
      ++at;
      continue;
    }
    std::size_t next = at;
    UChar32 scalar = 0;
    U8_NEXT_UNSAFE(bytes, next, scalar);
    if (afterIllFormed || (startsSegment(scalar) && !(previous == u'\r' && scalar == u'\n')))
      result.push_back({at, next, 0, 0, true});
    else
      result.back().end = next;
    pieces.mayJoin = pieces.mayJoin || (scalar >= 0x300 && !isMark(scalar));
    afterIllFormed = false;
    previous = scalar;
    at = next;
  }
  return pieces;
}

// Joins the pieces that one character spans: conjoining jamo, emoji joined into one picture,
// a flag's two letters, a prepended sign and its base. The pieces' keys are ranges of `decomposed`.
std::vector<Segment> joinedIntoCharacters(const std::vector<Segment>& pieces, std::u16string_view decomposed) {
  const std::vector<std::size_t> boundaries = platform::characterBoundaries(decomposed);
  std::vector<Segment> characters;
  auto boundary = boundaries.begin();
  for (const Segment& piece : pieces) {
    while (*boundary < piece.keyBegin) ++boundary;  // the text's end is the last boundary
    if (!characters.empty() && piece.wellFormed && characters.back().wellFormed && *boundary != piece.keyBegin) {
      characters.back().end = piece.end;
      characters.back().keyEnd = piece.keyEnd;
    } else {
      characters.push_back(piece);
    }
  }
  return characters;
}

// Splits the text into segments and their keys, which all lie in `keys`, one after another:
// each segment's canonical decomposition, case-folded and decomposed again when caseless.
std::vector<Segment> segments(std::string_view text, bool caseless, std::u16string& keys) {
  Pieces pieces = decompositionPieces(text);
  std::u16string caselessSource;
  std::u16string& decomposed = caseless ? caselessSource : keys;
  for (Segment& piece : pieces.segments) {
    piece.keyBegin = decomposed.size();
    if (piece.wellFormed) {
      appendDecomposed(text.substr(piece.begin, piece.end - piece.begin), decomposed);
    } else {
      decomposed.push_back(u'\uFFFD');  // only for the character breaks: it is no key
    }
    piece.keyEnd = piece.wellFormed ? decomposed.size() : piece.keyBegin;
  }
  std::vector<Segment> result =
      pieces.mayJoin ? joinedIntoCharacters(pieces.segments, decomposed) : std::move(pieces.segments);
  if (!caseless) return result;
  for (Segment& segment : result) {
    const std::u16string_view source =
        std::u16string_view(decomposed).substr(segment.keyBegin, segment.keyEnd - segment.keyBegin);
    segment.keyBegin = keys.size();
    appendCaselessKey(source, keys);
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
