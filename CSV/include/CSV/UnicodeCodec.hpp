#pragma once
// The three Unicode encoding forms as codecs: a tag that picks a reader's or writer's
// encoding, and a decoder that keeps, between calls, the unit that followed an
// ill-formed sequence.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace CSV {

/// One step of decoding: a scalar, the end of the input, or an ill-formed sequence.
struct UnicodeDecodingResult {
  enum class Kind { scalar, emptyInput, error };
  Kind kind;
  char32_t scalar = 0;

  static UnicodeDecodingResult of(char32_t value) { return {Kind::scalar, value}; }
  static UnicodeDecodingResult emptyInput() { return {Kind::emptyInput}; }
  static UnicodeDecodingResult error() { return {Kind::error}; }
};

template <typename Input, typename Unit>
concept CodeUnitSource = requires(Input& input) {
  { input.next() } -> std::same_as<std::optional<Unit>>;
};

/// Each decoder reads only the units that the scalar at hand needs.
struct UTF8 {
  using CodeUnit = std::uint8_t;

  template <CodeUnitSource<CodeUnit> Input>
  UnicodeDecodingResult decode(Input& input) {
    const std::optional<CodeUnit> lead = pending_ ? std::exchange(pending_, std::nullopt) : input.next();
    if (!lead) return UnicodeDecodingResult::emptyInput();
    if (*lead < 0x80) return UnicodeDecodingResult::of(*lead);
    // The length and the range of the second unit, as the well-formed sequences table has them.
    std::size_t length = 4;
    CodeUnit low = 0x80, high = 0xBF;
    if (*lead < 0xC2 || *lead > 0xF4) return UnicodeDecodingResult::error();
    if (*lead <= 0xDF) length = 2;
    else if (*lead <= 0xEF) length = 3;
    if (*lead == 0xE0) low = 0xA0;
    if (*lead == 0xED) high = 0x9F;
    if (*lead == 0xF0) low = 0x90;
    if (*lead == 0xF4) high = 0x8F;
    char32_t scalar = *lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const std::optional<CodeUnit> unit = input.next();
      if (!unit) return UnicodeDecodingResult::error();
      if (*unit < low || *unit > high) {
        pending_ = unit;
        return UnicodeDecodingResult::error();
      }
      scalar = scalar << 6 | (*unit & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    return UnicodeDecodingResult::of(scalar);
  }

 private:
  std::optional<CodeUnit> pending_;
};

struct UTF16 {
  using CodeUnit = std::uint16_t;

  template <CodeUnitSource<CodeUnit> Input>
  UnicodeDecodingResult decode(Input& input) {
    const std::optional<CodeUnit> unit = pending_ ? std::exchange(pending_, std::nullopt) : input.next();
    if (!unit) return UnicodeDecodingResult::emptyInput();
    if (*unit < 0xD800 || *unit > 0xDFFF) return UnicodeDecodingResult::of(*unit);
    if (*unit > 0xDBFF) return UnicodeDecodingResult::error();
    const std::optional<CodeUnit> trail = input.next();
    if (!trail) return UnicodeDecodingResult::error();
    if (*trail < 0xDC00 || *trail > 0xDFFF) {
      pending_ = trail;
      return UnicodeDecodingResult::error();
    }
    return UnicodeDecodingResult::of(0x10000 + (char32_t(*unit - 0xD800) << 10) + (*trail - 0xDC00));
  }

 private:
  std::optional<CodeUnit> pending_;
};

struct UTF32 {
  using CodeUnit = std::uint32_t;

  template <CodeUnitSource<CodeUnit> Input>
  UnicodeDecodingResult decode(Input& input) {
    const std::optional<CodeUnit> unit = input.next();
    if (!unit) return UnicodeDecodingResult::emptyInput();
    if (*unit >= 0x110000 || (*unit >= 0xD800 && *unit <= 0xDFFF)) return UnicodeDecodingResult::error();
    return UnicodeDecodingResult::of(*unit);
  }
};

}  // namespace CSV
