#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "NestedArrays.hpp"

#include "platform/defaults/KeyedArchive.hpp"

namespace platform {
namespace {

TEST(KeyedArchive, ObjectsRoundTripAndOnlyAsTheirOwnClass) {
  const KeyedArchive::Object objects[] = {
      {"Thing", {}},
      {"Thing", {{"flag", true}, {"count", std::int64_t{-5}}, {"ratio", 0.1}, {"name", std::string("Grüße")},
                 {"blob", Data::fromString(std::string("\0\1\2", 3))}, {"empty", std::string()}}},
  };
  for (const auto& object : objects) {
    Data archive = KeyedArchive::archive(object);
    EXPECT_EQ(std::string(archive.view().substr(0, 8)), "bplist00");
    EXPECT_EQ(KeyedArchive::unarchive(archive, "Thing"), object);
    EXPECT_THROW(KeyedArchive::unarchive(archive, "Other"), platform::Error);
  }
  for (const Data& bad : {Data(), Data::fromString("bplist00"), Data::fromString("garbage that is long enough"),
                          Data::fromString(std::string(KeyedArchive::archive(objects[1]).view().substr(0, 40)))}) {
    try {
      KeyedArchive::unarchive(bad, "Thing");
      ADD_FAILURE() << "no error";
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
      EXPECT_EQ(error.code(), 4864);
    }
  }
}

// Milliseconds the refusal took, -1 when the data was accepted, nothing when it did not end within
// `limit`. Run in a child process, which is then killed: a parse that copies every shared reference
// would run for hours.
std::optional<std::int64_t> refusalTime(const Data& data, std::chrono::milliseconds limit) {
  int report[2];
  if (::pipe(report) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    const auto start = std::chrono::steady_clock::now();
    std::int64_t elapsed = -1;
    try {
      KeyedArchive::unarchive(data, "Thing");
    } catch (const Error&) {
      elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }
    ::_exit(::write(report[1], &elapsed, sizeof elapsed) == sizeof elapsed ? 0 : 1);
  }
  ::close(report[1]);
  struct pollfd done {report[0], POLLIN, 0};
  std::int64_t elapsed = 0;
  const bool reported = ::poll(&done, 1, static_cast<int>(limit.count())) == 1 &&
                        ::read(report[0], &elapsed, sizeof elapsed) == sizeof elapsed;
  if (!reported) ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(report[0]);
  return reported ? std::optional(elapsed) : std::nullopt;
}

TEST(KeyedArchive, SharedDeepOrLoopedDocumentsAreRefusedAtOnce) {
  std::vector<std::vector<std::uint32_t>> chain(100'000);
  for (std::uint32_t i = 0; i + 1 < chain.size(); ++i) chain[i] = {i + 1};
  const std::pair<const char*, Data> cases[] = {
      {"lattice", binaryLattice()},
      {"chain", binaryArrays(chain)},
      {"loop", binaryArrays({{1}, {0}})},
  };
  for (const auto& [name, data] : cases) {
    const std::optional<std::int64_t> elapsed = refusalTime(data, std::chrono::seconds(5));
    ASSERT_TRUE(elapsed) << name << ": still parsing after 5 s";
    EXPECT_GE(*elapsed, 0) << name << ": accepted";
    EXPECT_LT(*elapsed, 1000) << name;
  }
}

}  // namespace
}  // namespace platform
