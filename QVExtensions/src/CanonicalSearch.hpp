#pragma once
// Finds a target in text by canonical equivalence: a precomposed letter matches its
// decomposed spelling, and a match begins and ends only between characters as a reader sees
// them (grapheme clusters of the decomposed text), so it never splits a base character from
// its marks, a Hangul syllable from its jamo or an emoji sequence. Both texts are compared in
// their canonical decompositions (NFD), after case folding when caseless. Ill-formed UTF-8 in
// the text matches nothing.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace QVExtensions {

class CanonicalSearch {
 public:
  /// `target` must be well-formed UTF-8 and not empty.
  CanonicalSearch(std::string_view target, bool caseless);

  /// The byte ranges (begin, end) of the non-overlapping matches in `text`, from its start.
  std::vector<std::pair<std::size_t, std::size_t>> matches(std::string_view text) const;

 private:
  bool caseless_;
  std::u16string target_;
};

}  // namespace QVExtensions
