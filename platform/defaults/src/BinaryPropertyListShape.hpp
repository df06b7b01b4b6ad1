#pragma once
// The guard every reader of binary property lists runs before libplist parses: libplist
// recurses once per level and copies an object for every reference to it, so a few hundred
// bytes can overflow the stack or ask for gigabytes.

#include <string_view>

namespace platform::detail {

/// False for a document that nests deeper than 512 levels, holds a loop, or whose structure lies out
/// of bounds; and for one that would weigh more than 64 MiB, or 16 times its own size when that is
/// more, once every reference is copied: 64 bytes for each value, plus the bytes of each text or data.
bool hasParsableBinaryShape(std::string_view bytes);

}  // namespace platform::detail
