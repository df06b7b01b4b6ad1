// Several processes on one settings file: forked children write while the test watches.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "platform/core/Log.hpp"
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

}  // namespace
}  // namespace platform
