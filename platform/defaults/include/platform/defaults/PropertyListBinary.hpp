#pragma once
// The binary property-list file format, through libplist. Integers above the signed
// 64-bit range cannot be told from negative ones in this format's reader and come back
// negative; dates are read as they are, and written with whole microseconds within about
// 68 years of 2001.

#include <optional>

#include "platform/core/Data.hpp"
#include "platform/defaults/PropertyList.hpp"

namespace platform {

struct PropertyListBinary {
  /// Whether the bytes start like a binary property list ("bplist00").
  static bool isBinary(const Data& bytes);
  /// The root value, or nothing when the bytes are no binary property list, nest deeper than
  /// 512 levels or, with containers referred to more than once, expand to more values than a
  /// million plus 16 per byte of the document once every reference is copied.
  static std::optional<PropertyList> read(const Data& bytes);
  /// Nothing when the value nests too deep, or holds a date the format cannot carry or a
  /// text (or key) with a NUL, which libplist would cut short.
  static std::optional<Data> write(const PropertyList& root);
};

}  // namespace platform
