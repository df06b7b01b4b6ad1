#pragma once
// Uniform type identifiers of datasource files, from their extensions alone.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/core/Error.hpp"

namespace platform {

/// The identifier for the file's extension, compared without regard to case: csv gives
/// "public.comma-separated-values-text", tsv and tab "public.tab-separated-values-text",
/// txt and text "public.plain-text", rtf "public.rtf"; any other extension, and a folder, has none.
/// Throws platform::Error when the file does not exist or cannot be read. The file is looked
/// at, never opened, so a pipe keeps its bytes and a device is not woken.
std::optional<std::string> fileTypeIdentifier(const std::filesystem::path& file);

/// The identifier for the extension of `file` alone, as above, for a file that is already open.
std::optional<std::string> typeIdentifierForExtension(const std::filesystem::path& file);

/// The error for a file that cannot be opened or read (`errorNumber` from the system): it names the file.
Error unreadableFileError(const std::filesystem::path& file, int errorNumber);

}  // namespace platform
