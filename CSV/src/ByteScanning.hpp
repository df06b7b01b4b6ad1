#pragma once
// Table-driven scanning of UTF-8 bytes held in memory: runs of scalars that the
// row parser would only append, one at a time, to the field at hand.

#include <array>
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

  ScanTable(std::initializer_list<char32_t> stops) {
    for (std::size_t byte = 0x80; byte < 256; ++byte) stop[byte] = 2;
    for (char32_t scalar : stops) {
      if (scalar < 0x80)
        stop[scalar] = 1;
      else
        nonASCIIStop = scalar;
    }
  }
};

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
    while (p < end && table.stop[*p] == 0) ++p;
    if (p == end || table.stop[*p] == 1) return p;
    const std::size_t length = platform::wellFormedUTF8Length(p, static_cast<std::size_t>(end - p));
    if (length == 0) return p;
    if (table.nonASCIIStop != 0 && decodeWellFormed(p, length) == table.nonASCIIStop) return p;
    p += length;
  }
}

/// Drops the scalars of `whitespaces` from the end of well-formed UTF-8 text.
inline void trimTrailing(std::string& text, const platform::CharacterSet& whitespaces) {
  while (!text.empty()) {
    std::size_t start = text.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + start;
    if (!whitespaces.contains(decodeWellFormed(bytes, text.size() - start))) return;
    text.resize(start);
  }
}

}  // namespace CSV
