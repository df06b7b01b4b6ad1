#include "QVExtensions/ProcessRunner.hpp"

#include <fcntl.h>
#include <poll.h>

#include <cstring>
#include <iostream>
#include <system_error>

#include "platform/core/Unicode.hpp"
#include "platform/io/Stream.hpp"

namespace QVExtensions {
namespace {

std::optional<std::string> utf8Text(const platform::Data& bytes) {
  if (!platform::isWellFormedUTF8(bytes.view())) return std::nullopt;
  return std::string(bytes.view());
}

platform::Error::Details processErrorDetails(const platform::Data& stdErr, std::exception_ptr underlyingError) {
  platform::Error::Details details;
  details.failureReason = utf8Text(stdErr);
  details.underlyingError = std::move(underlyingError);
  return details;
}

platform::Error::Details launchErrorDetails(int errorNumber, const platform::Process& process) {
  platform::Error::Details details;
  details.failureReason = std::strerror(errorNumber);
  details.userInfo.add("Launch path", process.launchPath().string());
  if (process.currentDirectory()) details.userInfo.add("Working directory", process.currentDirectory()->string());
  return details;
}

void setNonBlocking(int descriptor) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) < 0)
    throw std::system_error(errno, std::generic_category(), "fcntl");
}

// One output stream of the child: its pipe and what has arrived so far.
struct Capture {
  platform::Pipe pipe;
  platform::Data bytes;
  bool open = true;

  void drain() {
    if (open) open = platform::readAvailable(pipe.readDescriptor(), bytes);
  }
};

// Reads both pipes while the child runs; a child writing more than a pipe holds would
// otherwise wait for us forever.
void collectUntilExit(platform::Process& process, Capture& out, Capture& err) {
  setNonBlocking(out.pipe.readDescriptor());
  setNonBlocking(err.pipe.readDescriptor());
  const int exitDescriptor = process.exitDescriptor();
  while (!process.reapIfExited()) {
    pollfd watched[3];
    nfds_t count = 0;
    if (out.open) watched[count++] = {out.pipe.readDescriptor(), POLLIN, 0};
    if (err.open) watched[count++] = {err.pipe.readDescriptor(), POLLIN, 0};
    if (exitDescriptor >= 0) watched[count++] = {exitDescriptor, POLLIN, 0};
    // Without an exit descriptor the exit is noticed by polling for it now and then.
    const int timeout = exitDescriptor >= 0 ? -1 : 10;
    if (::poll(watched, count, timeout) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "poll");
    out.drain();
    err.drain();
  }
  // A program it left running in the background may hold the pipes open for good: take
  // what they hold now instead of waiting for their end.
  out.drain();
  err.drain();
}

ProcessOutput run(const std::shared_ptr<platform::Process>& process, bool verbose, bool showDirectory,
                  std::ostream& log) {
  if (verbose) {
    if (showDirectory)
      log << (process->currentDirectory() ? process->currentDirectory()->string() : "Working path not set") << '\n';
    std::string commandLine = process->launchPath().string();
    for (const std::string& argument : process->arguments()) commandLine += ' ' + argument;
    log << commandLine << '\n';
  }
  Capture out;
  Capture err;
  process->setStandardOutput(out.pipe.writeDescriptor());
  process->setStandardError(err.pipe.writeDescriptor());
  try {
    process->run();
  } catch (const std::system_error& failure) {
    throw ProcessLaunchError(failure.code().value(), *process);
  }
  // Only the child may hold the write ends, so their end of file means the child's.
  out.pipe.closeWrite();
  err.pipe.closeWrite();
  collectUntilExit(*process, out, err);

  if (const int lost = process->collectionError())
    throw ProcessError(process, std::move(out.bytes), std::move(err.bytes), platform::posixError(lost));
  if (process->terminationReason() == platform::Process::TerminationReason::exit && process->terminationStatus() == 0)
    return ProcessOutput{0, std::move(out.bytes)};
  throw ProcessError(process, std::move(out.bytes), std::move(err.bytes));
}

}  // namespace

std::optional<std::string> ProcessOutput::responseString() const { return utf8Text(response); }

ProcessError::ProcessError(std::shared_ptr<platform::Process> task, platform::Data stdOut, platform::Data stdErr,
                           std::exception_ptr underlyingError)
    : platform::Error("QVExtensions.ProcessError", 1,
                      "The operation couldn’t be completed. (QVExtensions.ProcessError error 1.)",
                      processErrorDetails(stdErr, std::move(underlyingError))),
      task_(std::move(task)),
      stdOut_(std::move(stdOut)),
      stdErr_(std::move(stdErr)),
      stdOutString_(utf8Text(stdOut_)) {}

std::string ProcessError::terminationDescription() const {
  // The status fields then still hold their defaults, a normal exit with 0, which is not what happened.
  if (task_ && task_->collectionError() != 0) return "its exit status could not be collected";
  if (task_ && task_->terminationReason() == platform::Process::TerminationReason::uncaughtSignal)
    return "exited with uncaught signal: " + std::to_string(task_->terminationStatus());
  return "exited normally";
}

ProcessLaunchError::ProcessLaunchError(int errorNumber, const platform::Process& process)
    : platform::Error("QVExtensions.Process", errorNumber,
                      "The program “" + process.launchPath().string() + "” could not be launched.",
                      launchErrorDetails(errorNumber, process)) {}

ProcessOutput runProcess(const std::shared_ptr<platform::Process>& process, bool verbose) {
  return runProcess(process, verbose, std::cout);
}

ProcessOutput runProcess(const std::shared_ptr<platform::Process>& process, bool verbose, std::ostream& log) {
  return run(process, verbose, false, log);
}

ProcessOutput runProcessInDirectory(const std::shared_ptr<platform::Process>& process,
                                    std::optional<std::filesystem::path> directory, bool verbose) {
  return runProcessInDirectory(process, std::move(directory), verbose, std::cout);
}

ProcessOutput runProcessInDirectory(const std::shared_ptr<platform::Process>& process,
                                    std::optional<std::filesystem::path> directory, bool verbose,
                                    std::ostream& log) {
  process->setCurrentDirectory(std::move(directory));
  return run(process, verbose, true, log);
}

std::optional<std::string> readText(platform::Pipe& pipe) { return utf8Text(pipe.readToEnd()); }

void printText(platform::Pipe& pipe) { printText(pipe, std::cout); }

void printText(platform::Pipe& pipe, std::ostream& out) {
  if (const std::optional<std::string> text = readText(pipe)) out << *text << '\n';
}

}  // namespace QVExtensions
