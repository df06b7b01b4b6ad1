#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "WithinTimeLimit.hpp"

namespace platform {
namespace {

using Signals = std::vector<std::pair<pid_t, int>>;

TEST(ResultWithin, FailsWithoutSignallingAnyoneWhenNoResultCanCome) {
  struct Case {
    const char* name;
    std::function<pid_t()> fork;
    std::function<std::int64_t()> job;
    std::string error;
  };
  const auto failingFork = [] {
    errno = EAGAIN;
    return pid_t{-1};
  };
  const auto realFork = [] { return ::fork(); };
  const Case cases[] = {
      {"fork fails", failingFork, [] { return std::int64_t{1}; }, "fork: Resource temporarily unavailable"},
      {"job throws", realFork, []() -> std::int64_t { throw std::runtime_error("no result"); }, "the job threw"},
      {"job throws anything", realFork, []() -> std::int64_t { throw 42; }, "the job threw"},
  };
  for (const Case& c : cases) {
    Signals signals;
    ProcessCalls calls{c.fork, [&signals](pid_t process, int signal) {
                         signals.emplace_back(process, signal);
                         return 0;
                       }};
    try {
      const auto result = resultWithin(std::chrono::seconds(30), c.job, calls);
      ADD_FAILURE() << c.name << ": gave " << (result ? std::to_string(*result) : "a time-out");
    } catch (const std::exception& error) {
      EXPECT_EQ(error.what(), c.error) << c.name;
    }
    EXPECT_TRUE(signals.empty()) << c.name << ": signalled " << signals.front().first;
  }
}

TEST(ResultWithin, KillsOnlyTheChildItMadeWhenItOverruns) {
  struct Case {
    const char* name;
    std::function<std::int64_t()> job;
    std::optional<std::int64_t> result;
  };
  const Case cases[] = {
      {"ends", [] { return std::int64_t{7}; }, 7},
      {"overruns",
       []() -> std::int64_t {
         for (;;) ::pause();
       },
       std::nullopt},
  };
  for (const Case& c : cases) {
    pid_t child = 0;
    Signals signals;
    const ProcessCalls calls{[&child] { return child = ::fork(); },
                             [&signals](pid_t process, int signal) {
                               signals.emplace_back(process, signal);
                               return process > 0 ? ::kill(process, signal) : -1;
                             }};
    EXPECT_EQ(resultWithin(std::chrono::milliseconds(c.result ? 30'000 : 100), c.job, calls), c.result) << c.name;
    const Signals sent = c.result ? Signals{} : Signals{{child, SIGKILL}};
    EXPECT_EQ(signals, sent) << c.name;
  }
}

}  // namespace
}  // namespace platform
