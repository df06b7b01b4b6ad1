#pragma once
// Whole files read into memory and written back in one piece. A write is atomic: the
// bytes go to a temporary file beside the target, are flushed to the disk and renamed
// over it, so a reader sees the old file or the new one, never a part of either.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"

namespace platform {

/// The file's bytes. Throws the error of `unreadableFileError` (FileType.hpp), which names the
/// file, when it cannot be opened or read (a folder cannot be read).
Data readFile(const std::filesystem::path& file);

/// The bytes of an open descriptor from where it stands to its end, read in blocks into one
/// buffer (a regular file's size is reserved at once). Absent when there are more than
/// `limit`: reading stops at the first byte past it, and the buffer never holds more than
/// `limit` + 1 bytes. Throws std::system_error when a read fails.
std::optional<Data> readToEnd(int descriptor, std::size_t limit = std::numeric_limits<std::size_t>::max());

/// Replaces `file` with `bytes`. An existing file of the effective user keeps its permissions;
/// a new one gets `mode` (default: 0666 less the umask), and one replacing any other file only those
/// of `mode` that the file had too. A symbolic link stays a link: its
/// target is replaced, in the target's own folder, through `writeFileAtomicallyAt`. On failure
/// the old file is left as it was and no temporary file remains. Throws the error of
/// `unwritableFileError`.
void writeFileAtomically(const std::filesystem::path& file, const Data& bytes,
                         std::optional<mode_t> mode = std::nullopt);

/// Replaces the file `name` in the open folder `folder` as `writeFileAtomically` does, except that the
/// name is never resolved: a link there is replaced by the file, not followed. The temporary file is
/// made in that folder. Only a regular file of the effective user keeps its permissions; otherwise the
/// file gets `mode` (default: 0666 less the umask), less what the file replaced, if any, did not have.
/// `name` is one file name, without a "/". Errors name `file` (the file in the caller's words; `name`
/// when empty). The file never gets the permissions in `withheld`, even those the file it replaces had.
void writeFileAtomicallyAt(int folder, const std::string& name, const Data& bytes,
                           std::optional<mode_t> mode = std::nullopt, const std::filesystem::path& file = {},
                           mode_t withheld = 0);

/// Whether `name` is that of a temporary file a write to the file named `fileName` makes
/// ("<fileName>.pz-tmp-" and six letters or digits), so leftovers of a killed writer can be
/// told from a person's own files (such as "<fileName>.backup").
bool isTemporaryFileName(std::string_view name, std::string_view fileName);

/// The error for a file that cannot be written (`errorNumber` from the system): it names the file.
Error unwritableFileError(const std::filesystem::path& file, int errorNumber);

}  // namespace platform
