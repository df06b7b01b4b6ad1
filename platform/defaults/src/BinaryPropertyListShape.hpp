#pragma once
// The guard every reader of binary property lists runs before libplist parses: libplist
// recurses once per level and copies an object for every reference to it, so a few hundred
// bytes can overflow the stack or ask for gigabytes.

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace platform::detail {

/// The most that reading a document of `size` bytes may copy: 64 MiB, or 16 times its size when
/// that is more.
constexpr std::uint64_t binaryCopyLimit(std::uint64_t size) {
  return std::max<std::uint64_t>(std::uint64_t{64} << 20, 16 * size);
}

/// False for a document that nests deeper than 512 levels, holds a loop, or whose structure lies out
/// of bounds; and for one that would weigh more than its `binaryCopyLimit` once every reference is
/// copied: 64 bytes for each value, plus the bytes of each text or data.
bool hasParsableBinaryShape(std::string_view bytes);

}  // namespace platform::detail
