#include "platform/defaults/UserDefaults.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "TrustedFolder.hpp"
#include "UserDefaultsSeam.hpp"
#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/UniqueDescriptor.hpp"

namespace platform {
namespace fs = std::filesystem;

std::function<void()> userDefaultsSeam::afterCheck;

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
  bool operator==(const Stamp&) const = default;
};

namespace {

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISLNK(mode)) return "a link";
  return "a special file";
}

// Whether only the effective user may add or remove names in the open folder.
bool onlyTheUserMayWrite(int folder) {
  struct stat info {};
  return ::fstat(folder, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Why the file at the end of the links, if any, lying in the open folder `folder`, is not to be read or
// replaced; empty when it may be.
std::string fileRefusal(const struct stat& file, int folder, bool viaLink) {
  if (!S_ISREG(file.st_mode))
    return viaLink ? "is a link to " + kindOf(file.st_mode) + ", not to a regular file"
                   : "is " + kindOf(file.st_mode) + ", not a regular file";
  if (!ownedByTrustedUser(file))
    return viaLink ? "is a link to a file owned by another user" : "is a file owned by another user";
  // A file of root's that others may write, filled by another user and hard-linked into a folder they may
  // write: its owner says nothing of whose it is. Where only the user may write, the user made the link,
  // as backup tools do.
  if (file.st_nlink > 1 && !onlyTheUserMayWrite(folder)) return "has more than one link in a folder others may write";
  return {};
}

// Why the lock file found is not to be used, in words that follow "it"; empty when it may be.
std::string lockRefusal(const struct stat& lock) {
  if (!S_ISREG(lock.st_mode)) return "has a lock file that is " + kindOf(lock.st_mode);
  if (lock.st_uid != ::geteuid()) return "has a lock file owned by another user";
  return {};
}

}  // namespace

// An exclusive advisory lock on "<file>.lock" in the settings folder, created when missing. Only the
// user's own regular file is locked: a link or anything else there is refused, not followed or made.
class UserDefaults::FileLock {
 public:
  /// Polls for the lock, backing off, for `patience` at most (zero: one try). `failure` tells a time-out
  /// (lockBusy) and a place or lock file that is not to be used (refused) from other failures.
  static std::optional<FileLock> acquire(const Place& place, std::chrono::milliseconds patience,
                                         std::string& error, SaveOutcome* failure = nullptr);
  FileLock(FileLock&& other) noexcept = default;
  FileLock& operator=(FileLock&&) = delete;

 private:
  explicit FileLock(UniqueDescriptor descriptor) : descriptor_(std::move(descriptor)) {}
  UniqueDescriptor descriptor_;  // closing it releases the lock
};

namespace {

// A writer waits lockWaitBound() for another process's lock; a reader never waits.
std::atomic<std::int64_t> lockWaitMilliseconds{3000};
constexpr std::chrono::milliseconds noWait{0};
// The background retries of a save that waited out the lock: the pause doubles up to the last one.
constexpr std::chrono::milliseconds firstRetryPause{10};
constexpr std::chrono::milliseconds lastRetryPause{250};
// A temporary file this old, while nobody holds the lock, was left by a writer that was killed.
constexpr std::time_t staleAfterSeconds = 60;
// Settings are small; a file far larger was not written by this store, and is not read into memory.
constexpr std::size_t largestFile = std::size_t{64} << 20;
// How often a read looks again when the file opened is not the one the check approved.
constexpr int readLooks = 4;

std::mutex registryMutex;

// The suites whose refusal was logged: once per suite and process is enough to act on it.
std::mutex refusalsMutex;
std::set<fs::path> refusalsLogged;

std::map<fs::path, std::weak_ptr<UserDefaults>>& registry() {
  static std::map<fs::path, std::weak_ptr<UserDefaults>> suites;
  return suites;
}

bool isValidSuiteName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::mutex identifierMutex;
std::string namedIdentifier;  // empty until the program names itself

// The executable's file name, as it was when the program started even if it has been replaced since.
std::string executableName() {
  std::error_code ec;
  std::string name = fs::read_symlink("/proc/self/exe", ec).filename().string();
  constexpr std::string_view replaced = " (deleted)";
  if (name.ends_with(replaced)) name.resize(name.size() - replaced.size());
  if (!ec && isValidSuiteName(name)) return name;
  name = program_invocation_short_name;
  return isValidSuiteName(name) ? name : "unnamed";
}

}  // namespace

// Where the settings' bytes live: the path itself, or the end of a chain of links that the effective user
// owns; there lies a regular file of that user's (or root's), with no other link unless only the user may
// write its folder, or a file not made yet in that user's folder. A write replaces that file and keeps the
// links. The settings folder, and the folders of the links' targets, are reached as trusted folders. Any
// other place is refused: nothing there is followed, read, moved or written.
struct UserDefaults::Place {
  UniqueDescriptor settingsFolder;  // where the lock lives
  UniqueDescriptor folder;          // where the bytes live
  std::string name;                 // of the file in `folder`
  fs::path shown;                   // the path that leads to the file through the links followed, for the messages
  std::string lockName;             // in `settingsFolder`
  std::string refusal;              // why, in words that follow "it"; empty when the place may be used
  int error = 0;                    // the errno of a failure to reach the folder; ENOENT: no folder yet
  Stamp approved;                   // the file the check approved; none when it was missing
  bool linked = false;              // whether the check followed links to it

  /// The settings folder of `file`, made when missing with `make`.
  static Place folderOf(const fs::path& file, bool make);
  /// The place of `file` in full.
  static Place of(const fs::path& file) {
    Place place = folderOf(file, false);
    place.findFile();
    return place;
  }
  /// Follows the links at the file's name; does nothing to a place refused or not reached.
  void findFile();

  bool usable() const { return refusal.empty() && error == 0; }
  /// The file's identity now; nothing when it is missing.
  Stamp stamp() const {
    struct stat info {};
    if (!folder || ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
    return Stamp::of(info);
  }
  /// The whole file and the identity of what was read: 0, ENOENT when missing, refused (with `refusal`
  /// set) when what was opened is no file to read, or the errno of the failure. Decides on the file opened;
  /// when that is not the one approved, the name changed since the check, which is made again from
  /// `file` (the suite's path), a few times at most.
  int read(const fs::path& file, Data& bytes, struct stat& info);
  /// Replaces the file at the name the check approved, in the folder held; on failure, the system's reason
  /// alone, as the rest of the log lines give it.
  bool write(const std::string& text, std::string& reason) const;
  /// Moves the file to "<file>.corrupt" (or "<file>.N.corrupt" when that is taken) in its own folder, never
  /// over an older one; the new name, in the words of `shown`.
  std::optional<fs::path> moveAside() const;

 private:
  void refuse(std::string why) {
    refusal = std::move(why);
    folder.reset();
  }
};

UserDefaults::Place UserDefaults::Place::folderOf(const fs::path& file, bool make) {
  Place place;
  TrustedFolder settings = openTrustedFolder(file.parent_path(), make);
  if (!settings.refusal.empty()) {
    place.refusal = "lies in " + settings.refusal;
    return place;
  }
  if (!settings.descriptor) {
    place.error = settings.error;
    return place;
  }
  place.name = file.filename().string();
  place.shown = file;
  place.lockName = place.name + ".lock";
  place.folder = UniqueDescriptor{::fcntl(settings.descriptor.get(), F_DUPFD_CLOEXEC, 0)};
  place.settingsFolder = std::move(settings.descriptor);
  if (!place.folder) place.error = errno;
  return place;
}

void UserDefaults::Place::findFile() {
  if (!usable()) return;
  const uid_t user = ::geteuid();
  for (int hops = 0; hops <= 40; ++hops) {
    const bool viaLink = hops > 0;
    linked = viaLink;
    struct stat info {};
    if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (!viaLink) return;  // missing, or unreadable: reading says so
      struct stat holder {};
      if (errno == ENOENT && ::fstat(folder.get(), &holder) == 0 && holder.st_uid == user) return;
      return refuse("is a link to a missing file in a folder that is not yours");
    }
    if (S_ISLNK(info.st_mode)) {
      if (info.st_uid != user)
        return refuse(viaLink ? "is a link to a link owned by another user" : "is a link owned by another user");
      const std::optional<fs::path> read = linkTarget(folder.get(), name);
      if (!read) return refuse("is a link that cannot be read");
      const fs::path& target = *read;
      const std::string leaf = target.filename().string();
      if (leaf.empty() || leaf == "." || leaf == "..") return refuse("is a link to a folder, not to a regular file");
      if (target.has_parent_path()) {
        TrustedFolder next = openTrustedFolder(target.parent_path(), false, folder.get(), shown.parent_path());
        if (!next.refusal.empty()) return refuse("is a link that leads through " + next.refusal);
        if (next.error == ENOENT || next.error == ENOTDIR)
          return refuse("is a link to a missing file in a folder that is not yours");
        if (!next.descriptor) {
          error = next.error;
          folder.reset();
          return;
        }
        folder = std::move(next.descriptor);
      }
      shown = target.is_absolute() ? target : shown.parent_path() / target;
      name = leaf;
      continue;
    }
    if (std::string why = fileRefusal(info, folder.get(), viaLink); !why.empty()) return refuse(why);
    approved = Stamp::of(info);
    return;
  }
  refuse("is a chain of links that does not end");
}

// The place was refused, at the check or by what the read opened.
constexpr int refused = -1;

// Opened without blocking, so a FIFO planted in its place cannot hold the process, and without following
// a link planted since the place was checked. Another user may put a file at a name the check found
// missing, or in place of one it approved: only the descriptor tells what was opened.
int UserDefaults::Place::read(const fs::path& file, Data& bytes, struct stat& info) {
  for (int look = 1;; ++look) {
    if (!refusal.empty()) return refused;
    if (!folder) return error;
    if (userDefaultsSeam::afterCheck) userDefaultsSeam::afterCheck();
    UniqueDescriptor opened{::openat(folder.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)};
    const int failure = !opened ? errno : ::fstat(opened.get(), &info) != 0 ? errno : 0;
    // Usually another process of the user's saved meanwhile, which makes a new file each time.
    const bool changed = failure == 0    ? !approved.exists || approved.device != info.st_dev ||
                                            approved.inode != info.st_ino
                         : failure == ENOENT ? approved.exists
                                             : failure == ELOOP;
    if (changed && look < readLooks) {
      *this = of(file);
      continue;
    }
    if (failure) return failure;
    if (std::string why = fileRefusal(info, folder.get(), linked); !why.empty()) {
      refuse(std::move(why));
      return refused;
    }
    try {
      std::optional<Data> read = readToEnd(opened.get(), largestFile);
      if (!read) return EFBIG;
      bytes = std::move(*read);
      return 0;
    } catch (const std::system_error& failed) {
      return failed.code().value();
    }
  }
}

bool UserDefaults::Place::write(const std::string& text, std::string& reason) const {
  try {
    // The file's own mode is kept, but never write for others: one open to all lets them go on writing
    // the user's settings.
    writeFileAtomicallyAt(folder.get(), name, Data::fromString(text), 0600, shown, S_IWGRP | S_IWOTH);
    return true;
  } catch (const Error& failure) {
    reason = failure.userInfo().get<std::string>("NSUnderlyingError").value_or(failure.description());
    return false;
  }
}

std::optional<fs::path> UserDefaults::Place::moveAside() const {
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    std::string target = name;
    if (attempt > 1) target += "." + std::to_string(attempt);
    target += ".corrupt";
    if (::linkat(folder.get(), name.c_str(), folder.get(), target.c_str(), 0) == 0) {
      ::unlinkat(folder.get(), name.c_str(), 0);
      return shown.parent_path() / target;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<UserDefaults::FileLock> UserDefaults::FileLock::acquire(const Place& place,
                                                                      std::chrono::milliseconds patience,
                                                                      std::string& error, SaveOutcome* failure) {
  SaveOutcome ignored;
  SaveOutcome& outcome = failure ? *failure : ignored;
  auto fail = [&](SaveOutcome kind, std::string why) {
    outcome = kind;
    error = std::move(why);
    return std::nullopt;
  };
  if (!place.refusal.empty()) return fail(SaveOutcome::refused, "it " + place.refusal);
  if (!place.usable()) return fail(SaveOutcome::failed, std::strerror(place.error));
  // Not blocking, so that a FIFO or a device there cannot hold the process.
  UniqueDescriptor lock{::openat(place.settingsFolder.get(), place.lockName.c_str(),
                                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600)};
  struct stat info {};
  const int opened = lock ? (::fstat(lock.get(), &info) == 0 ? 0 : errno) : errno;
  // What lies there and may not be used says why it could not be opened better than the system's reason: a
  // link gives ELOOP, or EACCES in a sticky folder that protects links, and another user's file EACCES.
  if (opened != 0 && ::fstatat(place.settingsFolder.get(), place.lockName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
    if (std::string refusal = lockRefusal(info); !refusal.empty()) return fail(SaveOutcome::refused, "it " + refusal);
  if (opened != 0) return fail(SaveOutcome::failed, std::strerror(opened));
  if (std::string refusal = lockRefusal(info); !refusal.empty()) return fail(SaveOutcome::refused, "it " + refusal);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::chrono::milliseconds pause{1};
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    auto now = std::chrono::steady_clock::now();
    if (errno != EWOULDBLOCK || now >= deadline)
      return errno == EWOULDBLOCK ? fail(SaveOutcome::lockBusy, "another process holds its lock")
                                  : fail(SaveOutcome::failed, std::strerror(errno));
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds{100});
  }
  return FileLock(std::move(lock));
}

namespace {

void applyChange(PropertyList::Dictionary& values, std::string_view key, const std::optional<PropertyList>& value) {
  if (value)
    values.insert_or_assign(std::string(key), *value);
  else if (auto found = values.find(key); found != values.end())
    values.erase(found);
}

}  // namespace

fs::path UserDefaults::directory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (config && *config && fs::path(config).is_absolute()) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    // A relative one would put the settings below wherever the program was started.
    if (!home || !fs::path(home).is_absolute()) {
      struct passwd* entry = ::getpwuid(::getuid());
      home = entry ? entry->pw_dir : "/tmp";
    }
    base = fs::path(home) / ".config";
  }
  return base / applicationIdentifier();
}

void UserDefaults::setApplicationIdentifier(const std::string& identifier) {
  if (!isValidSuiteName(identifier))
    throw std::invalid_argument("Not an application identifier: \"" + identifier + "\"");
  std::lock_guard guard(identifierMutex);
  namedIdentifier = identifier;
}

std::string UserDefaults::applicationIdentifier() {
  std::lock_guard guard(identifierMutex);
  if (namedIdentifier.empty()) namedIdentifier = executableName();
  return namedIdentifier;
}

std::shared_ptr<UserDefaults> UserDefaults::standardUserDefaults() { return open(applicationIdentifier()); }

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
  Place place = Place::of(path_);
  removeStaleTemporaryFiles(place);
  std::lock_guard guard(mutex_);
  load(nullptr, place);
}

