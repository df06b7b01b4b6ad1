// Several processes on one settings file: forked children write while the test watches.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

pid_t spawn(const std::function<void()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    body();
    ::_exit(0);
  }
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// Longer than any wait a test means to see: a bound that only ends a hang.
constexpr std::chrono::minutes hangGuard{2};

// Another process holding a suite's lock until told to let go, so that whatever a test sees before
// telling it happened while the lock was held. It lets go on its own only after `hangGuard`, so
// that a writer that waits for it without bound cannot freeze the test.
class LockHolder {
 public:
  explicit LockHolder(const std::filesystem::path& settingsFile) {
    std::filesystem::create_directories(settingsFile.parent_path());
    const std::string lockPath = settingsFile.string() + ".lock";
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = spawn([&] {
      ::close(ready[0]);
      ::close(release[1]);
      int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(2);
      if (::write(ready[1], "L", 1) != 1) ::_exit(2);
      struct pollfd told {release[0], POLLIN, 0};
      const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(hangGuard);
      ::_exit(::poll(&told, 1, static_cast<int>(limit.count())) == 1 ? 0 : 3);  // 3: let go on its own
    });
    ::close(ready[1]);
    ::close(release[0]);
    releaseFd_ = release[1];
    char byte = 0;
    locked_ = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
  }
  ~LockHolder() { letGo(); }
  bool locked() const { return locked_; }
  /// The holder's exit status: 0 when it held the lock until told.
  int letGo() {
    if (releaseFd_ < 0) return -1;
    ::close(std::exchange(releaseFd_, -1));
    return exitStatus(pid_);
  }
  /// In a process forked meanwhile: closes the copy of the end that tells the holder to let go.
  void forgetInChild() { ::close(releaseFd_); }

 private:
  pid_t pid_ = -1;
  int releaseFd_ = -1;
  bool locked_ = false;
};

// The threads of a process of ours at this moment.
std::set<pid_t> threadsOf(pid_t process) {
  std::set<pid_t> threads;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(process) + "/task", error))
    threads.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  return threads;
}

// The one thread that `body` starts in this process and leaves running; 0 unless exactly one.
pid_t threadStartedBy(const std::function<void()>& body) {
  std::thread([] {}).join();  // ThreadSanitizer starts a thread of its own with a process's first one
  const std::set<pid_t> before = threadsOf(::getpid());
  body();
  std::vector<pid_t> started;
  std::ranges::set_difference(threadsOf(::getpid()), before, std::back_inserter(started));
  return started.size() == 1 ? started.front() : 0;
}

// Returns once that thread of that process has ended.
void awaitEnd(pid_t process, pid_t thread) {
  const std::string task = "/proc/" + std::to_string(process) + "/task/" + std::to_string(thread);
  while (::access(task.c_str(), F_OK) == 0) std::this_thread::yield();
}

TEST(UserDefaultsProcesses, FreshProcessReadsWhatAnotherWrote) {
  TemporaryConfigHome home;
  pid_t child = spawn([] { UserDefaults::suite("cross")->setObject(PropertyList(42), "answer"); });
  EXPECT_EQ(exitStatus(child), 0);
  EXPECT_EQ(UserDefaults::suite("cross")->objectForKey("answer"), PropertyList(42));
}

