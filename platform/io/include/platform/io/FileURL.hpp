#pragma once
// File locations as "file://" URL text, the form a location takes when it is
// stored as text: absolute, percent-encoded, a folder's trailing slash kept.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// "file:///tmp/a%20b.csv" for /tmp/a b.csv; a relative location is made absolute first.
std::string fileURLString(const std::filesystem::path& location);
/// The location of a "file://" URL with an empty or "localhost" host; nothing for any other text.
std::optional<std::filesystem::path> fileURLPath(std::string_view url);

/// The last component of a location as people name it: "dir" for "a/dir/" as for "a/dir".
std::string lastPathComponent(const std::filesystem::path& location);

}  // namespace platform
