#pragma once
// A set of Unicode scalars, with constant-time membership for ASCII, which is
// what the CSV parse loop asks about almost always.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class CharacterSet {
 public:
  CharacterSet() = default;
  CharacterSet(std::initializer_list<char32_t> scalars);
  /// Every scalar of a text.
  static CharacterSet fromScalars(std::u32string_view scalars);
  /// Horizontal white space: the tab and the Unicode space separators (no newlines).
  static const CharacterSet& whitespaces();
  /// White space and newlines: the above, LF to CR, NEL and the line and paragraph separators.
  static const CharacterSet& whitespacesAndNewlines();

  void insert(char32_t scalar) { insert(scalar, scalar); }
  /// Inserts the closed range [first, last].
  void insert(char32_t first, char32_t last);
  void remove(char32_t scalar);

  bool contains(char32_t scalar) const noexcept {
    if (scalar < 128) return (ascii_[scalar >> 6] >> (scalar & 63)) & 1;
    return containsNonASCII(scalar);
  }
  bool empty() const noexcept { return ascii_[0] == 0 && ascii_[1] == 0 && ranges_.empty(); }
  /// The members as closed ranges, ascending.
  std::vector<std::pair<char32_t, char32_t>> ranges() const;
  /// The members in ascending order, written as a quoted list of escaped scalars.
  std::string description() const;

  friend bool operator==(const CharacterSet&, const CharacterSet&) = default;

 private:
  bool containsNonASCII(char32_t scalar) const noexcept;

  std::array<std::uint64_t, 2> ascii_{};
  std::vector<std::pair<char32_t, char32_t>> ranges_;  // members ≥ 128: sorted, disjoint, not adjacent
};

}  // namespace platform
