#include "ExportCheck.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/io/FileSystem.hpp"

namespace Pelmora_Zava::cli {
namespace {

namespace fs = std::filesystem;
using Components = std::span<const std::string_view>;

// Every file system takes names this long, so a shorter one needs no question.
constexpr std::size_t portableLength = _POSIX_NAME_MAX;
constexpr std::size_t noLimit = std::numeric_limits<std::size_t>::max();

/// The longest name, in bytes, that the folder at `path` takes; nothing when it cannot be asked.
std::optional<std::size_t> nameLimit(const fs::path& path) {
  errno = 0;
  const long limit = ::pathconf(path.c_str(), _PC_NAME_MAX);
  if (limit >= 0) return static_cast<std::size_t>(limit);
  if (errno == 0) return noLimit;
  return std::nullopt;
}

/// The folders above the last location looked at, the root first, each known to exist or not
/// and with the limit of the file system its names would be made on once a name needed it: a
/// folder's own when it exists, else the one above it. Consecutive locations share most of
/// their folders, so each existing folder is looked at once, and nothing below a missing one.
class Locations {
 public:
  explicit Locations(fs::path root) : root_(std::move(root)) {}

  /// Throws the export's error when it could not make the location of `components`.
  void check(Components components) {
    if (chain_.empty()) openRoot(components);
    std::size_t kept = 0;  // components already looked at, as the folders of the chain
    while (kept + 1 < components.size() && kept + 1 < chain_.size() && chain_[kept + 1].name == components[kept])
      ++kept;
    chain_.resize(kept + 1);
    for (std::size_t level = kept; level < components.size(); ++level) {
      const std::size_t length = components[level].size();
      if (length > portableLength && length > limitOf(level)) fail(ENAMETOOLONG, components);
      fs::path path = chain_[level].path / components[level];
      const bool exists = chain_[level].exists && isFolder(path, components, level + 1);
      if (level + 1 < components.size())
        chain_.push_back({std::string(components[level]), std::move(path), exists, std::nullopt});
    }
  }

 private:
  struct Folder {
    std::string name;
    fs::path path;
    bool exists = false;
    std::optional<std::size_t> limit;
  };

  // The export makes the missing folders of the root with the first location, and stops there
  // at a file in their way.
  void openRoot(Components components) {
    const fs::path root = root_.empty() ? fs::path(".") : root_;
    struct stat status {};
    const bool found = ::stat(root.c_str(), &status) == 0;
    if (found ? !S_ISDIR(status.st_mode) : errno == ENOTDIR)
      fail(ENOTDIR, components, platform::fileInTheWay(root));
    std::vector<std::size_t> missing;
    fs::path at = root;
    std::optional<std::size_t> limit;
    while (!(limit = nameLimit(at))) {
      missing.push_back(at.filename().native().size());
      const fs::path up = at.parent_path();
      if (up == at) break;
      if (up.empty()) {
        limit = nameLimit(".");
        break;
      }
      at = up;
    }
    chain_.push_back({std::string(), root, found, limit.value_or(noLimit)});
    for (const std::size_t length : missing)
      if (length > *chain_.front().limit) fail(ENAMETOOLONG, components);
  }

  // As the export meets it: a link is followed, so one to a folder serves as the folder. What
  // cannot be looked at is taken as missing, and the export gives its own reason.
  bool isFolder(const fs::path& path, Components components, std::size_t depth) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) fail(ENOTDIR, components, locationOf(components.first(depth)));
    return true;
  }

  std::size_t limitOf(std::size_t level) {
    Folder& folder = chain_[level];
    if (!folder.limit) {
      const std::optional<std::size_t> own = folder.exists ? nameLimit(folder.path) : std::nullopt;
      folder.limit = own ? *own : limitOf(level - 1);
    }
    return *folder.limit;
  }

  fs::path locationOf(Components components) const {
    fs::path location = root_;
    for (const std::string_view component : components) location /= component;
    return location;
  }

  [[noreturn]] void fail(int errorNumber, Components components,
                         std::optional<fs::path> obstacle = std::nullopt) const {
    platform::throwFolderNotCreated(errorNumber, locationOf(components), std::move(obstacle));
  }

  fs::path root_;
  std::vector<Folder> chain_;
};

}  // namespace

void checkExportLocations(const AsyncImporter& importer, const fs::path& root) {
  Locations locations(root);
  importer.forEachFolderLocation([&](Components components) { locations.check(components); });
}

}  // namespace Pelmora_Zava::cli
