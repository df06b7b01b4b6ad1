#pragma once
// Compiled regular expressions over ICU's engine. Every range is in UTF-16 code
// units and every search covers the whole string, so that positions agree with
// what the engine reports whatever the characters before them are.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace detail {
struct CompiledRegex;
}

class Regex {
 public:
  enum class Options : std::uint32_t {
    none = 0,
    caseInsensitive = 1u << 0,
    allowCommentsAndWhitespace = 1u << 1,
    ignoreMetacharacters = 1u << 2,
    dotMatchesLineSeparators = 1u << 3,
    anchorsMatchLines = 1u << 4,
    useUnixLineSeparators = 1u << 5,
    useUnicodeWordBoundaries = 1u << 6,
  };

  /// A span of UTF-16 code units.
  struct Range {
    std::size_t location = 0;
    std::size_t length = 0;
    std::size_t end() const noexcept { return location + length; }
    friend bool operator==(const Range&, const Range&) = default;
  };

  /// One match: the range of the whole match (group 0) and of each capture group.
  class Match {
   public:
    /// Group 0 plus one per capture group of the expression.
    std::size_t numberOfRanges() const noexcept { return ranges_.size(); }
    /// The whole match.
    Range range() const noexcept { return *ranges_.front(); }
    /// Absent for a group that took no part in the match or that the expression does not have.
    std::optional<Range> range(std::size_t group) const noexcept;
    /// As above, for a named group.
    std::optional<Range> range(std::string_view name) const;
    /// The text that the group covered in `text`; absent when the group has no range
    /// or its range does not fall on scalar boundaries inside `text`.
    std::optional<std::string> string(std::size_t group, std::string_view text) const;
    std::optional<std::string> string(std::string_view name, std::string_view text) const;

   private:
    friend class Regex;
    std::vector<std::optional<Range>> ranges_;
    std::shared_ptr<const detail::CompiledRegex> compiled_;
  };

  /// Compiles the pattern; an invalid pattern throws platform::Error (domain
  /// "NSCocoaErrorDomain", code 2048, the pattern under "NSInvalidValue").
  explicit Regex(std::string_view pattern, Options options = Options::none);

  const std::string& pattern() const noexcept;
  Options options() const noexcept;
  std::size_t numberOfCaptureGroups() const noexcept;

  /// The first match in the whole text, or absent.
  std::optional<Match> firstMatch(std::string_view text) const;
  /// Every match in the whole text, in order.
  std::vector<Match> matches(std::string_view text) const;
  /// Whether the expression matches anywhere in the text.
  bool matchesSomewhere(std::string_view text) const;

  /// The pattern that matches `text` literally.
  static std::string escapedPattern(std::string_view text);

 private:
  std::shared_ptr<const detail::CompiledRegex> compiled_;
};

constexpr Regex::Options operator|(Regex::Options a, Regex::Options b) {
  return static_cast<Regex::Options>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool contains(Regex::Options set, Regex::Options option) {
  return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(option)) != 0;
}

/// The UTF-16 code units of UTF-8 text; each byte of an ill-formed sequence becomes U+FFFD.
std::u16string toUTF16(std::string_view utf8);
/// The part of UTF-8 text that a UTF-16 range covers; absent when the range ends past the
/// text or either end falls inside a scalar.
std::optional<std::string_view> substringForUTF16Range(std::string_view utf8, std::size_t location,
                                                       std::size_t length);

}  // namespace platform