TEST(UserDefaultsProcesses, ConcurrentWritersLoseNoKey) {
  TemporaryConfigHome home;
  constexpr int keysPerWriter = 40;
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (std::string prefix : {"a", "b", "c"}) {
    children.push_back(spawn([&, prefix] {
      ::close(gate[1]);
      char byte;
      while (::read(gate[0], &byte, 1) < 0) {
      }  // released all at once when the test closes the gate
      auto suite = UserDefaults::suite("race");
      for (int i = 0; i < keysPerWriter; ++i) suite->setObject(PropertyList(i), prefix + std::to_string(i));
    }));
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (pid_t child : children) EXPECT_EQ(exitStatus(child), 0);

  auto suite = UserDefaults::suite("race");
  PropertyList::Dictionary all = suite->dictionaryRepresentation();
  EXPECT_EQ(all.size(), 3u * keysPerWriter);
  for (std::string prefix : {"a", "b", "c"})
    for (int i = 0; i < keysPerWriter; ++i) EXPECT_EQ(suite->objectForKey(prefix + std::to_string(i)), PropertyList(i));
}

TEST(UserDefaultsProcesses, KilledWriterLeavesOldOrNewValues) {
  TemporaryConfigHome home;
  int progress[2];
  ASSERT_EQ(::pipe(progress), 0);
  pid_t child = spawn([&] {
    ::close(progress[0]);
    auto suite = UserDefaults::suite("killed");
    for (std::int64_t i = 1; i <= 1000000; ++i) {
      suite->setObject(PropertyList(i), "counter");
      suite->setObject(PropertyList(i), "shadow");
      if (::write(progress[1], &i, sizeof i) != sizeof i) break;
    }
  });
  ::close(progress[1]);
  std::int64_t reported = 0;
  while (reported < 25 && ::read(progress[0], &reported, sizeof reported) == sizeof reported) {
  }
  ::kill(child, SIGKILL);
  EXPECT_TRUE(WIFSIGNALED(exitStatus(child)));
  std::int64_t more = 0;
  while (::read(progress[0], &more, sizeof more) == sizeof more) reported = more;
  ::close(progress[0]);
  ASSERT_GE(reported, 25);

  CapturedLog log;
  auto suite = UserDefaults::suite("killed");
  EXPECT_TRUE(log.lines().empty());
  auto counter = suite->objectForKey("counter");
  auto shadow = suite->objectForKey("shadow");
  ASSERT_TRUE(counter && counter->integer());
  ASSERT_TRUE(shadow && shadow->integer());
  // Every completed pair was durable; the pair under way shows its old or new value.
  EXPECT_TRUE(*counter->integer() == reported || *counter->integer() == reported + 1) << *counter->integer();
  EXPECT_TRUE(*shadow->integer() == *counter->integer() || *shadow->integer() == *counter->integer() - 1)
      << *shadow->integer();
  suite->setObject(PropertyList("after"), "counter");
  EXPECT_EQ(UserDefaults::suite("killed")->objectForKey("counter"), PropertyList("after"));
}

std::optional<PropertyList> storedValue(const std::filesystem::path& file, const std::string& key) {
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::optional<PropertyList> stored = PropertyListXML::read(text);
  if (!stored || !stored->dictionary() || !stored->dictionary()->contains(key)) return std::nullopt;
  return stored->dictionary()->at(key);
}

// Sets how long writes wait for the lock while it lives, then puts the usual 3 seconds back.
struct LockWait {
  explicit LockWait(std::chrono::milliseconds bound) { UserDefaults::setLockWaitBound(bound); }
  ~LockWait() { UserDefaults::setLockWaitBound(std::chrono::seconds(3)); }
};

std::string waitedOutTheLock(const std::filesystem::path& file) {
  return "Could not save settings to " + file.string() +
         " yet: another process holds its lock; trying again in the background";
}

TEST(UserDefaultsProcesses, HeldLockDelaysNeitherReadsNorTheWriterForLong) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("held");
  suite->setObject(PropertyList(1), "saved");
  const std::filesystem::path file = suite->path();
  LockHolder holder(file);
  ASSERT_TRUE(holder.locked());

  // The writer gives up after its bound, while the other process still holds the lock.
  CapturedLog log;
  {
    const LockWait wait(std::chrono::milliseconds(100));
    suite->setObject(PropertyList(2), "waiting");
  }
  EXPECT_EQ(log.lines(), std::vector<std::string>{waitedOutTheLock(file)});
  EXPECT_EQ(storedValue(file, "waiting"), std::nullopt);

  // A writer that waits for the lock, as it must while the lock is held, keeps no reader waiting.
  const LockWait wait(hangGuard * 5);
  std::atomic<bool> writerDone = false;
  std::thread writer([&] {
    suite->setObject(PropertyList(3), "next");
    writerDone = true;
  });
  while (suite->objectForKey("next") != PropertyList(3)) std::this_thread::yield();
  EXPECT_EQ(suite->objectForKey("waiting"), PropertyList(2));
  EXPECT_EQ(suite->objectForKey("saved"), PropertyList(1));
  EXPECT_FALSE(writerDone);
  EXPECT_EQ(holder.letGo(), 0);  // it held the lock all along
  writer.join();

  // The change that could not be saved goes to the file with the next one, or with a retry before it.
  suite.reset();
  auto reopened = UserDefaults::suite("held");
  EXPECT_EQ(reopened->dictionaryRepresentation(),
            (PropertyList::Dictionary{{"saved", PropertyList(1)}, {"waiting", PropertyList(2)}, {"next", PropertyList(3)}}));
  EXPECT_EQ(log.lines().size(), 1u);
}

