#pragma once
// Folder creation as the file manager offers it: intermediate folders are made,
// an existing folder is fine, and a failure names the folder and the system's reason.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/core/Error.hpp"

namespace platform {

/// A file that lies where a folder must be, and what it is (a link counts as what it leads to):
/// a message names a FIFO or a device for what it is, not as a file.
struct Obstacle {
  std::filesystem::path path;
  std::filesystem::file_type type = std::filesystem::file_type::regular;
};

/// The kind of file that `st_mode` bits describe.
std::filesystem::file_type fileTypeOf(mode_t mode) noexcept;

/// A file-system operation that failed: the code is the system's error number.
class FileSystemError : public Error {
 public:
  FileSystemError(int errorNumber, std::filesystem::path path, std::string description,
                  std::optional<Obstacle> obstacle = std::nullopt);
  const std::filesystem::path& path() const noexcept { return path_; }
  /// The file that lies where `path` or a folder above it must be, when the failing operation met it.
  const std::optional<std::filesystem::path>& obstacle() const noexcept { return obstacle_; }
  /// What the obstacle is; `regular` when there is none.
  std::filesystem::file_type obstacleType() const noexcept { return obstacleType_; }

 private:
  std::filesystem::path path_;
  std::optional<std::filesystem::path> obstacle_;
  std::filesystem::file_type obstacleType_ = std::filesystem::file_type::regular;
};

/// Throws the error of a folder that could not be created for the system's `errorNumber`.
[[noreturn]] void throwFolderNotCreated(int errorNumber, const std::filesystem::path& folder,
                                        std::optional<Obstacle> obstacle = std::nullopt);

/// Creates `folder` and every missing folder above it; succeeds when it exists already.
/// Throws FileSystemError when a path element is a file or a folder cannot be made.
void createDirectory(const std::filesystem::path& folder);

/// The first part of `folder`, from its start, that exists and is no folder (links followed):
/// the file a failed `createDirectory` met. Nothing when every existing part is a folder.
std::optional<Obstacle> fileInTheWay(const std::filesystem::path& folder);

}  // namespace platform
