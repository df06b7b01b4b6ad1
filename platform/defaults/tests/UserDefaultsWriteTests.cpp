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
#include <iterator>
#include <set>
#include <string>

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

// Root's settings file is a link to a missing file in a sticky folder everyone may write, as /tmp. Another
// user keeps planting a link of their own at that name, to root's files elsewhere, and taking it away.
// Whatever lay at the name when a write came, root's files are never written.
TEST(UserDefaultsWrites, LinkPlantedAtTheCheckedNameIsReplacedNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can act as another user";
  TemporaryConfigHome home;
  TemporaryDirectory shared;
  fs::permissions(shared.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  const fs::path sticky = shared.path() / "sticky";
  fs::create_directory(sticky);
  fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
  const fs::path roots = shared.path() / "roots";  // outside the settings
  fs::create_directory(roots);
  std::ofstream(roots / "existing") << "root's own";
  const fs::path approved = sticky / "settings.plist";
  fs::create_directories(UserDefaults::directory());
  fs::create_symlink(approved, UserDefaults::directory() / "planted.plist");

  int stop[2];
  ASSERT_EQ(::pipe(stop), 0);
  const pid_t planter = ::fork();
  if (planter == 0) {
    ::close(stop[1]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(anotherUser) != 0 || ::setuid(anotherUser) != 0) ::_exit(2);
    // Told to stop by the closed pipe; never outlives a test that went wrong.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const fs::path targets[] = {roots / "existing", roots / "made"};
    struct pollfd told {stop[0], POLLIN, 0};
    for (std::size_t i = 0; ::poll(&told, 1, 0) == 0 && std::chrono::steady_clock::now() < deadline; ++i) {
      if (::symlink(targets[i % 2].c_str(), approved.c_str()) != 0) continue;
      ::sched_yield();
      ::unlink(approved.c_str());
    }
    ::_exit(0);
  }
  ::close(stop[0]);

  CapturedLog log;  // a write that found the planted link refuses it and says so
  auto suite = UserDefaults::suite("planted");
  // Until a hundred writes were saved: most find the link at the check and are refused.
  int saved = 0;
  for (int i = 0; i < 2000 && saved < 100; ++i) {
    // A file written blocks the next plant (the folder is sticky): take it away, as a cleaner of /tmp would.
    struct stat info {};
    if (::lstat(approved.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == 0) {
      ++saved;
      ::unlink(approved.c_str());
    }
    suite->setObject(PropertyList(i), "count");
  }
  ::close(stop[1]);
  int status = 0;
  ::waitpid(planter, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(saved, 0);
  EXPECT_EQ(fileText(roots / "existing"), "root's own");
  EXPECT_EQ(fileNames(roots), std::set<std::string>{"existing"});
  EXPECT_TRUE(fileNames(sticky).size() <= 1) << "temporary files left";
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
