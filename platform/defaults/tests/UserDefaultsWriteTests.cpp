// Where a settings write lands when others change the path under it, or when /proc is missing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "WithinTimeLimit.hpp"
#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> fileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

constexpr uid_t anotherUser = 65534;

// In a process of its own: from now on it acts as the other user.
bool becomeAnotherUser() {
  return ::setgroups(0, nullptr) == 0 && ::setgid(anotherUser) == 0 && ::setuid(anotherUser) == 0;
}

// The folder others may pass through, and with `sticky`, write in as they may in /tmp.
void openToOthers(const fs::path& folder, bool sticky = false) {
  fs::permissions(folder, sticky ? fs::perms::all | fs::perms::sticky_bit
                                 : fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
}

// A file as a writer killed an hour ago left it.
void makeStale(const fs::path& file) {
  std::ofstream(file) << "<?xml";
  const std::time_t hourAgo = std::time(nullptr) - 3600;
  const struct timespec times[2] = {{hourAgo, 0}, {hourAgo, 0}};
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

// A process of the other user's that plants something and takes it away (`plant`, given the round),
// over and over, until the test lets it go; never for longer than a minute.
class Planter {
 public:
  explicit Planter(const std::function<void(std::size_t round)>& plant) {
    int stop[2];
    if (::pipe(stop) != 0) return;
    process_ = ::fork();
    if (process_ == 0) {
      ::close(stop[1]);
      if (!becomeAnotherUser()) ::_exit(2);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      struct pollfd told {stop[0], POLLIN, 0};
      for (std::size_t round = 0; ::poll(&told, 1, 0) == 0 && std::chrono::steady_clock::now() < deadline; ++round)
        plant(round);
      ::_exit(0);
    }
    ::close(stop[0]);
    stop_ = stop[1];
  }
  Planter(const Planter&) = delete;
  Planter& operator=(const Planter&) = delete;
  ~Planter() { letGo(); }  // a test that stopped early
  /// The process's exit status, once it was told to stop.
  int letGo() {
    if (stop_ >= 0) ::close(std::exchange(stop_, -1));
    int status = -1;
    if (process_ > 0) ::waitpid(std::exchange(process_, -1), &status, 0);
    return status;
  }

 private:
  pid_t process_ = -1;
  int stop_ = -1;
};

// Root's settings file is a link to a missing file in a sticky folder everyone may write, as /tmp. Another
// user keeps planting a link of their own at that name, to root's files elsewhere, and taking it away.
// Whatever lay at the name when a write came, root's files are never written.
TEST(UserDefaultsWrites, LinkPlantedAtTheCheckedNameIsReplacedNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can act as another user";
  TemporaryConfigHome home;
  TemporaryDirectory shared;
  openToOthers(shared.path());
  const fs::path sticky = shared.path() / "sticky";
  fs::create_directory(sticky);
  openToOthers(sticky, true);
  const fs::path roots = shared.path() / "roots";  // outside the settings
  fs::create_directory(roots);
  std::ofstream(roots / "existing") << "root's own";
  const fs::path approved = sticky / "settings.plist";
  fs::create_directories(UserDefaults::directory());
  fs::create_symlink(approved, UserDefaults::directory() / "planted.plist");

  const fs::path targets[] = {roots / "existing", roots / "made"};
  Planter planter([&](std::size_t round) {
    if (::symlink(targets[round % 2].c_str(), approved.c_str()) != 0) return;
    ::sched_yield();
    ::unlink(approved.c_str());
  });

  CapturedLog log;  // a write that found the planted link refuses it and says so
  auto suite = UserDefaults::suite("planted");
  const auto savedAtTheName = [&] {
    struct stat info {};
    return ::lstat(approved.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0;
  };
  // Until a hundred writes were saved: most find the link at the check and are refused. How many
  // are saved is up to the scheduler: on a busy machine the link may stand through all of them.
  int saved = 0;
  for (int i = 0; i < 2000 && saved < 100; ++i) {
    // A file written blocks the next plant (the folder is sticky): take it away, as a cleaner of /tmp would.
    if (savedAtTheName()) {
      ++saved;
      ::unlink(approved.c_str());
    }
    suite->setObject(PropertyList(i), "count");
  }
  const int status = planter.letGo();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // With the name free again, the suite saves: the refusals were the planted link's alone.
  if (savedAtTheName()) ::unlink(approved.c_str());
  suite->setObject(PropertyList(-1), "count");
  suite->synchronize();
  EXPECT_TRUE(savedAtTheName());
  EXPECT_EQ(fileText(roots / "existing"), "root's own");
  EXPECT_EQ(fileNames(roots), std::set<std::string>{"existing"});
  EXPECT_TRUE(fileNames(sticky).size() <= 1) << "temporary files left";
}

// Another user keeps putting a file of theirs, with a key of theirs, where root's settings are read and
// written: in root's settings folder when others may write there (with its sticky bit, as /tmp), or behind
// root's link to a missing file in such a folder. Whenever the reads and writes come, and when the file is
// already there as the suite opens, no key of theirs is ever read or saved.
TEST(UserDefaultsWrites, AnotherUsersFileIsNeitherReadNorSaved) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can act as another user";
  TemporaryConfigHome home;
  TemporaryDirectory shared;
  openToOthers(home.path());
  const fs::path settings = UserDefaults::directory();
  fs::create_directories(settings);
  openToOthers(settings, true);
  openToOthers(shared.path());
  const fs::path sticky = shared.path() / "sticky";
  fs::create_directory(sticky);
  openToOthers(sticky, true);
  fs::create_symlink(sticky / "linked.plist", settings / "linked.plist");
  const std::string theirs =
      *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(1)}}));

  const std::pair<std::string, fs::path> cases[] = {{"direct", settings / "direct.plist"},
                                                    {"linked", sticky / "linked.plist"}};
  for (const auto& [name, planted] : cases) {
    std::ofstream(planted) << theirs;
    ASSERT_EQ(::lchown(planted.c_str(), anotherUser, anotherUser), 0);
    const fs::path ready = planted.string() + ".theirs";
    Planter planter([&](std::size_t) {
      std::ofstream(ready) << theirs;
      if (::rename(ready.c_str(), planted.c_str()) != 0) return;  // root's file is there
      ::sched_yield();
      ::unlink(planted.c_str());
    });
    CapturedLog log;  // a refusal, once
    auto suite = UserDefaults::suite(name);
    for (int i = 0; i < 400; ++i) {
      if (i % 2)
        suite->synchronize();
      else
        suite->setObject(PropertyList(i), "count");
      if (suite->objectForKey("theirs")) {
        ADD_FAILURE() << name << ": their key was read, step " << i;
        break;
      }
      // Root's own file, which keeps theirs out of the sticky folder: check it and take it away.
      struct stat info {};
      if (::lstat(planted.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0) {
        const std::optional<PropertyList> saved = PropertyListXML::read(fileText(planted));
        if (!saved || !saved->dictionary() || saved->dictionary()->count("theirs")) {
          ADD_FAILURE() << name << ": their key was saved, step " << i;
          break;
        }
        ::unlink(planted.c_str());
      }
    }
    const int status = planter.letGo();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": " << status;
  }
}

