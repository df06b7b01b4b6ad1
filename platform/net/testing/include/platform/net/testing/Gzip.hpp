#pragma once
// Gzip streams (RFC 1952) for tests that script or check compressed bodies.

#include <optional>
#include <string>
#include <string_view>

namespace platform::testing {

std::string gzipped(std::string_view text);
/// The text of a whole gzip stream, or nothing when the bytes are not one.
std::optional<std::string> gunzipped(std::string_view bytes);

}  // namespace platform::testing