void UserDefaults::removeStaleTemporaryFiles(const Place& place) const {
  if (!place.usable() || !place.folder) return;
  const std::time_t cutoff = std::time(nullptr) - staleAfterSeconds;
  // Only the user's own: in a folder others share, theirs are not ours to judge.
  auto isStale = [&](const std::string& name) {
    struct stat info {};
    return ::fstatat(place.folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == ::geteuid() && info.st_mtime < cutoff;
  };
  std::vector<std::string> stale;
  // A duplicate shares its position in the folder with the original: start from the beginning.
  const int listed = ::fcntl(place.folder.get(), F_DUPFD_CLOEXEC, 0);
  DIR* listing = listed < 0 ? nullptr : ::fdopendir(listed);
  if (!listing) {
    if (listed >= 0) ::close(listed);
    return;
  }
  ::rewinddir(listing);
  while (const struct dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (platform::isTemporaryFileName(name, place.name) && isStale(name)) stale.push_back(name);
  }
  ::closedir(listing);
  if (stale.empty()) return;
  // A writer holds the lock for as long as its temporary file exists; held here until the last one goes.
  std::string error;
  const std::optional<FileLock> lock = FileLock::acquire(place, noWait, error);
  if (!lock) return;
  for (const std::string& temporary : stale)
    if (isStale(temporary)) ::unlinkat(place.folder.get(), temporary.c_str(), 0);
}

UserDefaults::~UserDefaults() {
  flushBeforeClosing();
  std::lock_guard guard(registryMutex);
  auto& suites = registry();
  auto found = suites.find(path_);
  if (found != suites.end() && found->second.expired()) suites.erase(found);
}

bool UserDefaults::load(const FileLock* lock, Place& place) {
  auto startFrom = [this](PropertyList::Dictionary values, const Stamp& stamp) {
    user_ = std::move(values);
    for (const auto& [key, change] : pending_) applyChange(user_, key, change.value);
    *stamp_ = stamp;
    return true;
  };
  Data bytes;
  struct stat info {};
  std::string reason;
  std::vector<std::string> leftOut;
  std::optional<PropertyList> root;
  int error = 0;
  try {
    error = place.read(path_, bytes, info);
    if (!error)
      root = PropertyListXML::read(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                   &reason, &leftOut);
  } catch (const std::bad_alloc&) {
    error = ENOMEM;  // says nothing of the file: it is no reason to move it aside
  }
  if (error) {
    if (error == ENOENT) return startFrom({}, Stamp{});
    if (error == refused) {
      reportRefusal("it " + place.refusal);
      return false;
    }
    // What the file holds is unknown: keep what we have, and never write over it.
    log("Could not read settings file " + path_.string() + ": " + std::strerror(error));
    return false;
  }
  if (root && root->dictionary()) {
    for (const std::string& key : leftOut)
      log("Settings file " + path_.string() + ": left out \"" + key + "\", nested too deep or dated out of range");
    return startFrom(std::move(*root->dictionary()), Stamp::of(info));
  }
  if (!lock) {
    // Only a writer holding the lock may move the file, or a good file written meanwhile could go.
    std::string lockError;
    std::optional<FileLock> ownLock = FileLock::acquire(place, noWait, lockError);
    if (ownLock) return load(&*ownLock, place);
    log("Settings file " + path_.string() + " could not be read (" + reason + "); left it as it is for now: " +
        lockError);
    return false;
  }
  if (root) reason = "the root is no dictionary";
  std::optional<fs::path> aside = place.moveAside();
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
    Place place = Place::of(path_);
    if (place.stamp() != *stamp_ && !load(nullptr, place)) return false;
    if (pending_.empty()) return true;
  }
  return saveOrRetry();
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
  saveOrRetry();
  for (const auto& registration : observers) deliver(*registration, after);
}