// Counts the files renamed into place in a folder, as an atomic write ends.
class RenameWatch {
 public:
  RenameWatch(const std::filesystem::path& folder, std::string name) : name_(std::move(name)) {
    fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd_ >= 0) ::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO);
  }
  ~RenameWatch() { ::close(fd_); }
  bool watching() const { return fd_ >= 0; }
  /// Waits until `done` holds or the deadline passes, counting the renames meanwhile; whether `done` held.
  bool awaitUntil(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& done) {
    for (;;) {
      count();
      if (done()) return true;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      struct pollfd ready {fd_, POLLIN, 0};
      ::poll(&ready, 1, static_cast<int>(left.count()));
    }
  }
  int renames() {
    count();
    return renames_;
  }

 private:
  void count() {
    alignas(struct inotify_event) char buffer[4096];
    ssize_t length;
    while ((length = ::read(fd_, buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + length;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(at);
        if (event->len > 0 && name_ == event->name) ++renames_;
        at += sizeof(struct inotify_event) + event->len;
      }
    }
  }
  int fd_ = -1;
  std::string name_;
  int renames_ = 0;
};

TEST(UserDefaultsProcesses, ChangeThatWaitedOutTheLockIsSavedOnceTheLockIsFree) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("retried");
  const std::filesystem::path file = suite->path();
  std::filesystem::create_directories(file.parent_path());
  RenameWatch watch(file.parent_path(), file.filename().string());
  ASSERT_TRUE(watch.watching());
  LockHolder holder(file);
  ASSERT_TRUE(holder.locked());

  CapturedLog log;
  const LockWait wait(std::chrono::milliseconds(100));
  suite->setObject(PropertyList(7), "late");
  EXPECT_EQ(storedValue(file, "late"), std::nullopt);
  EXPECT_EQ(holder.letGo(), 0);  // held until now: no retry could save before
  const auto saved = [&] { return storedValue(file, "late").has_value(); };
  EXPECT_TRUE(watch.awaitUntil(std::chrono::steady_clock::now() + hangGuard, saved))
      << "not saved after the lock's release";
  EXPECT_EQ(storedValue(file, "late"), PropertyList(7));
  suite.reset();
  EXPECT_EQ(watch.renames(), 1);  // the store's own retry, and nothing else
  EXPECT_EQ(log.lines().size(), 1u);
}

TEST(UserDefaultsProcesses, ClosingSuiteSavesWhatWaitedOutTheLockOrNamesIt) {
  TemporaryConfigHome home;
  struct Case {
    std::string suite;
    bool releasedWhileClosing;
  };
  for (const Case& c : {Case{"released", true}, Case{"held", false}}) {
    LockWait wait(std::chrono::milliseconds(100));
    auto suite = UserDefaults::suite(c.suite);
    const std::filesystem::path file = suite->path();
    LockHolder holder(file);
    ASSERT_TRUE(holder.locked());
    CapturedLog log;
    const pid_t retrier = threadStartedBy([&] { suite->setObject(PropertyList(1), "first"); });
    ASSERT_NE(retrier, 0) << c.suite << ": no thread of its own retries the save";
    suite->removeObject("gone");
    if (c.releasedWhileClosing) {
      // Let go once closing has ended the retries, so that only the closing can save.
      UserDefaults::setLockWaitBound(hangGuard * 5);
      std::thread closing([&] { suite.reset(); });
      awaitEnd(::getpid(), retrier);
      EXPECT_EQ(holder.letGo(), 0) << c.suite;
      closing.join();
    } else {
      suite.reset();
      EXPECT_EQ(holder.letGo(), 0) << c.suite;  // closing gave up while the lock was held
    }

    const std::string waited = waitedOutTheLock(file);
    std::vector<std::string> lines{waited, waited};
    if (!c.releasedWhileClosing)
      lines.push_back("Could not save settings to " + file.string() +
                      " before closing (another process holds its lock); not saved: \"first\", \"gone\"");
    EXPECT_EQ(log.lines(), lines) << c.suite;
    EXPECT_EQ(storedValue(file, "first"), c.releasedWhileClosing ? std::optional(PropertyList(1)) : std::nullopt)
        << c.suite;
  }
}

