#pragma once
// Conveniences on file locations: the base name, a changed extension or name, and
// an incremented trailing number. They compute locations; none touches the disk.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace QVExtensions {

/// The last component without its extension: "/a/b/Names.csv" gives "Names".
std::string baseName(const std::filesystem::path& location);

/// Removes the extension, then appends `extension` (nothing when it is empty).
void replacePathExtension(std::filesystem::path& location, std::string_view extension);
std::filesystem::path replacingPathExtension(const std::filesystem::path& location, std::string_view extension);

/// Replaces the last component with `name`, keeping the old extension when asked to.
void rename(std::filesystem::path& location, std::string_view name, bool keepExtension);
std::filesystem::path renaming(const std::filesystem::path& location, std::string_view name, bool keepExtension);

/// Applies `incrementingTrailingNumber` to the base name and keeps folder and extension.
std::filesystem::path incrementingTrailingNumber(const std::filesystem::path& location, std::int64_t start = 2,
                                                 std::int64_t step = 1, std::string_view format = "%d",
                                                 std::string_view separator = " ");
void incrementTrailingNumber(std::filesystem::path& location, std::int64_t start = 2, std::int64_t step = 1,
                             std::string_view format = "%d", std::string_view separator = " ");

}  // namespace QVExtensions
