#include "platform/io/FileSystem.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

constexpr const char* fileSystemDomain = "FileSystem";

bool isDirectory(const std::filesystem::path& path) {
  struct stat status{};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::filesystem::file_type fileTypeOf(mode_t mode) noexcept {
  using Type = std::filesystem::file_type;
  switch (mode & S_IFMT) {
    case S_IFREG: return Type::regular;
    case S_IFDIR: return Type::directory;
    case S_IFLNK: return Type::symlink;
    case S_IFIFO: return Type::fifo;
    case S_IFSOCK: return Type::socket;
    case S_IFCHR: return Type::character;
    case S_IFBLK: return Type::block;
    default: return Type::unknown;
  }
}

void throwFolderNotCreated(int errorNumber, const std::filesystem::path& folder, std::optional<Obstacle> obstacle) {
  throw FileSystemError(errorNumber, folder,
                        "The folder \xE2\x80\x9C" + folder.string() + "\xE2\x80\x9D couldn\xE2\x80\x99t be created.",
                        std::move(obstacle));
}

FileSystemError::FileSystemError(int errorNumber, std::filesystem::path path, std::string description,
                                 std::optional<Obstacle> obstacle)
    : Error(fileSystemDomain, errorNumber, std::move(description),
            Details{std::string(std::strerror(errorNumber)), std::nullopt, std::nullopt,
                    UserInfo().add("Path", path.string()), nullptr}),
      path_(std::move(path)) {
  if (!obstacle) return;
  obstacle_ = std::move(obstacle->path);
  obstacleType_ = obstacle->type;
}

void createDirectory(const std::filesystem::path& folder) {
  // The common case, a folder whose parent exists, costs one system call.
  if (::mkdir(folder.c_str(), 0777) == 0) return;
  const int first = errno;
  if (first == EEXIST) {
    if (isDirectory(folder)) return;
    throwFolderNotCreated(ENOTDIR, folder);
  }
  if (first != ENOENT) throwFolderNotCreated(first, folder);

  const std::filesystem::path parent = folder.parent_path();
  if (parent.empty() || parent == folder) throwFolderNotCreated(first, folder);
  createDirectory(parent);
  if (::mkdir(folder.c_str(), 0777) == 0) return;
  const int second = errno;
  if (second == EEXIST && isDirectory(folder)) return;
  throwFolderNotCreated(second, folder);
}

std::optional<Obstacle> fileInTheWay(const std::filesystem::path& folder) {
  std::filesystem::path part;
  for (const std::filesystem::path& component : folder) {
    if (component.empty()) continue;
    part /= component;
    struct stat status{};
    if (::stat(part.c_str(), &status) != 0) return std::nullopt;
    if (!S_ISDIR(status.st_mode)) return Obstacle{part, fileTypeOf(status.st_mode)};
  }
  return std::nullopt;
}

}  // namespace platform
