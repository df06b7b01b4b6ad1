#include "platform/defaults/UserDefaults.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"

namespace platform {
namespace fs = std::filesystem;

struct UserDefaults::Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;  // nanoseconds

  static Stamp of(const struct stat& info) {
    return {true, info.st_dev, info.st_ino, info.st_size,
            std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
  }
  static Stamp of(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return of(info);
  }
  bool operator==(const Stamp&) const = default;
};

// An exclusive advisory lock on "<file>.lock", which is created (with its folder) when missing.
class UserDefaults::FileLock {
 public:
  static std::optional<FileLock> acquire(const fs::path& file, std::string& error) {
    fs::path folder = file.parent_path();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      std::error_code ec;
      fs::create_directories(folder, ec);
      if (ec || ::chmod(folder.c_str(), 0700) != 0) {
        error = ec ? ec.message() : std::strerror(errno);
        return std::nullopt;
      }
    }
    fs::path lockPath = file;
    lockPath += ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = std::strerror(errno);
      return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error = std::strerror(errno);
        ::close(fd);
        return std::nullopt;
      }
    }
    return FileLock(fd);
  }
  FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileLock& operator=(FileLock&&) = delete;
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

namespace {

std::mutex registryMutex;

std::map<fs::path, std::weak_ptr<UserDefaults>>& registry() {
  static std::map<fs::path, std::weak_ptr<UserDefaults>> suites;
  return suites;
}

bool isValidSuiteName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}


// The whole file and the identity of what was read; 0, or the errno of the failure.
int readFile(const fs::path& path, std::string& text, struct stat& info) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fstat(fd, &info) == 0 ? 0 : errno;
  text.clear();
  char buffer[65536];
  while (!error) {
    ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) error = errno;
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);
  return error;
}

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Moves the file to "<file>.corrupt" (or "<file>.N.corrupt" when that is taken), never over an older one.
std::optional<fs::path> moveAside(const fs::path& path) {
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    fs::path target = path;
    target += attempt == 1 ? ".corrupt" : "." + std::to_string(attempt) + ".corrupt";
    if (::link(path.c_str(), target.c_str()) == 0) {
      ::unlink(path.c_str());
      return target;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

fs::path UserDefaults::directory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (config && *config && fs::path(config).is_absolute()) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      struct passwd* entry = ::getpwuid(::getuid());
      home = entry ? entry->pw_dir : "/tmp";
    }
    base = fs::path(home) / ".config";
  }
  return base / "pelmora-zava";
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() { return open(std::string(standardSuiteName)); }

std::shared_ptr<UserDefaults> UserDefaults::suite(std::string_view name) {
  if (!isValidSuiteName(name)) return nullptr;
  return open(std::string(name));
}

std::shared_ptr<UserDefaults> UserDefaults::open(std::string name) {
  fs::path path = directory() / (name + ".plist");
  std::lock_guard guard(registryMutex);
  auto& suites = registry();
  if (auto existing = suites[path].lock()) return existing;
  std::shared_ptr<UserDefaults> suite(new UserDefaults(std::move(name), path));
  suites[path] = suite;
  return suite;
}

UserDefaults::UserDefaults(std::string name, fs::path path)
    : name_(std::move(name)), path_(std::move(path)), stamp_(std::make_unique<Stamp>()) {
  std::lock_guard guard(mutex_);
  load(nullptr);
}

UserDefaults::~UserDefaults() {
  std::lock_guard guard(registryMutex);
  auto& suites = registry();
  auto found = suites.find(path_);
  if (found != suites.end() && found->second.expired()) suites.erase(found);
}

bool UserDefaults::load(const FileLock* lock) {
  std::string text;
  struct stat info {};
  if (int error = readFile(path_, text, info)) {
    if (error == ENOENT) {
      user_.clear();
      *stamp_ = Stamp{};
      return true;
    }
    // What the file holds is unknown: keep what we have, and never write over it.
    log("Could not read settings file " + path_.string() + ": " + std::strerror(error));
    return false;
  }
  std::string reason;
  std::optional<PropertyList> root = PropertyListXML::read(text, &reason);
  if (root && root->dictionary()) {
    user_ = std::move(*root->dictionary());
    *stamp_ = Stamp::of(info);
    return true;
  }
  if (!lock) {
    // Only a writer holding the lock may move the file, or a good file written meanwhile could go.
    std::string lockError;
    std::optional<FileLock> ownLock = FileLock::acquire(path_, lockError);
    if (ownLock) return load(&*ownLock);
  }
  if (root) reason = "the root is no dictionary";
  std::optional<fs::path> aside = moveAside(path_);
  if (!aside) {
    // Starting empty would write over it with the next change: keep it, as a file that cannot be read.
    log("Settings file " + path_.string() + " could not be read (" + reason + "); could not move it aside (" +
        std::strerror(errno) + ") and left it as it is");
    return false;
  }
  log("Settings file " + path_.string() + " could not be read (" + reason + "); moved it to " + aside->string() +
      " and started empty");
  user_.clear();
  *stamp_ = Stamp{};
  return true;
}

