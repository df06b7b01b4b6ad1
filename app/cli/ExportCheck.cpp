#include "ExportCheck.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/io/FileSystem.hpp"

namespace Pelmora_Zava::cli {
namespace {

namespace fs = std::filesystem;
using Components = std::span<const std::string_view>;

constexpr std::size_t noLimit = std::numeric_limits<std::size_t>::max();

/// The longest name, in bytes, that the folder at `path` takes; nothing when it cannot be asked.
std::optional<std::size_t> nameLimit(const fs::path& path) {
  errno = 0;
  const long limit = ::pathconf(path.c_str(), _PC_NAME_MAX);
  if (limit >= 0) return static_cast<std::size_t>(limit);
  if (errno == 0) return noLimit;
  return std::nullopt;
}

fs::path locationOf(const fs::path& root, Components components) {
  fs::path location = root;
  for (const std::string_view component : components) location /= component;
  return location;
}

// The error of a root the export cannot make is its first location's; with no location, the
// export makes nothing, and nothing fails.
void failAtFirst(const AsyncImporter& importer, const fs::path& root, int errorNumber,
                 std::optional<platform::Obstacle> obstacle = std::nullopt) {
  importer.forEachFolderLocation([&](Components components) {
    platform::throwFolderNotCreated(errorNumber, locationOf(root, components), std::move(obstacle));
  });
}

// Every folder of every location is still to be made, on a file system whose names may be
// `limit` bytes long. The import measured every name: only a list that holds one too long, or one
// the export refuses, is gone through to find the first.
void checkNewLocations(const AsyncImporter& importer, const fs::path& root, std::size_t limit) {
  const std::optional<std::size_t> longest = importer.longestFolderName();
  if (longest && *longest <= limit) return;
  importer.forEachFolderLocation([&](Components components) {
    for (const std::string_view component : components)
      if (component.size() > limit) platform::throwFolderNotCreated(ENAMETOOLONG, locationOf(root, components));
  });
}

}  // namespace

void checkExportLocations(const AsyncImporter& importer, const fs::path& root) {
  const fs::path at = root.empty() ? fs::path(".") : root;
  struct stat status {};
  if (::stat(at.c_str(), &status) == 0) {
    // An empty root holds nothing to look up, no more than a new one.
    std::error_code unread;
    if (S_ISDIR(status.st_mode) && fs::is_empty(at, unread) && !unread)
      return checkNewLocations(importer, root, nameLimit(at).value_or(noLimit));
    if (S_ISDIR(status.st_mode)) return importer.checkFolderLocations(root);
    return failAtFirst(importer, root, ENOTDIR, platform::fileInTheWay(at));
  }
  if (errno == ENOTDIR) return failAtFirst(importer, root, ENOTDIR, platform::fileInTheWay(at));

  // The export makes the missing folders of the root with the first location, and every folder
  // below on the file system of the nearest existing one, so one limit holds for every name.
  std::vector<std::size_t> missing;
  fs::path existing = at;
  std::optional<std::size_t> limit;
  while (!(limit = nameLimit(existing))) {
    missing.push_back(existing.filename().native().size());
    const fs::path up = existing.parent_path();
    if (up == existing) break;
    if (up.empty()) {
      limit = nameLimit(".");
      break;
    }
    existing = up;
  }
  const std::size_t longestAllowed = limit.value_or(noLimit);
  for (const std::size_t length : missing)
    if (length > longestAllowed) return failAtFirst(importer, root, ENAMETOOLONG);
  checkNewLocations(importer, root, longestAllowed);
}

}  // namespace Pelmora_Zava::cli
