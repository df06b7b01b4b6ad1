#pragma once
// Whole files read into memory and written back in one piece. A write is atomic: the
// bytes go to a temporary file beside the target, are flushed to the disk and renamed
// over it, so a reader sees the old file or the new one, never a part of either.

#include <sys/types.h>

#include <filesystem>
#include <optional>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"

namespace platform {

/// The file's bytes. Throws the error of `unreadableFileError` (FileType.hpp), which names the
/// file, when it cannot be opened or read (a folder cannot be read).
Data readFile(const std::filesystem::path& file);

/// Replaces `file` with `bytes`. An existing file keeps its permissions; a new one gets
/// `mode` (default: 0666 less the umask). A symbolic link stays a link: its target is
/// replaced, in the target's own folder. On failure the old file is left as it was and no
/// temporary file remains. Throws the error of `unwritableFileError`.
void writeFileAtomically(const std::filesystem::path& file, const Data& bytes,
                         std::optional<mode_t> mode = std::nullopt);

/// The error for a file that cannot be written (`errorNumber` from the system): it names the file.
Error unwritableFileError(const std::filesystem::path& file, int errorNumber);

}  // namespace platform
