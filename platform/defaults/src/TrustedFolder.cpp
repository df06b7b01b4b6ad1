#include "TrustedFolder.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr int maximumLinks = 40;  // as the kernel allows

// Why a folder on the way is not trusted; empty when it is.
std::string distrustOf(const struct stat& folder) {
  if (!ownedByTrustedUser(folder)) return "is a folder owned by another user";
  if ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (folder.st_mode & S_ISVTX) == 0)
    return "is a folder that others may write, without the sticky bit";
  return {};
}

class Walk {
 public:
  explicit Walk(bool make) : make_(make) {}

  TrustedFolder run(const fs::path& folder, int relativeTo, const fs::path& relativeToPath) {
    if (walk(folder, relativeTo, relativeToPath)) result_.descriptor = std::move(current_);
    return std::move(result_);
  }

 private:
  bool walk(const fs::path& folder, int relativeTo, const fs::path& relativeToPath) {
    if (folder.is_absolute() || relativeTo < 0) {
      std::error_code ec;
      const fs::path absolute = fs::absolute(folder, ec);
      if (ec) return fail(ec.value());
      if (!enterRoot()) return false;
      prepend(absolute);
    } else {
      if (!enter(UniqueDescriptor{::fcntl(relativeTo, F_DUPFD_CLOEXEC, 0)}, relativeToPath)) return false;
      prepend(folder);
    }
    while (!left_.empty()) {
      const std::string name = std::move(left_.front());
      left_.pop_front();
      if (!step(name)) return false;
    }
    return true;
  }

  void prepend(const fs::path& path) {
    std::deque<std::string> components;
    for (const fs::path& component : path.relative_path()) components.push_back(component.string());
    left_.insert(left_.begin(), components.begin(), components.end());
  }

  bool fail(int error) {
    result_.error = error;
    return false;
  }
  bool refuse(const fs::path& where, const std::string& why) {
    result_.refusal = where.string() + ", which " + why;
    return false;
  }

  // Makes `folder` (opened, `where` in words) the current one once it is trusted.
  bool enter(UniqueDescriptor folder, const fs::path& where) {
    struct stat info {};
    if (!folder || ::fstat(folder.get(), &info) != 0) return fail(errno);
    if (std::string why = distrustOf(info); !why.empty()) return refuse(where, why);
    current_ = std::move(folder);
    walked_ = where;
    return true;
  }

  bool enterRoot() { return enter(UniqueDescriptor{::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)}, "/"); }

  bool step(const std::string& name) {
    if (name.empty() || name == ".") return true;
    const fs::path where = name == ".." ? walked_.parent_path() : walked_ / name;
    struct stat info {};
    if (name != ".." && ::fstatat(current_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT || !make_) return fail(errno);
      if (::mkdirat(current_.get(), name.c_str(), 0700) != 0 && errno != EEXIST) return fail(errno);
      if (::fstatat(current_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
    }
    if (name != ".." && S_ISLNK(info.st_mode)) return follow(name, info, where);
    if (name != ".." && !S_ISDIR(info.st_mode)) return refuse(where, "is no folder");
    // Opened without following, so a link put in its place since is not followed either.
    return enter(
        UniqueDescriptor{::openat(current_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)},
        where);
  }

  bool follow(const std::string& name, const struct stat& link, const fs::path& where) {
    if (!ownedByTrustedUser(link)) return refuse(where, "is a link owned by another user");
    if (++links_ > maximumLinks) return refuse(where, "is a chain of links that does not end");
    const std::optional<fs::path> target = linkTarget(current_.get(), name);
    if (!target) return fail(errno);
    if (target->is_absolute() && !enterRoot()) return false;
    prepend(*target);
    return true;
  }

  bool make_;
  TrustedFolder result_;
  UniqueDescriptor current_;
  fs::path walked_;  // where current_ is, for the messages
  std::deque<std::string> left_;
  int links_ = 0;
};

}  // namespace

bool ownedByTrustedUser(const struct stat& info) { return info.st_uid == ::geteuid() || info.st_uid == 0; }

std::optional<fs::path> linkTarget(int folder, const std::string& name) {
  char target[PATH_MAX];
  const ssize_t length = ::readlinkat(folder, name.c_str(), target, sizeof target);
  if (length < 0) return std::nullopt;
  if (static_cast<std::size_t>(length) == sizeof target) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  return fs::path(std::string(target, static_cast<std::size_t>(length)));
}

TrustedFolder openTrustedFolder(const fs::path& folder, bool make, int relativeTo, const fs::path& relativeToPath) {
  return Walk(make).run(folder, relativeTo, relativeToPath);
}

}  // namespace platform
