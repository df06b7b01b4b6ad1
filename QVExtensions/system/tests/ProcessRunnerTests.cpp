#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

#include "QVExtensions/ProcessRunner.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace QVExtensions {
namespace {

std::shared_ptr<platform::Process> shell(const std::string& script) {
  auto process = std::make_shared<platform::Process>();
  process->setLaunchPath("/bin/sh");
  process->setArguments({"-c", script});
  return process;
}

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST(ProcessRunner, OutcomesOfRealPrograms) {
  constexpr std::size_t mebibyte = 1 << 20;
  // Standard error fills before standard output is written: a runner that reads the
  // pipes one after the other, or only after the exit, never returns.
  const std::string bothStreams =
      "head -c 1048576 /dev/zero >&2; head -c 1048576 /dev/zero | tr '\\0' x";
  struct Case {
    std::string script;
    bool succeeds;
    std::size_t outSize;
    std::size_t errSize;
    std::string termination;
  };
  const Case cases[] = {
      {bothStreams, true, mebibyte, 0, ""},
      {bothStreams + "; exit 3", false, mebibyte, mebibyte, "exited normally"},
      {"printf boom >&2; exit 3", false, 0, 4, "exited normally"},
      {"printf partial; kill -9 $$", false, 7, 0, "exited with uncaught signal: 9"},
      // The runner returns once the shell has exited, though the sleep keeps the pipes open.
      {"sleep 30 & echo done", true, 5, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const auto process = shell(c.script);
    if (c.succeeds) {
      const ProcessOutput output = runProcess(process);
      EXPECT_EQ(output.terminationStatus, 0);
      EXPECT_EQ(output.response.size(), c.outSize);
      continue;
    }
    try {
      runProcess(process);
      ADD_FAILURE() << "no error";
    } catch (const ProcessError& error) {
      EXPECT_EQ(error.stdOut().size(), c.outSize);
      EXPECT_EQ(error.stdErr().size(), c.errSize);
      EXPECT_EQ(error.terminationDescription(), c.termination);
      EXPECT_EQ(error.task(), process);
      EXPECT_EQ(error.failureReason(), error.stdErrString());
    }
  }
}

// The code of a ProcessError's underlying error, or a text saying what was wrong instead.
std::string uncollectedOutcome(const std::string& script) {
  try {
    runProcess(shell(script));
    return "success";
  } catch (const ProcessError& error) {
    if (error.stdOut().view() != "out" || error.stdErr().view() != "err") return "streams lost";
    if (error.terminationDescription() != "its exit status could not be collected")
      return "described as \"" + error.terminationDescription() + "\"";
    try {
      if (error.underlyingError()) std::rethrow_exception(error.underlyingError());
      return "no underlying error";
    } catch (const platform::Error& underlying) {
      return underlying.domain() + " " + std::to_string(underlying.code());
    }
  }
}

TEST(ProcessRunner, AStatusThatCannotBeCollectedIsAnError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // With SIGCHLD ignored the kernel reaps children itself, and waitpid answers ECHILD.
  EXPECT_EXIT(
      {
        ::signal(SIGCHLD, SIG_IGN);
        std::string report;
        for (const char* status : {"0", "1", "7"}) {
          const std::string outcome = uncollectedOutcome("printf out; printf err >&2; exit " + std::string(status));
          if (outcome != "POSIX " + std::to_string(ECHILD))
            report += std::string("exit ") + status + ": " + outcome + "\n";
        }
        std::fputs(report.empty() ? "every status reported as lost\n" : report.c_str(), stderr);
        std::_Exit(report.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "every status reported as lost");
}

TEST(ProcessRunner, TextsAndFailureReason) {
  try {
    runProcess(shell("printf boom >&2; printf 'out\\377'; exit 3"));
    FAIL() << "no error";
  } catch (const ProcessError& error) {
    EXPECT_EQ(error.failureReason(), "boom");
    EXPECT_EQ(error.stdOutString(), std::nullopt);  // not UTF-8, but the bytes stay
    EXPECT_EQ(error.stdOut().size(), 4u);
    EXPECT_EQ(error.recoverySuggestion(), std::nullopt);
    EXPECT_EQ(error.helpAnchor(), std::nullopt);
  }
  const ProcessOutput output = runProcess(shell("printf 'Zo\\303\\253'; printf ignored >&2"));
  EXPECT_EQ(output.responseString(), "Zoë");
  EXPECT_EQ(runProcess(shell("printf '\\377'")).responseString(), std::nullopt);
}

TEST(ProcessRunner, VerboseLinesAndWorkingFolder) {
  platform::TemporaryDirectory folder;
  const std::filesystem::path canonical = std::filesystem::canonical(folder.path());
  struct Case {
    std::filesystem::path launchPath;
    std::vector<std::string> arguments;
    std::optional<std::filesystem::path> directory;
    bool inDirectory;
    std::string lines;
  };
  const Case cases[] = {
      {"/bin/sh", {"-c", "pwd"}, std::nullopt, true, "Working path not set\n/bin/sh -c pwd\n"},
      {"/bin/sh", {"-c", "pwd"}, canonical, true, canonical.string() + "\n/bin/sh -c pwd\n"},
      {"/bin/sh", {"-c", "pwd"}, std::nullopt, false, "/bin/sh -c pwd\n"},
      {"/bin/true", {}, std::nullopt, false, "/bin/true\n"},
  };
  for (const Case& c : cases) {
    auto process = std::make_shared<platform::Process>();
    process->setLaunchPath(c.launchPath);
    process->setArguments(c.arguments);
    std::ostringstream log;
    const ProcessOutput output = c.inDirectory ? runProcessInDirectory(process, c.directory, true, log)
                                               : runProcess(process, true, log);
    EXPECT_EQ(log.str(), c.lines);
    if (c.directory) {
      EXPECT_EQ(output.responseString(), canonical.string() + "\n");
    }
  }
}

TEST(ProcessRunner, ProgramsThatCannotBeLaunchedLeaveNothingBehind) {
  platform::TemporaryDirectory folder;
  const std::size_t descriptors = openDescriptorCount();
  struct Case {
    std::filesystem::path launchPath;
    std::optional<std::filesystem::path> directory;
    int code;
  };
  const Case cases[] = {
      {"/nonexistent/program", std::nullopt, ENOENT},
      {folder.path(), std::nullopt, EACCES},  // a folder is no program
      {"/bin/sh", folder.path() / "missing", ENOENT},
  };
  for (const Case& c : cases) {
    auto process = std::make_shared<platform::Process>();
    process->setLaunchPath(c.launchPath);
    try {
      runProcessInDirectory(process, c.directory);
      ADD_FAILURE() << c.launchPath << " launched";
    } catch (const ProcessLaunchError& error) {
      EXPECT_EQ(error.domain(), "QVExtensions.Process");
      EXPECT_EQ(error.code(), c.code);
      EXPECT_EQ(error.description(), "The program “" + c.launchPath.string() + "” could not be launched.");
      EXPECT_EQ(error.failureReason(), std::strerror(c.code));
      EXPECT_EQ(error.userInfo().get<std::string>("Launch path"), c.launchPath.string());
      EXPECT_EQ(error.userInfo().get<std::string>("Working directory"),
                c.directory ? std::optional(c.directory->string()) : std::nullopt);
    }
    EXPECT_FALSE(process->isRunning());
  }
  EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(ProcessRunner, RunningAProcessAgainLeavesNoDescriptorBehind) {
  const auto process = shell("exit 3");
  EXPECT_THROW(runProcess(process), ProcessError);
  const std::size_t descriptors = openDescriptorCount();  // the process keeps one for its child
  process->setArguments({"-c", "printf again"});
  for (int run = 0; run < 4; ++run) EXPECT_EQ(runProcess(process).responseString(), "again");
  EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(ProcessRunner, TerminateFromAnotherThread) {
  const auto process = shell("exec sleep 1000");
  auto outcome = std::async(std::launch::async, [&] {
    try {
      runProcess(process);
    } catch (const ProcessError& error) {
      return error.terminationDescription();
    }
    return std::string("exited with success");
  });
  while (!process->isRunning()) std::this_thread::yield();
  process->terminate();
  EXPECT_EQ(outcome.get(), "exited with uncaught signal: " + std::to_string(SIGTERM));
  process->terminate();  // once collected, nothing is signalled
}

TEST(ProcessRunner, TwoRunnersOnTwoThreads) {
  auto run = [](char letter) {
    const std::string script = "head -c 300000 /dev/zero | tr '\\0' " + std::string(1, letter);
    return runProcess(shell(script)).response;
  };
  auto first = std::async(std::launch::async, run, 'a');
  auto second = std::async(std::launch::async, run, 'b');
  const platform::Data a = first.get();
  const platform::Data b = second.get();
  EXPECT_EQ(a.view(), std::string(300000, 'a'));
  EXPECT_EQ(b.view(), std::string(300000, 'b'));
}

TEST(ProcessRunner, PipeTexts) {
  struct Case {
    std::string bytes;
    std::optional<std::string> text;
    std::string printed;
  };
  const Case cases[] = {{"hello", "hello", "hello\n"}, {"", "", "\n"}, {"bad\xFF", std::nullopt, ""}};
  for (const Case& c : cases) {
    for (const bool print : {false, true}) {
      platform::Pipe pipe;
      ASSERT_EQ(::write(pipe.writeDescriptor(), c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
      pipe.closeWrite();
      if (print) {
        std::ostringstream out;
        printText(pipe, out);
        EXPECT_EQ(out.str(), c.printed);
      } else {
        EXPECT_EQ(readText(pipe), c.text);
      }
    }
  }
}

}  // namespace
}  // namespace QVExtensions
