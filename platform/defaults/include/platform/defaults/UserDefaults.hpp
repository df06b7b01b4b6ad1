#pragma once
// The user-defaults database: named suites of settings searched in two
// domains, the user's own values first, then the defaults registered for the
// life of the process. Each program keeps its own: the user's values of a suite
// persist as an XML property list in $XDG_CONFIG_HOME/<application identifier>/
// (~/.config when unset), and the program's standard suite is named after the
// identifier too. Every change is written at once, atomically, under an advisory
// lock, and merged with what other processes wrote meanwhile. A change that could not wait for the lock is
// saved in the background, and at the latest when the suite goes or the process
// exits normally.
//
// Only a regular file of the effective user's (or root's) is read or written,
// directly or through a link that the effective user owns (the file may also be
// one not made yet in that user's folder); a file with more than one link only
// in a folder that the effective user alone may write. What is read is judged
// once it is open, so a file another user puts at the name after the check is
// not read. A save keeps the file's mode, less write for group and others.
// The folders are reached from "/" one component at a time: each folder and
// link on the way must be the effective user's or root's, and a folder that
// others may write must have its sticky bit (as /tmp).
// Anything else at the file's place or on its way is left alone: the suite reads
// as empty and keeps its changes in memory, unsaved, which one log line per suite
// and process says. Writes are refused the same way while the lock file is
// anything but the user's own regular file. A write replaces the very name that
// was checked, in the folder opened for the check, so a link planted there since
// is replaced, not followed.
//
// Observers of a key are told of each write and removal of it, synchronously on
// the writing thread, in the order they registered, never under the store's lock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/defaults/KeyValueObserving.hpp"
#include "platform/defaults/PropertyList.hpp"

namespace platform {

class UserDefaults {
 public:
  /// Names the running program, once, before it opens a suite: its settings folder and standard
  /// suite take this name. Suites opened before keep their files. Throws std::invalid_argument
  /// unless the identifier is a valid suite name.
  static void setApplicationIdentifier(const std::string& identifier);
  /// The name set, else the file name of the running executable.
  static std::string applicationIdentifier();

  /// The application's suite, named as the application; the same object while anyone holds it.
  static std::shared_ptr<UserDefaults> standardUserDefaults();
  /// The suite with this name, the same object while anyone holds it; nothing for a
  /// name that cannot be a file name (empty, ".", "..", or holding "/" or NUL).
  static std::shared_ptr<UserDefaults> suite(std::string_view name);
  /// The folder the suites' files live in, from the environment and the application identifier at
  /// the time of the call.
  static std::filesystem::path directory();
  /// How long a write waits for another process's lock (3 s), and a suite that goes, or a process
  /// that exits, for the changes it has not saved yet.
  static std::chrono::milliseconds lockWaitBound();
  static void setLockWaitBound(std::chrono::milliseconds bound);

  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& name() const noexcept { return name_; }
  /// The property-list file of the user's values.
  const std::filesystem::path& path() const noexcept { return path_; }

  /// The user's value, else the registered one, else nothing.
  std::optional<PropertyList> objectForKey(std::string_view key) const;
  /// The value cast to a Boolean (table in the tests): numbers are true when not zero; texts
  /// "yes" and "true" (any case) are true, other texts by their leading integer; the rest false.
  bool boolForKey(std::string_view key) const;
  /// A text as it is; a number (or Boolean) as its decimal text; anything else nothing.
  std::optional<std::string> stringForKey(std::string_view key) const;
  /// Both domains merged, the user's values winning.
  PropertyList::Dictionary dictionaryRepresentation() const;

  /// Adds to the registration domain, which is never persisted; a later registration of a key replaces it.
  void registerDefaults(const PropertyList::Dictionary& defaults);
  /// Stores the user's value; no value, or one the file cannot hold (nested too deep, a date out of
  /// range), removes the entry.
  void setObject(std::optional<PropertyList> value, std::string_view key);
  void removeObject(std::string_view key);
  /// Re-reads the file when another process changed it, and saves the changes not saved yet.
  /// False when the file could not be read or the changes not saved (those that waited out the
  /// lock are then saved in the background).
  bool synchronize();

  /// Registers an observer of one key, held weakly; `options` are KeyValueObservingOptions bits.
  /// With `initial` the observer is called once before this returns. Registering twice is two registrations.
  void addObserver(const std::shared_ptr<KeyValueObserver>& observer, std::string keyPath, std::uint64_t options,
                   const void* context);
  /// Ends every registration of this observer, key and context. Once it returns, none of them is being
  /// delivered on another thread, and none will be.
  void removeObserver(const KeyValueObserver* observer, std::string_view keyPath, const void* context);

 private:
  struct Stamp;
  struct Place;
  class FileLock;
  enum class SaveOutcome { saved, lockBusy, refused, failed };
  struct PendingChange {
    std::optional<PropertyList> value;  // nothing: removed
    std::uint64_t generation;
  };
  UserDefaults(std::string name, std::filesystem::path path);
  static std::shared_ptr<UserDefaults> open(std::string name);

  struct Registration;
  std::optional<PropertyList> lookup(std::string_view key) const;
  std::vector<std::shared_ptr<Registration>> registrationsFor(std::string_view key) const;
  void deliver(Registration& registration, const KeyValueChange& change);
  void notifyPrior(const std::vector<std::shared_ptr<Registration>>& observers, std::string_view key);
  void change(std::string_view key, std::optional<PropertyList> value);
  // Reads the file into user_, with the pending changes over it; a file that cannot be parsed is moved
  // aside, by the holder of the lock only. False (user_ unchanged) when the file exists but cannot be
  // read, or its place is refused. Needs mutex_; never waits for another process. `place` is checked again
  // when the file changed since its check.
  bool load(const FileLock* lock, Place& place);
  // Saves the pending changes under the lock, waiting for it `patience` at most. Called without mutex_.
  SaveOutcome savePending(std::chrono::milliseconds patience, std::string& error);
  // Saves the pending changes, logging a failure; one that waited out the lock is retried in the background.
  bool saveOrRetry();
  // Logs, once per suite and process, that its place or lock is refused (`refusal` follows the file's name).
  void reportRefusal(const std::string& refusal) const;
  void retryInBackground();
  void retryPendingSaves();  // the background thread
  // Ends the background retries for good; true when changes that waited out the lock were still unsaved.
  bool stopRetrying();
  // Saves what waited out the lock, waiting lockWaitBound() at most, else logs the keys not saved.
  void flushBeforeClosing() noexcept;
  static void flushAllBeforeExit();
  // Removes the user's own temporary files that writers killed mid-write left behind.
  void removeStaleTemporaryFiles(const Place& place) const;

  std::string name_;
  std::filesystem::path path_;
  mutable std::mutex mutex_;
  PropertyList::Dictionary registered_;
  PropertyList::Dictionary user_;                              // the file, with pending_ over it
  std::map<std::string, PendingChange, std::less<>> pending_;  // changes not saved yet
  std::uint64_t generation_ = 0;                               // of the latest change
  std::unique_ptr<Stamp> stamp_;  // the file as last read or written
  std::mutex retryMutex_;
  std::condition_variable retryWake_;
  std::thread retrier_;
  bool retrierRunning_ = false;
  bool retryRequested_ = false;  // a save waited out the lock since the retrier last tried
  bool closing_ = false;
  mutable std::mutex observersMutex_;
  std::vector<std::shared_ptr<Registration>> registrations_;  // registration order
};

}  // namespace platform
