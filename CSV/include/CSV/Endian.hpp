#pragma once
// The byte order of 16- and 32-bit code units, and the byte-order marks that
// announce it at the start of a text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace CSV {

enum class Endian { big, little, unknown };

namespace ByteOrderMark {
inline constexpr std::array<std::uint8_t, 3> utf8{0xEF, 0xBB, 0xBF};
inline constexpr std::array<std::uint8_t, 2> utf16BigEndian{0xFE, 0xFF};
inline constexpr std::array<std::uint8_t, 2> utf16LittleEndian{0xFF, 0xFE};
inline constexpr std::array<std::uint8_t, 4> utf32BigEndian{0x00, 0x00, 0xFE, 0xFF};
inline constexpr std::array<std::uint8_t, 4> utf32LittleEndian{0xFF, 0xFE, 0x00, 0x00};
}  // namespace ByteOrderMark

/// A mark found at the start of some bytes: the byte order it implies (`unknown`
/// for UTF-8) and its length.
struct DetectedByteOrderMark {
  Endian endian;
  std::size_t length;
  friend bool operator==(const DetectedByteOrderMark&, const DetectedByteOrderMark&) = default;
};

/// The mark that the first `length` bytes start with, any of the five; the 4-byte
/// marks are tested first, so FF FE 00 00 is UTF-32 little-endian.
std::optional<DetectedByteOrderMark> detectByteOrderMark(const std::uint8_t* bytes, std::size_t length);

/// Only the marks of one code-unit width (1, 2 or 4 bytes): what a reader of that
/// width takes for a mark; any other leading bytes are text.
std::optional<DetectedByteOrderMark> detectByteOrderMark(const std::uint8_t* bytes, std::size_t length,
                                                         std::size_t codeUnitSize);

}  // namespace CSV