UserDefaults::SaveOutcome UserDefaults::savePending(std::chrono::milliseconds patience, std::string& error) {
  {
    std::lock_guard guard(mutex_);
    if (pending_.empty()) return SaveOutcome::saved;
  }
  SaveOutcome failure = SaveOutcome::failed;
  Place place = Place::folderOf(path_, true);
  // Waited for without mutex_, so that reads go on meanwhile.
  std::optional<FileLock> lock = FileLock::acquire(place, patience, error, &failure);
  if (!lock) return failure;
  place.findFile();
  std::optional<std::string> text;
  std::uint64_t saving = 0;
  {
    std::lock_guard guard(mutex_);
    if (pending_.empty()) return SaveOutcome::saved;  // another thread saved them meanwhile
    if (!place.refusal.empty()) {
      error = "it " + place.refusal;
      return SaveOutcome::refused;
    }
    // Another process may have written since we read: start from its file, then apply our changes.
    if (place.stamp() != *stamp_ && !load(&*lock, place)) {
      if (!place.refusal.empty()) {
        error = "it " + place.refusal;
        return SaveOutcome::refused;
      }
      error = "the file could not be read first";
      return SaveOutcome::failed;
    }
    text = PropertyListXML::write(PropertyList(user_), &error);
    saving = generation_;
  }
  if (!text || !place.write(*text, error)) return SaveOutcome::failed;
  std::lock_guard guard(mutex_);
  *stamp_ = place.stamp();
  std::erase_if(pending_, [saving](const auto& entry) { return entry.second.generation <= saving; });
  return SaveOutcome::saved;
}