TEST(UserDefaultsProcesses, NormalExitSavesWhatWaitedOutTheLock) {
  TemporaryConfigHome home;
  const std::filesystem::path file = UserDefaults::directory() / "exiting.plist";
  LockHolder holder(file);
  ASSERT_TRUE(holder.locked());
  int exiting[2];
  ASSERT_EQ(::pipe(exiting), 0);
  pid_t child = spawn([&] {
    ::close(exiting[0]);
    holder.forgetInChild();
    UserDefaults::setLockWaitBound(std::chrono::milliseconds(100));
    const pid_t retrier = threadStartedBy([] {
      static std::shared_ptr<UserDefaults> kept = UserDefaults::suite("exiting");  // never destroyed before exit
      kept->setObject(PropertyList("bye"), "last");
    });
    UserDefaults::setLockWaitBound(hangGuard * 5);
    if (::write(exiting[1], &retrier, sizeof retrier) != sizeof retrier) ::_exit(2);
    std::exit(0);
  });
  ::close(exiting[1]);
  pid_t retrier = 0;
  EXPECT_EQ(::read(exiting[0], &retrier, sizeof retrier), static_cast<ssize_t>(sizeof retrier));
  ::close(exiting[0]);
  ASSERT_NE(retrier, 0) << "no thread of its own retries the save";
  // Let go once the exit has ended the retries, so that only the exit can save.
  awaitEnd(child, retrier);
  EXPECT_EQ(holder.letGo(), 0);
  const int status = exitStatus(child);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(storedValue(file, "last"), PropertyList("bye"));
}

