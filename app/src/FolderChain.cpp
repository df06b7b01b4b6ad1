#include "FolderChain.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <limits>
#include <utility>

#include "platform/io/CheckedFile.hpp"
#include "platform/io/FileSystem.hpp"

namespace Pelmora_Zava {
namespace {

namespace fs = std::filesystem;

// A descriptor that only names a folder: it needs no read permission and serves the *at calls.
constexpr int levelFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Every file system takes names this long, so a shorter one needs no question.
constexpr std::size_t portableNameLength = _POSIX_NAME_MAX;

// What is at `name` in `parent`, links not followed; 0 when nothing is there.
mode_t kindAt(int parent, const std::string& name) {
  struct stat status {};
  return ::fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? status.st_mode & S_IFMT : 0;
}

// What a link in a folder's place leads to, which the error names.
fs::file_type targetType(int parent, const std::string& name) {
  struct stat status {};
  return ::fstatat(parent, name.c_str(), &status, 0) == 0 ? platform::fileTypeOf(status.st_mode)
                                                            : fs::file_type::regular;
}

// The longest name, in bytes, that the file system of `folder` takes; what cannot be asked sets
// no limit, and the making gives its own reason.
std::size_t nameLimitOf(int folder) {
  const long limit = ::fpathconf(folder, _PC_NAME_MAX);
  return limit >= 0 ? static_cast<std::size_t>(limit) : std::numeric_limits<std::size_t>::max();
}

}  // namespace

FolderChain::FolderChain(fs::path root, Mode mode) : rootPath_(std::move(root)), mode_(mode) {}

void FolderChain::visit(Components components) {
  if (!openRoot(components)) return;
  const std::size_t last = components.size() - 1;
  std::size_t kept = 0;
  while (kept < chain_.size() && kept < last && chain_[kept].name == components[kept]) ++kept;
  chain_.erase(chain_.begin() + static_cast<std::ptrdiff_t>(kept), chain_.end());
  heldPath_.resize(chain_.empty() ? 0 : chain_.back().pathEnd);

  for (std::size_t level = kept; level < last; ++level) {
    const int parent = chain_.empty() ? root_.get() : chain_.back().descriptor.get();
    std::optional<Level> opened = enter(parent, std::string(components[level]), components);
    if (!opened) return;  // nothing to check below a missing folder
    push(std::move(*opened));
  }
  finish(chain_.empty() ? root_.get() : chain_.back().descriptor.get(), std::string(components[last]), components);
}

// The root is taken as it is, a link included: the user chose it.
bool FolderChain::openRoot(Components components) {
  if (root_) return true;
  if (rootMissing_) return false;
  const fs::path root = rootPath_.empty() ? fs::path(".") : rootPath_;
  if (mode_ == Mode::make) {
    try {
      platform::createDirectory(root);
    } catch (const platform::FileSystemError& error) {
      const int code = static_cast<int>(error.code());
      platform::throwFolderNotCreated(code, locationBelow(rootPath_, components),
                                      code == ENOTDIR ? platform::fileInTheWay(root) : std::nullopt);
    }
  }
  root_ = Descriptor(::open(root.c_str(), levelFlags));
  if (!root_ || ::fstat(root_.get(), &rootStatus_) != 0) {
    if (mode_ != Mode::make) {
      // Nothing exists below a root that cannot be opened; the making reports why.
      rootMissing_ = true;
      return false;
    }
    fail(errno, components);
  }
  return true;
}

// Opens one level above the location's folder, made first in make mode. Absent in the check
// modes when the level is missing, or cannot be looked at (the making gives the reason), and in
// checkLinks mode when it is no folder.
std::optional<FolderChain::Level> FolderChain::enter(int parent, std::string name, Components components) {
  const std::size_t depth = chain_.size() + 1;
  if (mode_ == Mode::make) {
    if (::mkdirat(parent, name.c_str(), 0777) == 0) {
      made(components.first(depth));
    } else if (errno != EEXIST) {
      fail(errno, components);
    }
  }
  Descriptor opened(::openat(parent, name.c_str(), levelFlags | O_NOFOLLOW));
  if (opened) return Level{std::move(name), std::move(opened)};
  const int error = errno;
  if ((error == ENOENT || error == ENAMETOOLONG) && mode_ != Mode::make) {
    if (mode_ == Mode::check) checkNewNames(components, depth - 1);
    return std::nullopt;
  }
  const mode_t kind = kindAt(parent, name);
  if (kind == S_IFLNK) {
    Descriptor target = follow(parent, name, false, components, depth);
    if (!target) return std::nullopt;
    return Level{std::move(name), std::move(target), true};
  }
  if (mode_ == Mode::checkLinks) return std::nullopt;
  if (kind != 0 && kind != S_IFDIR) fail(ENOTDIR, components, depth, platform::fileTypeOf(kind));
  if (mode_ == Mode::check) return std::nullopt;
  fail(kind == 0 ? ENOENT : error, components);
}

void FolderChain::push(Level level) {
  if (!heldPath_.empty()) heldPath_ += '/';
  heldPath_ += level.name;
  level.pathEnd = heldPath_.size();
  chain_.push_back(std::move(level));
}

// A held folder stays the same file wherever it is moved, so its status is taken once.
bool FolderChain::statusOf(Level& level) {
  if (!level.statusKnown) level.statusKnown = ::fstat(level.descriptor.get(), &level.status) == 0;
  return level.statusKnown;
}

// After a folder was made in the deepest held level (or in the root, which is taken as it is).
// A level or two below the root are asked for their parents: that costs fewer calls than one
// resolution.
void FolderChain::made(Components location) {
  if (afterMaking_) afterMaking_(locationBelow(rootPath_, location));
  if (chain_.empty()) return;
  const bool shortWalk = chain_.size() <= 2 && !chain_.front().throughLink && !chain_.back().throughLink;
  if (!shortWalk && deepestResolvesBeneathRoot()) return;
  if (const std::optional<std::size_t> moved = levelOutOfPlace())
    refuseMoved(locationBelow(rootPath_, location), locationBelow(rootPath_, location.first(*moved + 1)));
}

void FolderChain::finish(int parent, const std::string& name, Components components) {
  if (mode_ == Mode::make) {
    if (::mkdirat(parent, name.c_str(), 0777) == 0) return made(components);
    if (errno != EEXIST) fail(errno, components);
  }
  const mode_t kind = kindAt(parent, name);
  if (kind == S_IFLNK) {
    // A link in the folder's own place that leads to the root itself still names no folder below it.
    follow(parent, name, true, components, components.size());
  } else if (kind == 0 && mode_ == Mode::check) {
    checkNewNames(components, components.size() - 1);
  } else if (mode_ != Mode::checkLinks && kind != S_IFDIR) {
    if (kind == 0) fail(ENOENT, components);
    fail(ENOTDIR, components, components.size(), platform::fileTypeOf(kind));
  }
}

// The folders from level `from` on are missing: all would be made on the file system of the
// deepest folder held, whose limit is asked once.
void FolderChain::checkNewNames(Components components, std::size_t from) {
  for (std::size_t level = from; level < components.size(); ++level) {
    const std::size_t length = components[level].size();
    if (length <= portableNameLength) continue;
    std::optional<std::size_t>& limit = chain_.empty() ? rootNameLimit_ : chain_.back().nameLimit;
    if (!limit) limit = nameLimitOf(chain_.empty() ? root_.get() : chain_.back().descriptor.get());
    if (length > *limit) fail(ENAMETOOLONG, components);
  }
}

FolderChain::Descriptor FolderChain::follow(int parent, const std::string& name, bool strictlyBelow,
                                            Components components, std::size_t depth) {
  Descriptor target(::openat(parent, name.c_str(), levelFlags));
  if (!target) {
    if (errno != ENOTDIR) refuseLink(components);  // to nowhere, or a loop
    // A link to a file is a file in the way, wherever the file is.
    if (mode_ == Mode::checkLinks) return Descriptor();
    fail(ENOTDIR, components, depth, targetType(parent, name));
  }
  if (!liesBelowRoot(target.get(), strictlyBelow)) refuseLink(components);
  return target;
}

// Walks up from the folder itself, not from a path, so the answer is about what was opened.
bool FolderChain::liesBelowRoot(int folder, bool strictlyBelow) const {
  struct stat here {};
  if (::fstat(folder, &here) != 0) return false;
  if (platform::isSameFile(here, rootStatus_)) return !strictlyBelow;
  Descriptor current;
  for (int at = folder;;) {
    Descriptor up(::openat(at, "..", levelFlags));
    struct stat above {};
    if (!up || ::fstat(up.get(), &above) != 0) return false;
    if (platform::isSameFile(above, rootStatus_)) return true;
    if (platform::isSameFile(above, here)) return false;  // the top of the file system
    here = above;
    current = std::move(up);
    at = current.get();
  }
}

// One resolution of the deepest level's names that may not leave the root, links inside it
// followed: reaching the folder held shows that it, and so every level above, lies below the root.
bool FolderChain::deepestResolvesBeneathRoot() {
  if (!resolveBeneath_) return false;
  Level& deepest = chain_.back();
  if (!statusOf(deepest)) return false;
  open_how how{};
  how.flags = levelFlags;
  how.resolve = RESOLVE_BENEATH;
  Descriptor reached(static_cast<int>(::syscall(SYS_openat2, root_.get(), heldPath_.c_str(), &how, sizeof how)));
  if (!reached) {
    // A system without the call, or one that forbids it, leaves the walk over every level.
    if (errno == ENOSYS || errno == EPERM || errno == EINVAL || errno == E2BIG) resolveBeneath_ = false;
    return false;
  }
  struct stat status {};
  return ::fstat(reached.get(), &status) == 0 && platform::isSameFile(status, deepest.status);
}

// The held level found no longer in the folder it was opened from, up to the root: one moved
// meanwhile (or a grandparent of it), out of the root or under another folder in it; what was
// just made in it may lie outside, and the safe answer is to stop.
std::optional<std::size_t> FolderChain::levelOutOfPlace() {
  for (std::size_t level = chain_.size(); level-- > 0;) {
    Level& held = chain_[level];
    if (held.throughLink) {
      if (liesBelowRoot(held.descriptor.get(), false)) return std::nullopt;
      return level;
    }
    struct stat above {};
    if (::fstatat(held.descriptor.get(), "..", &above, 0) != 0) return level;
    if (level == 0) return platform::isSameFile(above, rootStatus_) ? std::nullopt : std::optional<std::size_t>(0);
    Level& parent = chain_[level - 1];
    if (!statusOf(parent) || !platform::isSameFile(above, parent.status)) return level;
  }
  return std::nullopt;
}

void FolderChain::fail(int errorNumber, Components components, std::optional<std::size_t> obstacleDepth,
                       fs::file_type obstacleType) const {
  std::optional<platform::Obstacle> obstacle;
  if (obstacleDepth) obstacle = {locationBelow(rootPath_, components.first(*obstacleDepth)), obstacleType};
  platform::throwFolderNotCreated(errorNumber, locationBelow(rootPath_, components), std::move(obstacle));
}

void FolderChain::refuseLink(Components components) const {
  refuseOutside(locationBelow(rootPath_, components), rootPath_);
}

fs::path locationBelow(const fs::path& root, std::span<const std::string_view> components) {
  fs::path location = root;
  for (const std::string_view component : components) location /= component;
  return location;
}

}  // namespace Pelmora_Zava
