#pragma once
// Runs an external program to its end and hands back what it wrote: standard output on
// success, a ProcessError carrying both streams when it exits with another status, is
// killed, or ends without a status this process can collect (SIGCHLD ignored, or the child
// reaped elsewhere): a status that was never seen is not taken for success. Both pipes are
// drained while the program runs, so no amount of output stalls it, and the runner returns
// once the program has exited even when a program it started in the background still holds
// the pipes. The calling thread blocks until then.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"
#include "platform/io/Pipe.hpp"
#include "platform/system/Process.hpp"

namespace QVExtensions {

struct ProcessOutput {
  std::int32_t terminationStatus = 0;
  platform::Data response;

  /// The response as UTF-8 text; absent when it is not valid UTF-8.
  std::optional<std::string> responseString() const;
};

/// A program that ended with a non-zero status or a signal, or whose exit status could not
/// be collected (then the system's error is the underlying error). The failure reason is the
/// standard-error text; both texts are decoded once, when the error is made.
class ProcessError : public platform::Error {
 public:
  ProcessError(std::shared_ptr<platform::Process> task, platform::Data stdOut, platform::Data stdErr,
               std::exception_ptr underlyingError = nullptr);

  const std::shared_ptr<platform::Process>& task() const noexcept { return task_; }
  const platform::Data& stdOut() const noexcept { return stdOut_; }
  const platform::Data& stdErr() const noexcept { return stdErr_; }
  const std::optional<std::string>& stdOutString() const noexcept { return stdOutString_; }
  const std::optional<std::string>& stdErrString() const noexcept { return failureReason(); }

  /// "exited with uncaught signal: N" for a signal, "exited normally" for any exit status,
  /// "its exit status could not be collected" when the program ended unseen.
  std::string terminationDescription() const;

 private:
  std::shared_ptr<platform::Process> task_;
  platform::Data stdOut_;
  platform::Data stdErr_;
  std::optional<std::string> stdOutString_;
};

/// A program that could not be started at all: the code is the system's error number.
class ProcessLaunchError : public platform::Error {
 public:
  ProcessLaunchError(int errorNumber, const platform::Process& process);
};

/// Runs the process as configured (launch path and arguments set by the caller). With
/// `verbose`, writes the command line to `log` first. Throws ProcessLaunchError or ProcessError.
ProcessOutput runProcess(const std::shared_ptr<platform::Process>& process, bool verbose = false);
ProcessOutput runProcess(const std::shared_ptr<platform::Process>& process, bool verbose, std::ostream& log);

/// The same in `directory` (none: the current folder); with `verbose`, the working folder
/// ("Working path not set" without one) is written before the command line.
ProcessOutput runProcessInDirectory(const std::shared_ptr<platform::Process>& process,
                                    std::optional<std::filesystem::path> directory, bool verbose = false);
ProcessOutput runProcessInDirectory(const std::shared_ptr<platform::Process>& process,
                                    std::optional<std::filesystem::path> directory, bool verbose,
                                    std::ostream& log);

/// The rest of the pipe's read end as UTF-8 text; absent when it is not valid UTF-8.
std::optional<std::string> readText(platform::Pipe& pipe);
/// The same text written to `out` as one line; nothing when it is not valid UTF-8.
void printText(platform::Pipe& pipe);
void printText(platform::Pipe& pipe, std::ostream& out);

}  // namespace QVExtensions
