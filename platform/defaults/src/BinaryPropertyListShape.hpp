#pragma once
// The guard every reader of binary property lists runs before libplist parses: libplist
// recurses once per level and copies an object for every reference to it, so a few hundred
// bytes can overflow the stack or ask for gigabytes.

#include <string_view>

namespace platform::detail {

/// False for a document that nests deeper than 512 levels, holds a loop, expands to more than a
/// million plus 16 per byte values once every reference is copied, or whose structure lies out of bounds.
bool hasParsableBinaryShape(std::string_view bytes);

}  // namespace platform::detail