// In a settings folder that others may write (with its sticky bit), a stale temporary file of another
// user's is not root's to remove; root's own still goes.
TEST(UserDefaultsWrites, OnlyTheUsersOwnStaleTemporaryFilesAreRemoved) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file to another user";
  TemporaryConfigHome home;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  openToOthers(folder, true);
  const fs::path mine = folder / "shared.plist.pz-tmp-Ab3xYz";
  const fs::path theirs = folder / "shared.plist.pz-tmp-Cd4wXy";
  makeStale(mine);
  makeStale(theirs);
  ASSERT_EQ(::lchown(theirs.c_str(), anotherUser, anotherUser), 0);
  UserDefaults::suite("shared");
  EXPECT_FALSE(fs::exists(mine));
  EXPECT_TRUE(fs::exists(theirs));
}

// A lock file of another user's that the system will not open for the user, rather than naming what it
// is: the suite is refused once, not a failed save logged at every write.
TEST(UserDefaultsWrites, LockFileTheUserMayNotOpenIsRefusedOnce) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can act as another user";
  TemporaryConfigHome home;
  openToOthers(home.path());
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  ASSERT_EQ(::chown(folder.c_str(), anotherUser, anotherUser), 0);
  const fs::path file = folder / "locked.plist";
  std::ofstream(file.string() + ".lock");
  fs::permissions(file.string() + ".lock", fs::perms::owner_read | fs::perms::owner_write);
  const fs::path logged = folder / "logged";
  const std::optional<std::int64_t> result = resultWithin(std::chrono::seconds(60), [&]() -> std::int64_t {
    if (!becomeAnotherUser()) return -1;
    std::ofstream out(logged);
    setLogSink([&out](std::string_view line) { out << line << '\n'; });
    auto suite = UserDefaults::suite("locked");
    suite->setObject(PropertyList(1), "first");
    suite->setObject(PropertyList(2), "second");
    return 0;
  });
  ASSERT_EQ(result, std::optional<std::int64_t>(0));
  EXPECT_EQ(fileText(logged), "Settings file " + file.string() +
                                  " is left alone: it has a lock file owned by another user; changes are kept in "
                                  "memory and not saved\n");
}

