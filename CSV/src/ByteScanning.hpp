#pragma once
// Table-driven scanning of UTF-8 bytes held in memory: runs of scalars that the
// row parser would only append, one at a time, to the field at hand.

#include <array>
#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/Unicode.hpp"
#include "platform/text/CharacterSet.hpp"

namespace CSV {

/// Which bytes end a run: 1 an ASCII scalar the parser looks at, 2 a non-ASCII lead
/// byte (or a stray byte) that is checked on its own.
struct ScanTable {
  std::array<std::uint8_t, 256> stop{};
  /// A non-ASCII scalar that ends a run too (a delimiter beyond ASCII); 0 for none.
  char32_t nonASCIIStop = 0;
  /// The ASCII stops, each repeated in every byte of a word (unused ones repeat the first).
  std::array<std::uint64_t, 3> repeatedStops{};

  ScanTable(std::initializer_list<char32_t> stops) {
    for (std::size_t byte = 0x80; byte < 256; ++byte) stop[byte] = 2;
    std::size_t ascii = 0;
    for (char32_t scalar : stops) {
      if (scalar >= 0x80) {
        nonASCIIStop = scalar;
        continue;
      }
      stop[scalar] = 1;
      if (ascii < repeatedStops.size()) repeatedStops[ascii++] = 0x0101010101010101ull * scalar;
    }
    for (std::size_t i = ascii; i < repeatedStops.size(); ++i) repeatedStops[i] = repeatedStops[0];
  }
};

/// Past the ASCII bytes that are no stop: eight at a time where the word order allows.
inline const std::uint8_t* skipOrdinaryASCII(const std::uint8_t* p, const std::uint8_t* end, const ScanTable& table) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    // The lowest flagged byte of (v - ones) & ~v & highs is the first zero byte of v.
    auto zeroBytes = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const std::uint64_t found = (word & highs) | zeroBytes(word ^ table.repeatedStops[0]) |
                                  zeroBytes(word ^ table.repeatedStops[1]) | zeroBytes(word ^ table.repeatedStops[2]);
      if (found != 0) return p + std::countr_zero(found) / 8;
      p += 8;
    }
  }
  while (p < end && table.stop[*p] == 0) ++p;
  return p;
}

/// The scalar of a well-formed sequence of `length` bytes.
inline char32_t decodeWellFormed(const std::uint8_t* s, std::size_t length) {
  switch (length) {
    case 1: return s[0];
    case 2: return char32_t(s[0] & 0x1F) << 6 | (s[1] & 0x3F);
    case 3: return char32_t(s[0] & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F);
    default: return char32_t(s[0] & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12 | char32_t(s[2] & 0x3F) << 6 | (s[3] & 0x3F);
  }
}

/// Where the run of ordinary, well-formed scalars that starts at `p` ends: at a stop,
/// at a sequence that is ill-formed or cut short by `end`, or at `end`.
inline const std::uint8_t* scanOrdinary(const std::uint8_t* p, const std::uint8_t* end, const ScanTable& table) {
  for (;;) {
    p = skipOrdinaryASCII(p, end, table);
    if (p == end || table.stop[*p] == 1) return p;
    const std::size_t length = platform::wellFormedUTF8Length(p, static_cast<std::size_t>(end - p));
    if (length == 0) return p;
    if (table.nonASCIIStop != 0 && decodeWellFormed(p, length) == table.nonASCIIStop) return p;
    p += length;
  }
}

/// Drops the scalars of `whitespaces` from the end of well-formed UTF-8 text, never before `from`.
inline void trimTrailing(std::string& text, std::size_t from, const platform::CharacterSet& whitespaces) {
  while (text.size() > from) {
    std::size_t start = text.size() - 1;
    while (start > from && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + start;
    if (!whitespaces.contains(decodeWellFormed(bytes, text.size() - start))) return;
    text.resize(start);
  }
}

}  // namespace CSV
