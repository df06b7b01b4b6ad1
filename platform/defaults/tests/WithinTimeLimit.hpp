#pragma once
// Runs a job in a child process that is killed when it overruns: a parser that copies every shared
// reference would otherwise run, and take memory, for hours.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

/// What `job` returned in a child process, or nothing when it did not end within `limit`.
inline std::optional<std::int64_t> resultWithin(std::chrono::milliseconds limit,
                                                const std::function<std::int64_t()>& job) {
  int report[2];
  if (::pipe(report) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    const std::int64_t result = job();
    ::_exit(::write(report[1], &result, sizeof result) == sizeof result ? 0 : 1);
  }
  ::close(report[1]);
  struct pollfd done {report[0], POLLIN, 0};
  std::int64_t result = 0;
  const bool reported = ::poll(&done, 1, static_cast<int>(limit.count())) == 1 &&
                        ::read(report[0], &result, sizeof result) == sizeof result;
  if (!reported) ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(report[0]);
  return reported ? std::optional(result) : std::nullopt;
}

}  // namespace platform
