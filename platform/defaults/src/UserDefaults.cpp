#include "platform/defaults/UserDefaults.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>
#include <utility>

#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/io/FileData.hpp"

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
  /// Polls for the lock, backing off, for `patience` at most (zero: one try).
  static std::optional<FileLock> acquire(const fs::path& file, std::chrono::milliseconds patience,
                                         std::string& error) {
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
    const auto deadline = std::chrono::steady_clock::now() + patience;
    std::chrono::milliseconds pause{1};
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      auto now = std::chrono::steady_clock::now();
      if (errno != EWOULDBLOCK || now >= deadline) {
        error = errno == EWOULDBLOCK ? "another process holds its lock" : std::strerror(errno);
        ::close(fd);
        return std::nullopt;
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::milliseconds{100});
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

// A writer waits this long for another process's lock; a reader never waits.
constexpr std::chrono::milliseconds lockPatience{3000};
constexpr std::chrono::milliseconds noWait{0};
// A temporary file this old, while nobody holds the lock, was left by a writer that was killed.
constexpr std::time_t staleAfterSeconds = 60;

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

// The system's reason alone, as the rest of the log lines give it.
bool writeSettingsFile(const fs::path& file, const std::string& text, std::string& error) {
  try {
    writeFileAtomically(file, Data::fromString(text), 0600);
    return true;
  } catch (const Error& failure) {
    error = failure.userInfo().get<std::string>("NSUnderlyingError").value_or(failure.description());
    return false;
  }
}

// The general atomic write names its temporary file "<file>.XXXXXX", beside the file.
// Where the settings live: a symbolic link is followed to its target (one yet to be made included), so that
// a write replaces the target and keeps the link.
fs::path resolvedFile(const fs::path& path) {
  fs::path file = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(file, ec)) break;
    fs::path target = fs::read_symlink(file, ec);
    if (ec) break;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file;
}

void applyChange(PropertyList::Dictionary& values, std::string_view key, const std::optional<PropertyList>& value) {
  if (value)
    values.insert_or_assign(std::string(key), *value);
  else if (auto found = values.find(key); found != values.end())
    values.erase(found);
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
  removeStaleTemporaryFiles();
  std::lock_guard guard(mutex_);
  load(nullptr);
}

void UserDefaults::removeStaleTemporaryFiles() const {
  const fs::path file = resolvedFile(path_);
  const std::string fileName = file.filename().string();
  const std::time_t cutoff = std::time(nullptr) - staleAfterSeconds;
  std::vector<fs::path> stale;
  std::error_code ec;
  for (fs::directory_iterator entry(file.parent_path(), ec), end; !ec && entry != end; entry.increment(ec)) {
    if (!platform::isTemporaryFileName(entry->path().filename().string(), fileName)) continue;
    struct stat info {};
    if (::lstat(entry->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime < cutoff)
      stale.push_back(entry->path());
  }
  if (stale.empty()) return;
  // A writer holds the lock for as long as its temporary file exists.
  std::string error;
  if (!FileLock::acquire(path_, noWait, error)) return;
  for (const fs::path& temporary : stale) ::unlink(temporary.c_str());
}

UserDefaults::~UserDefaults() {
  std::lock_guard guard(registryMutex);
  auto& suites = registry();
  auto found = suites.find(path_);
  if (found != suites.end() && found->second.expired()) suites.erase(found);
}

bool UserDefaults::load(const FileLock* lock) {
  auto startFrom = [this](PropertyList::Dictionary values, const Stamp& stamp) {
    user_ = std::move(values);
    for (const auto& [key, change] : pending_) applyChange(user_, key, change.value);
    *stamp_ = stamp;
    return true;
  };
  std::string text;
  struct stat info {};
  if (int error = readFile(path_, text, info)) {
    if (error == ENOENT) return startFrom({}, Stamp{});
    // What the file holds is unknown: keep what we have, and never write over it.
    log("Could not read settings file " + path_.string() + ": " + std::strerror(error));
    return false;
  }
  std::string reason;
  std::vector<std::string> leftOut;
  std::optional<PropertyList> root = PropertyListXML::read(text, &reason, &leftOut);
  if (root && root->dictionary()) {
    for (const std::string& key : leftOut)
      log("Settings file " + path_.string() + ": left out \"" + key + "\", nested too deep or dated out of range");
    return startFrom(std::move(*root->dictionary()), Stamp::of(info));
  }
  if (!lock) {
    // Only a writer holding the lock may move the file, or a good file written meanwhile could go.
    std::string lockError;
    std::optional<FileLock> ownLock = FileLock::acquire(path_, noWait, lockError);
    if (ownLock) return load(&*ownLock);
    log("Settings file " + path_.string() + " could not be read (" + reason + "); left it as it is for now: " +
        lockError);
    return false;
  }
  if (root) reason = "the root is no dictionary";
  std::optional<fs::path> aside = moveAside(resolvedFile(path_));
  if (!aside) {
    // Starting empty would write over it with the next change: keep it, as a file that cannot be read.
    log("Settings file " + path_.string() + " could not be read (" + reason + "); could not move it aside (" +
        std::strerror(errno) + ") and left it as it is");
    return false;
  }
  log("Settings file " + path_.string() + " could not be read (" + reason + "); moved it to " + aside->string() +
      " and started empty");
  return startFrom({}, Stamp{});
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
  {
    std::lock_guard guard(mutex_);
    if (Stamp::of(path_) != *stamp_ && !load(nullptr)) return false;
    if (pending_.empty()) return true;
  }
  return savePending();
}

void UserDefaults::change(std::string_view key, std::optional<PropertyList> value) {
  std::vector<std::shared_ptr<Registration>> observers = registrationsFor(key);
  notifyPrior(observers, key);

  if (value) {
    if (auto problem = PropertyListXML::unwritableReason(*value, 1)) {
      // As with any value that has no stored form: the entry goes, and the rest of the file stays readable.
      log("Settings value for \"" + std::string(key) + "\" cannot be stored (" + *problem + "); removed the entry");
      value.reset();
    }
  }
  KeyValueChange after;
  {
    std::lock_guard guard(mutex_);
    after.oldValue = lookup(key);
    applyChange(user_, key, value);
    pending_.insert_or_assign(std::string(key), PendingChange{std::move(value), ++generation_});
    after.newValue = lookup(key);
  }
  savePending();
  for (const auto& registration : observers) deliver(*registration, after);
}

bool UserDefaults::savePending() {
  {
    std::lock_guard guard(mutex_);
    if (pending_.empty()) return true;
  }
  std::string error;
  // Waited for without mutex_, so that reads go on meanwhile.
  std::optional<FileLock> lock = FileLock::acquire(path_, lockPatience, error);
  std::optional<std::string> text;
  std::uint64_t saving = 0;
  if (lock) {
    std::lock_guard guard(mutex_);
    if (pending_.empty()) return true;  // another thread saved them meanwhile
    // Another process may have written since we read: start from its file, then apply our changes.
    if (Stamp::of(path_) == *stamp_ || load(&*lock)) {
      text = PropertyListXML::write(PropertyList(user_), &error);
      saving = generation_;
    } else {
      error = "the file could not be read first";
    }
  }
  if (text && writeSettingsFile(resolvedFile(path_), *text, error)) {
    std::lock_guard guard(mutex_);
    *stamp_ = Stamp::of(path_);
    std::erase_if(pending_, [saving](const auto& entry) { return entry.second.generation <= saving; });
    return true;
  }
  log("Could not save settings to " + path_.string() + ": " + error);
  return false;
}

}  // namespace platform
