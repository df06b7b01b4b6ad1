#pragma once
// Files used only after a check on the very file that is used. Whoever can change a path
// between a look at it and an open of it wins any check made by path, so what is checked
// is an open descriptor, and what is read or written is that descriptor or one proven to
// reach the same file (the same device and inode).

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "platform/io/UniqueDescriptor.hpp"

namespace platform {

/// Whether two statuses are of one file: the same device and inode.
inline bool isSameFile(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// Whether the status is that of the null device (character device 1:3), which reads as empty.
bool isNullDevice(const struct stat& status) noexcept;

/// What to do with the file a path named, decided on its status before anything opened it.
enum class OpenDecision { open, leaveClosed };

/// A file opened for reading once its status was decided on.
struct CheckedFile {
  /// Open for reading, blocking; holds nothing when the decision left the file closed.
  UniqueDescriptor descriptor;
  /// The status the decision saw: that of the file the descriptor reads.
  struct stat status {};
};

/// Opens `file` for reading after `decide` has seen the status of what it names. The path is
/// resolved once, to a descriptor that opens nothing (O_PATH: no device driver runs, a FIFO
/// does not wait); `decide` sees that descriptor's status and throws to refuse. The file is
/// then opened from that same descriptor through /proc/self/fd, or, where /proc is missing,
/// by the path again (never waiting unless a FIFO was seen), and kept only when it is the
/// file decided on. A FIFO waits for its writer. Throws std::system_error: the error of an
/// open, or ESTALE when the path led to another file by the time it was opened again.
CheckedFile openCheckedForReading(const std::filesystem::path& file,
                                  const std::function<OpenDecision(const struct stat&)>& decide);

/// The first `length` bytes (fewer when the file is shorter) of the regular file open at
/// `written` (for writing, say), read through a descriptor of their own: opened from that
/// same descriptor through /proc/self/fd, or where /proc is missing at `file`, which must
/// still lead to the same file. The open neither waits nor makes a terminal the controlling
/// one. Absent when the file written cannot be read. Throws std::system_error with ESTALE
/// when `file` led to another file or could not be opened: a check on these bytes is a
/// check on the file written.
std::optional<std::vector<std::uint8_t>> readStartOfSameFile(int written, const std::filesystem::path& file,
                                                              std::size_t length);

}  // namespace platform
