#pragma once
// Lasting references to files kept in the user-defaults database under keys the caller
// chooses. Our bookmark data is the bytes "PZBKMK2" and NUL, a CRC-32 of what follows, the
// path's length (both 4 bytes, big-endian), then the file's absolute path; data cut short or
// altered resolves to nothing. Bookmarks of the older form ("PZBKMK1", NUL, the path) are
// still read. Data is made only for a location that exists, and resolves only while that
// file exists. Neither operation throws: every failure is an absent value.

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/defaults/UserDefaults.hpp"

namespace QVExtensions {

/// Stores bookmark data for `location` under `key`; with no location, or one that does not
/// exist, removes the key instead.
void setBookmark(platform::UserDefaults& defaults, const std::optional<std::filesystem::path>& location,
                 std::string_view key) noexcept;

/// The location the data under `key` refers to; absent when the key holds no bookmark data
/// of ours (missing, another kind of value, foreign or cut-short bytes) or the file is gone.
std::optional<std::filesystem::path> bookmark(const platform::UserDefaults& defaults, std::string_view key) noexcept;

}  // namespace QVExtensions