void UserDefaults::reportRefusal(const std::string& refusal) const {
  {
    std::lock_guard guard(refusalsMutex);
    if (!refusalsLogged.insert(path_).second) return;
  }
  log("Settings file " + path_.string() + " is left alone: " + refusal + "; changes are kept in memory and not saved");
}

bool UserDefaults::saveOrRetry() {
  std::string error;
  switch (savePending(lockWaitBound(), error)) {
    case SaveOutcome::saved:
      return true;
    case SaveOutcome::lockBusy:
      log("Could not save settings to " + path_.string() + " yet: " + error + "; trying again in the background");
      retryInBackground();
      return false;
    case SaveOutcome::refused:
      reportRefusal(error);
      return false;
    case SaveOutcome::failed:
      break;
  }
  log("Could not save settings to " + path_.string() + ": " + error);
  return false;
}

void UserDefaults::retryInBackground() {
  // Registered once the log has written a line, so that the log outlives the flush at exit.
  static std::once_flag exitFlush;
  std::call_once(exitFlush, [] { std::atexit(flushAllBeforeExit); });
  std::lock_guard guard(retryMutex_);
  if (closing_) return;
  retryRequested_ = true;
  if (retrierRunning_) return;
  if (retrier_.joinable()) retrier_.join();  // it has ended: it clears retrierRunning_ last
  retrierRunning_ = true;
  retrier_ = std::thread([this] { retryPendingSaves(); });
}

