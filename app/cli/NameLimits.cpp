#include "NameLimits.hpp"

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

// Every file system takes names this long, so a shorter one needs no question.
constexpr std::size_t portableLength = _POSIX_NAME_MAX;
constexpr std::size_t noLimit = std::numeric_limits<std::size_t>::max();

/// The longest name, in bytes, that the folder at `path` takes; nothing when it cannot be asked.
std::optional<std::size_t> nameLimit(const fs::path& path) {
  errno = 0;
  const long limit = ::pathconf(path.empty() ? "." : path.c_str(), _PC_NAME_MAX);
  if (limit >= 0) return static_cast<std::size_t>(limit);
  if (errno == 0) return noLimit;
  return std::nullopt;
}

/// The folders above the last location looked at, the root first, each with the limit of the
/// file system its names would be made on once a name needed it: a folder's own when it
/// exists, else the one above it. Consecutive locations share most of their folders.
class Limits {
 public:
  explicit Limits(fs::path root) : root_(std::move(root)) {}

  bool fit(std::span<const std::string_view> components) {
    if (chain_.empty() && !openRoot()) return false;
    std::size_t kept = 0;  // components already looked at, as the folders of the chain
    while (kept + 1 < components.size() && kept + 1 < chain_.size() && chain_[kept + 1].name == components[kept])
      ++kept;
    chain_.resize(kept + 1);
    for (std::size_t level = kept; level < components.size(); ++level) {
      const std::size_t length = components[level].size();
      if (length > portableLength && length > limitOf(level)) return false;
      if (level + 1 < components.size()) chain_.push_back({std::string(components[level]), std::nullopt});
    }
    return true;
  }

 private:
  struct Folder {
    std::string name;
    std::optional<std::size_t> limit;
  };

  // The export makes the missing folders of the root with the first location.
  bool openRoot() {
    std::vector<std::size_t> missing;
    fs::path at = root_.empty() ? fs::path(".") : root_;
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
    chain_.push_back({std::string(), limit.value_or(noLimit)});
    for (const std::size_t length : missing)
      if (length > *chain_.front().limit) return false;
    return true;
  }

  std::size_t limitOf(std::size_t level) {
    Folder& folder = chain_[level];
    if (!folder.limit) {
      fs::path path = root_;
      for (std::size_t above = 1; above <= level; ++above) path /= chain_[above].name;
      const std::optional<std::size_t> own = nameLimit(path);
      folder.limit = own ? *own : limitOf(level - 1);
    }
    return *folder.limit;
  }

  fs::path root_;
  std::vector<Folder> chain_;
};

}  // namespace

void refuseOverlongNames(const AsyncImporter& importer, const fs::path& root) {
  Limits limits(root);
  importer.forEachFolderLocation([&](std::span<const std::string_view> components) {
    if (limits.fit(components)) return;
    fs::path location = root;
    for (const std::string_view component : components) location /= component;
    platform::throwFolderNotCreated(ENAMETOOLONG, location);
  });
}

}  // namespace Pelmora_Zava::cli
