#pragma once
// A program run as a child process: set its launch path, arguments, working folder and
// standard streams, then `run()` it and wait for its exit. The program is started
// directly from its path (no search of PATH) with a clean signal mask and default
// signal dispositions. `terminate()` may be called from any thread; every other call
// belongs to one thread at a time.

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Process {
 public:
  enum class TerminationReason { exit, uncaughtSignal };

  Process() = default;
  /// Closes the exit descriptor; a child still running goes on by itself.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  const std::filesystem::path& launchPath() const noexcept { return launchPath_; }
  void setLaunchPath(std::filesystem::path path) { launchPath_ = std::move(path); }
  const std::vector<std::string>& arguments() const noexcept { return arguments_; }
  void setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
  /// Absent: the child starts in this process's current folder.
  const std::optional<std::filesystem::path>& currentDirectory() const noexcept { return currentDirectory_; }
  void setCurrentDirectory(std::optional<std::filesystem::path> folder) { currentDirectory_ = std::move(folder); }
  /// Descriptors the child gets as standard output and error; -1 (the default) inherits ours.
  void setStandardOutput(int descriptor) noexcept { standardOutput_ = descriptor; }
  void setStandardError(int descriptor) noexcept { standardError_ = descriptor; }

  /// Starts the program. Throws std::system_error with the system's error number when it
  /// cannot be started (missing or not executable, a folder that does not exist, ...);
  /// then no child is left behind.
  void run();

  pid_t processIdentifier() const noexcept { return pid_; }
  bool isRunning() const;

  /// A descriptor that becomes readable once the child has exited, for poll(); -1 when the
  /// kernel offers none, in which case callers poll `reapIfExited()` instead.
  int exitDescriptor() const noexcept { return exitDescriptor_; }
  /// Collects the exit status if the child has exited; true once it has been collected.
  bool reapIfExited();
  /// Blocks until the child has exited and collects its status.
  void waitUntilExit();
  /// Sends SIGTERM to the child; nothing once its exit has been collected.
  void terminate();

  /// The exit status, or the signal number when the reason is `uncaughtSignal`.
  int terminationStatus() const noexcept { return terminationStatus_; }
  TerminationReason terminationReason() const noexcept { return terminationReason_; }
  /// The system's error number when the child ended but its status could not be collected
  /// (ECHILD: SIGCHLD is ignored, or something else reaped it); then the status above is
  /// meaningless. 0 once a status has been collected.
  int collectionError() const noexcept { return collectionError_; }

 private:
  bool reap(int options);

  std::filesystem::path launchPath_;
  std::vector<std::string> arguments_;
  std::optional<std::filesystem::path> currentDirectory_;
  int standardOutput_ = -1;
  int standardError_ = -1;

  mutable std::mutex mutex_;  // orders reaping against terminate(), so no signal reaches a reused pid
  pid_t pid_ = 0;
  int exitDescriptor_ = -1;
  bool reaped_ = false;
  int terminationStatus_ = 0;
  TerminationReason terminationReason_ = TerminationReason::exit;
  int collectionError_ = 0;
};

}  // namespace platform
