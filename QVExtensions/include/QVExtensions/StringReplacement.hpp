#pragma once
// Per-element text replacement: input i has every occurrence of one target replaced by
// replacement i. Without `literal`, canonically equivalent spellings match (a precomposed
// "é" and "e" with a combining accent), and a match never takes part of a character as a
// reader sees it (a base character without its marks, one jamo of a Hangul syllable, one
// emoji of a joined sequence, CR without LF); with `literal`, only identical scalars match.
// Either way matching is optionally without regard to case, and optionally inside a range
// of UTF-16 code units.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Error.hpp"

namespace QVExtensions {

/// More input strings than replacements; the failure reason names both counts.
class StringReplacementError : public platform::Error {
 public:
  enum class Kind { tooManyElements };
  StringReplacementError(std::int64_t elementCount, std::int64_t replacementCount);

  Kind kind() const noexcept { return Kind::tooManyElements; }
  std::int64_t elementCount() const noexcept { return elementCount_; }
  std::int64_t replacementCount() const noexcept { return replacementCount_; }

 private:
  std::int64_t elementCount_;
  std::int64_t replacementCount_;
};

enum class CompareOptions : unsigned { none = 0, caseInsensitive = 1, literal = 2 };
constexpr CompareOptions operator|(CompareOptions a, CompareOptions b) {
  return static_cast<CompareOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

/// A span of UTF-16 code units.
struct UTF16Range {
  std::size_t location = 0;
  std::size_t length = 0;
};

/// Throws StringReplacementError when there are fewer replacements than inputs (extra ones
/// are ignored), and std::out_of_range, before replacing anything, when `range` does not lie
/// within every input or cuts a character. An empty target changes nothing.
std::vector<std::string> replaceOccurrencesPairwise(const std::vector<std::string>& inputs, std::string_view target,
                                                    const std::vector<std::string>& replacements,
                                                    CompareOptions options = CompareOptions::none,
                                                    std::optional<UTF16Range> range = std::nullopt);

}  // namespace QVExtensions
