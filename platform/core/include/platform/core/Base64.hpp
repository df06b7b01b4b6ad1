#pragma once
// Base-64 text of data blobs (RFC 4648, with padding), as property lists and JSON carry them.

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Data.hpp"

namespace platform {

std::string base64Encoded(const Data& data);
/// The bytes of padded base-64 text; white space is skipped, anything else that is not base-64 gives nothing.
std::optional<Data> base64Decoded(std::string_view text);

}  // namespace platform
