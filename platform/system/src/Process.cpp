#include "platform/system/Process.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

extern char** environ;

namespace platform {
namespace {

// Frees the spawn descriptions however run() leaves.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

void check(int result, const char* what) {
  if (result != 0) throw std::system_error(result, std::generic_category(), what);
}

int openExitDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

}  // namespace

Process::~Process() {
  if (exitDescriptor_ >= 0) ::close(exitDescriptor_);
}

void Process::run() {
  SpawnSetup setup;
  if (standardOutput_ >= 0) check(posix_spawn_file_actions_adddup2(&setup.actions, standardOutput_, 1), "dup2");
  if (standardError_ >= 0) check(posix_spawn_file_actions_adddup2(&setup.actions, standardError_, 2), "dup2");
  if (currentDirectory_)
    check(posix_spawn_file_actions_addchdir_np(&setup.actions, currentDirectory_->c_str()), "chdir");

  // The child must not inherit a mask or handlers that this process (or a test runner) set.
  sigset_t signals;
  sigemptyset(&signals);
  check(posix_spawnattr_setsigmask(&setup.attributes, &signals), "sigmask");
  sigfillset(&signals);
  check(posix_spawnattr_setsigdefault(&setup.attributes, &signals), "sigdefault");
  check(posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF), "flags");

  std::vector<std::string> words;
  words.reserve(arguments_.size() + 1);
  words.push_back(launchPath_.string());
  words.insert(words.end(), arguments_.begin(), arguments_.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  // posix_spawn reports a failed exec itself and collects that child, so nothing is left.
  check(posix_spawn(&pid, launchPath_.c_str(), &setup.actions, &setup.attributes, argv.data(), environ),
        "posix_spawn");
  std::lock_guard lock(mutex_);
  pid_ = pid;
  reaped_ = false;
  if (exitDescriptor_ >= 0) ::close(exitDescriptor_);  // the previous run's
  exitDescriptor_ = openExitDescriptor(pid);
}

bool Process::isRunning() const {
  std::lock_guard lock(mutex_);
  return pid_ > 0 && !reaped_;
}

bool Process::reap(int options) {
  std::lock_guard lock(mutex_);
  if (reaped_ || pid_ <= 0) return reaped_;
  int status = 0;
  pid_t result;
  do result = ::waitpid(pid_, &status, options);
  while (result < 0 && errno == EINTR);
  if (result == 0) return false;
  reaped_ = true;
  terminationReason_ = TerminationReason::exit;
  terminationStatus_ = 0;
  collectionError_ = result < 0 ? errno : 0;
  if (result < 0) return true;  // collected elsewhere: the status is lost
  if (WIFSIGNALED(status)) {
    terminationReason_ = TerminationReason::uncaughtSignal;
    terminationStatus_ = WTERMSIG(status);
  } else {
    terminationReason_ = TerminationReason::exit;
    terminationStatus_ = WEXITSTATUS(status);
  }
  return true;
}

bool Process::reapIfExited() { return reap(WNOHANG); }

void Process::waitUntilExit() {
  if (pid_ <= 0) return;
  // Waiting inside waitpid would hold the lock that terminate() needs: wait for the exit
  // without collecting it, then collect it under the lock.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  reap(0);
}

void Process::terminate() {
  std::lock_guard lock(mutex_);
  // An exited child that has not been collected still owns its pid, so the signal cannot
  // reach another process.
  if (pid_ > 0 && !reaped_) ::kill(pid_, SIGTERM);
}

}  // namespace platform