void UserDefaults::retryPendingSaves() {
  std::chrono::milliseconds pause = firstRetryPause;
  std::unique_lock lock(retryMutex_);
  while (!retryWake_.wait_for(lock, pause, [this] { return closing_; })) {
    retryRequested_ = false;  // a change that waits out the lock from now on asks again
    lock.unlock();
    std::string error;
    const SaveOutcome outcome = savePending(noWait, error);
    lock.lock();
    if (outcome == SaveOutcome::lockBusy) {
      pause = std::min(pause * 2, lastRetryPause);
      continue;
    }
    if (outcome == SaveOutcome::refused) reportRefusal(error);
    if (outcome == SaveOutcome::failed) log("Could not save settings to " + path_.string() + ": " + error);
    if (outcome != SaveOutcome::saved) {
      // Only a held lock passes: a file that cannot be read or written stays so.
      retryRequested_ = false;
      break;
    }
    if (!retryRequested_) break;
    pause = firstRetryPause;
  }
  retrierRunning_ = false;
}

bool UserDefaults::stopRetrying() {
  std::thread retrier;
  bool outstanding = false;
  {
    std::lock_guard guard(retryMutex_);
    closing_ = true;
    outstanding = retrierRunning_ || retryRequested_;
    retryRequested_ = false;
    retrier = std::move(retrier_);
  }
  retryWake_.notify_all();
  if (retrier.joinable()) retrier.join();
  return outstanding;
}

void UserDefaults::flushBeforeClosing() noexcept {
  try {
    if (!stopRetrying()) return;
    std::string error;
    if (savePending(lockWaitBound(), error) == SaveOutcome::saved) return;
    std::string keys;
    {
      std::lock_guard guard(mutex_);
      for (const auto& entry : pending_) keys += (keys.empty() ? "\"" : ", \"") + entry.first + "\"";
    }
    log("Could not save settings to " + path_.string() + " before closing (" + error + "); not saved: " + keys);
  } catch (...) {  // a destructor must not throw; what could not be saved is lost either way
  }
}

void UserDefaults::flushAllBeforeExit() {
  std::vector<std::shared_ptr<UserDefaults>> live;
  {
    std::lock_guard guard(registryMutex);
    for (const auto& entry : registry())
      if (auto suite = entry.second.lock()) live.push_back(std::move(suite));
  }
  for (const auto& suite : live) suite->flushBeforeClosing();
}

std::chrono::milliseconds UserDefaults::lockWaitBound() {
  return std::chrono::milliseconds(lockWaitMilliseconds.load());
}

void UserDefaults::setLockWaitBound(std::chrono::milliseconds bound) { lockWaitMilliseconds.store(bound.count()); }

}  // namespace platform
