#pragma once
// Uniform type identifiers of datasource files, from their extensions alone.

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

/// The identifier for the file's extension, compared without regard to case: csv gives
/// "public.comma-separated-values-text", tsv and tab "public.tab-separated-values-text",
/// txt and text "public.plain-text", rtf "public.rtf"; any other extension, and a folder, has none.
/// Throws platform::Error when the file does not exist or cannot be read.
std::optional<std::string> fileTypeIdentifier(const std::filesystem::path& file);

}  // namespace platform