std::optional<PropertyList> UserDefaults::lookup(std::string_view key) const {
  if (auto found = user_.find(key); found != user_.end()) return found->second;
  if (auto found = registered_.find(key); found != registered_.end()) return found->second;
  return std::nullopt;
}

std::optional<PropertyList> UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard guard(mutex_);
  return lookup(key);
}

bool UserDefaults::boolForKey(std::string_view key) const {
  std::optional<PropertyList> value = objectForKey(key);
  if (!value) return false;
  if (const bool* boolean = value->boolean()) return *boolean;
  if (const std::int64_t* integer = value->integer()) return *integer != 0;
  if (value->unsignedInteger()) return true;
  if (const double* real = value->real()) return *real != 0;
  if (const std::string* text = value->string()) {
    std::string lower;
    for (char c : *text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "yes" || lower == "true") return true;
    // Otherwise the leading integer, as a text's integer value reads it.
    std::size_t i = lower.find_first_not_of(" \t\n");
    if (i == std::string::npos) return false;
    if (lower[i] == '+' || lower[i] == '-') ++i;
    for (; i < lower.size() && lower[i] >= '0' && lower[i] <= '9'; ++i)
      if (lower[i] != '0') return true;
    return false;
  }
  return false;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  std::optional<PropertyList> value = objectForKey(key);
  if (!value) return std::nullopt;
  if (const std::string* text = value->string()) return *text;
  if (value->isNumber() || value->boolean()) return value->description();
  return std::nullopt;
}

PropertyList::Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard guard(mutex_);
  PropertyList::Dictionary all = user_;
  all.insert(registered_.begin(), registered_.end());  // keeps the user's where both have a key
  return all;
}

void UserDefaults::registerDefaults(const PropertyList::Dictionary& defaults) {
  std::lock_guard guard(mutex_);
  for (const auto& [key, value] : defaults) registered_.insert_or_assign(key, value);
}

void UserDefaults::setObject(std::optional<PropertyList> value, std::string_view key) { change(key, std::move(value)); }

void UserDefaults::removeObject(std::string_view key) { change(key, std::nullopt); }

bool UserDefaults::synchronize() {
  std::lock_guard guard(mutex_);
  if (Stamp::of(path_) == *stamp_) return true;
  return load(nullptr);
}

void UserDefaults::change(std::string_view key, std::optional<PropertyList> value) {
  std::vector<std::shared_ptr<Registration>> observers = registrationsFor(key);
  notifyPrior(observers, key);

  KeyValueChange after;
  {
    std::lock_guard guard(mutex_);
    after.oldValue = lookup(key);
    std::string error;
    std::optional<FileLock> lock = FileLock::acquire(path_, error);
    // Another process may have written since we read: start from its file, then apply only this change.
    if (lock && !load(&*lock)) {
      lock.reset();
      error = "the file could not be read first";
    }
    if (value)
      user_.insert_or_assign(std::string(key), std::move(*value));
    else if (auto found = user_.find(key); found != user_.end())
      user_.erase(found);
    if (!lock || !save()) {
      if (error.empty()) error = std::strerror(errno);
      log("Could not save settings to " + path_.string() + ": " + error);
    }
    after.newValue = lookup(key);
  }
  for (const auto& registration : observers) deliver(*registration, after);
}

bool UserDefaults::save() {
  std::string text = PropertyListXML::write(PropertyList(user_));
  std::string pattern = path_.string() + ".XXXXXX";
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(pattern.c_str(), path_.c_str()) != 0) {
    int saved = errno;
    ::unlink(pattern.c_str());
    errno = saved;
    return false;
  }
  // The rename itself must reach the disk before the change counts as stored.
  int folder = ::open(path_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  *stamp_ = Stamp::of(path_);
  return true;
}

}  // namespace platform
