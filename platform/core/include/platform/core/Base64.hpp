#pragma once
// Base-64 text of data blobs (RFC 4648, with padding), as property lists and JSON carry them.

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Data.hpp"

namespace platform {

enum class Base64Decoding {
  /// Spaces, tabs and line breaks are skipped, as in property lists and wrapped text.
  skippingWhiteSpace,
  /// Only the alphabet and the padding; white space makes the text invalid.
  strict,
};

std::string base64Encoded(const Data& data);
/// The bytes of padded base-64 text; anything that is not base-64 (white space too, when
/// strict) gives nothing.
std::optional<Data> base64Decoded(std::string_view text, Base64Decoding mode = Base64Decoding::skippingWhiteSpace);

}  // namespace platform
