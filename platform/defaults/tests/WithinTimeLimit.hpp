#pragma once
// Runs a job in a child process that is killed when it overruns: a parser that copies every shared
// reference would otherwise run, and take memory, for hours.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace platform {

/// The process calls of `resultWithin`, so that its own tests can make them fail or watch them.
struct ProcessCalls {
  std::function<pid_t()> fork = [] { return ::fork(); };
  std::function<int(pid_t, int)> kill = [](pid_t process, int signal) { return ::kill(process, signal); };
};

/// What `job` returned in a child process, or nothing when it did not end within `limit` (the child
/// is then killed, and only it). Throws std::system_error when no child could be started, and
/// std::runtime_error when the child ended without a result: the job threw, or the process died.
inline std::optional<std::int64_t> resultWithin(std::chrono::milliseconds limit,
                                                const std::function<std::int64_t()>& job,
                                                const ProcessCalls& calls = {}) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const pid_t child = calls.fork();
  if (child < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    throw std::system_error(error, std::generic_category(), "fork");
  }
  if (child == 0) {
    // Whatever the job does, the child goes no further: an exception unwound here would run the
    // rest of the suite beside the parent.
    int status = 2;
    try {
      const std::int64_t result = job();
      status = ::write(report[1], &result, sizeof result) == sizeof result ? 0 : 1;
    } catch (...) {
    }
    ::_exit(status);
  }
  ::close(report[1]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  struct pollfd done {report[0], POLLIN, 0};
  int ready = 0;
  do {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    ready = ::poll(&done, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
  } while (ready < 0 && errno == EINTR);
  const int pollError = ready < 0 ? errno : 0;
  std::int64_t result = 0;
  const bool reported = ready == 1 && ::read(report[0], &result, sizeof result) == sizeof result;
  if (ready <= 0) calls.kill(child, SIGKILL);  // overran, or can no longer be watched
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (reported) return result;
  if (ready == 0) return std::nullopt;
  if (ready < 0) throw std::system_error(pollError, std::generic_category(), "poll");
  throw std::runtime_error(WIFEXITED(status) && WEXITSTATUS(status) == 2 ? "the job threw"
                           : WIFSIGNALED(status) ? "the job's process ended by signal " + std::to_string(WTERMSIG(status))
                                                 : "the job's process ended without a result");
}

}  // namespace platform