// For another user, a folder of root's is not theirs alone: root's file there with a second link may hold
// what anyone put in it, and is not read.
TEST(UserDefaultsWrites, FileWithMoreLinksInAFolderOfAnotherIsNotRead) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can act as another user";
  TemporaryConfigHome home;
  openToOthers(home.path());
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  openToOthers(folder);
  const fs::path file = folder / "linked.plist";
  std::ofstream(file) << *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"root's", PropertyList(1)}}));
  fs::create_hard_link(file, home.path() / "another-link");
  TemporaryDirectory theirs;
  ASSERT_EQ(::chown(theirs.path().c_str(), anotherUser, anotherUser), 0);
  const fs::path logged = theirs.path() / "logged";
  const std::optional<std::int64_t> read = resultWithin(std::chrono::seconds(60), [&]() -> std::int64_t {
    if (!becomeAnotherUser()) return -1;
    std::ofstream out(logged);
    setLogSink([&out](std::string_view line) { out << line << '\n'; });
    return UserDefaults::suite("linked")->objectForKey("root's") ? 1 : 0;
  });
  ASSERT_EQ(read, std::optional<std::int64_t>(0));
  EXPECT_EQ(fileText(logged), "Settings file " + file.string() +
                                  " is left alone: it has more than one link in a folder others may write; changes are "
                                  "kept in memory and not saved\n");
}

// Where /proc is not mounted (a chroot, a mount namespace), a change is saved all the same, and what a
// killed writer left is still cleaned up.
TEST(UserDefaultsWrites, AreSavedWhereProcIsNotMounted) {
  TemporaryConfigHome home;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  const fs::path stale = folder / "unmounted.plist.pz-tmp-Ab3xYz";
  std::ofstream(stale) << "<?xml";
  const std::time_t hourAgo = std::time(nullptr) - 3600;
  const struct timespec times[2] = {{hourAgo, 0}, {hourAgo, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), times, 0), 0);

  constexpr std::int64_t noNamespace = -1;
  constexpr std::int64_t procStillThere = -2;
  // In a child of its own, since the namespace is the process's; the number of lines logged.
  const std::optional<std::int64_t> logged = resultWithin(std::chrono::seconds(60), [&]() -> std::int64_t {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
      return noNamespace;
    if (fs::exists("/proc/self")) return procStillThere;
    std::int64_t lines = 0;
    setLogSink([&lines](std::string_view) { ++lines; });
    UserDefaults::suite("unmounted")->setObject(PropertyList(1), "saved");
    return lines;
  });
  ASSERT_TRUE(logged.has_value()) << "the write did not end";
  if (*logged == noNamespace) GTEST_SKIP() << "no mount namespace may be made here";
  EXPECT_EQ(*logged, 0);
  EXPECT_EQ(PropertyListXML::read(fileText(folder / "unmounted.plist")),
            PropertyList(PropertyList::Dictionary{{"saved", PropertyList(1)}}));
  EXPECT_FALSE(fs::exists(stale));
}

}  // namespace
}  // namespace platform