TEST(UserDefaultsProcesses, OpeningRemovesStaleTemporaryFilesAndNeverWaits) {
  TemporaryConfigHome home;
  const std::filesystem::path folder = UserDefaults::directory();
  const std::filesystem::path file = folder / "leftovers.plist";
  std::filesystem::create_directories(folder);
  auto make = [&](const std::string& name, std::time_t age) {
    std::ofstream(folder / name) << "<?xml";
    struct timespec times[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
    ::utimensat(AT_FDCWD, (folder / name).c_str(), times, 0);
  };
  const std::string stale[] = {"leftovers.plist.pz-tmp-Ab3xYz", "leftovers.plist.pz-tmp-000000"};
  const std::string kept[] = {"leftovers.plist.pz-tmp-F7gH2k",  // fresh: a writer may be at work
                              "leftovers.plist.backup",         // a person's own files
                              "leftovers.plist.Ab3xYz", "leftovers.plist.pz-tmp-ab_xyz",
                              "other.plist.pz-tmp-Ab3xYz", "leftovers.plist.lock"};
  auto makeAll = [&] {
    for (const std::string& name : stale) make(name, 120);
    make(kept[0], 0);
    for (const std::string& name : std::vector<std::string>(std::begin(kept) + 1, std::end(kept))) make(name, 3600);
  };
  auto exists = [&](const std::string& name) { return std::filesystem::exists(folder / name); };

  // While another process holds the lock, a writer may still be at work: nothing goes, and an unreadable
  // file is left for the lock's holder, without waiting for it.
  makeAll();
  std::ofstream(file) << "garbage";
  {
    LockHolder holder(file);
    ASSERT_TRUE(holder.locked());
    // Were the opening to wait as a writer does, it would outwait the holder, which then lets go on its own.
    const LockWait wait(hangGuard * 5);
    CapturedLog log;
    EXPECT_EQ(UserDefaults::suite("leftovers")->dictionaryRepresentation(), PropertyList::Dictionary{});
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Settings file " + file.string() +
                                                    " could not be read (No document element found); left it as it is "
                                                    "for now: another process holds its lock"});
    for (const std::string& name : stale) EXPECT_TRUE(exists(name)) << name;
    EXPECT_EQ(holder.letGo(), 0);
  }
  std::filesystem::remove(file);

  auto suite = UserDefaults::suite("leftovers");
  for (const std::string& name : stale) EXPECT_FALSE(exists(name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(exists(name)) << name;
}

// Run alone, the program's standard suite in a fresh folder. Run by the test below as another program,
// the folder and, when given, the name that program calls itself come from the environment; it prints
// what the last writer of its standard suite was called, then writes its own executable's name there.
TEST(UserDefaultsPrograms, StandardSuiteIsTheProgramsOwn) {
  std::optional<TemporaryConfigHome> fresh;
  if (!std::getenv("PZ_TEST_AS_PROGRAM")) fresh.emplace();
  if (const char* identifier = std::getenv("PZ_TEST_IDENTIFIER")) UserDefaults::setApplicationIdentifier(identifier);
  const std::string executable = std::filesystem::read_symlink("/proc/self/exe").filename().string();
  const std::string identifier = UserDefaults::applicationIdentifier();
  auto suite = UserDefaults::standardUserDefaults();
  std::cout << "last writer: " << suite->stringForKey("writer").value_or("nobody") << std::endl;
  suite->setObject(PropertyList(executable), "writer");
  EXPECT_EQ(suite->name(), identifier);
  EXPECT_EQ(storedValue(UserDefaults::directory() / (identifier + ".plist"), "writer"), PropertyList(executable));
}

TEST(UserDefaultsPrograms, EachProgramKeepsItsOwnSettings) {
  TemporaryDirectory programs;
  TemporaryConfigHome home;
  for (const char* name : {"first-program", "second-program"}) {
    std::error_code linked;
    std::filesystem::create_hard_link("/proc/self/exe", programs.path() / name, linked);
    if (linked) std::filesystem::copy_file("/proc/self/exe", programs.path() / name);
  }
  // What the program printed as the last writer of its standard suite; "failed" when it did not pass.
  auto run = [&](const std::string& program, const std::string& identifier) {
    std::string command = "PZ_TEST_AS_PROGRAM=1 ";
    if (!identifier.empty()) command += "PZ_TEST_IDENTIFIER=" + identifier + " ";
    command += (programs.path() / program).string() +
               " --gtest_filter=UserDefaultsPrograms.StandardSuiteIsTheProgramsOwn 2>&1";
    FILE* output = ::popen(command.c_str(), "r");
    if (!output) return std::string("failed");
    std::string printed;
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, output)) > 0;) printed.append(buffer, count);
    const int status = ::pclose(output);
    constexpr std::string_view prefix = "last writer: ";
    const std::size_t start = printed.find(prefix);
    if (status != 0 || start == std::string::npos) return "failed: " + printed;
    return printed.substr(start + prefix.size(), printed.find('\n', start) - start - prefix.size());
  };
  struct Case {
    std::string program;
    std::string identifier;  // empty: named after its executable
    std::string lastWriter;
  };
  const Case cases[] = {
      {"first-program", "", "nobody"},
      {"second-program", "", "nobody"},
      {"first-program", "", "first-program"},
      {"second-program", "", "second-program"},
      // Programs that name themselves alike share their settings, whatever their executables are called.
      {"first-program", "shared-name", "nobody"},
      {"second-program", "shared-name", "first-program"},
      {"first-program", "", "first-program"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.program, c.identifier), c.lastWriter) << c.program << " " << c.identifier;
  for (const char* name : {"first-program", "second-program", "shared-name"})
    EXPECT_TRUE(std::filesystem::is_regular_file(home.path() / name / (std::string(name) + ".plist"))) << name;
}

}  // namespace
}  // namespace platform
