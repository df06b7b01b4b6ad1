#pragma once
// The byte-order marks of the Unicode encodings.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/text/TextEncoding.hpp"

namespace RecordCSV::ByteOrderMark {

struct Entry {
  platform::TextEncoding::Kind encoding;
  std::array<std::uint8_t, 4> bytes;
  std::size_t length;
  std::span<const std::uint8_t> mark() const { return {bytes.data(), length}; }
};

/// UTF-8, UTF-16 and UTF-32 in both byte orders.
inline constexpr std::array<Entry, 5> table{{
    {platform::TextEncoding::Kind::utf8, {0xEF, 0xBB, 0xBF, 0}, 3},
    {platform::TextEncoding::Kind::utf16BigEndian, {0xFE, 0xFF, 0, 0}, 2},
    {platform::TextEncoding::Kind::utf16LittleEndian, {0xFF, 0xFE, 0, 0}, 2},
    {platform::TextEncoding::Kind::utf32BigEndian, {0x00, 0x00, 0xFE, 0xFF}, 4},
    {platform::TextEncoding::Kind::utf32LittleEndian, {0xFF, 0xFE, 0x00, 0x00}, 4},
}};

/// The length of the longest mark.
inline constexpr std::size_t maximumLength = 4;

/// The mark of an encoding, if it has one.
inline std::optional<Entry> forEncoding(platform::TextEncoding::Kind encoding) {
  for (const Entry& entry : table)
    if (entry.encoding == encoding) return entry;
  return std::nullopt;
}

}  // namespace RecordCSV::ByteOrderMark
