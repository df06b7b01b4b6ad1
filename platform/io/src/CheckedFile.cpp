#include "platform/io/CheckedFile.hpp"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <system_error>

#include "CheckedFileSeam.hpp"

namespace platform {
namespace {

[[noreturn]] void fail(int error) { throw std::system_error(error, std::generic_category()); }

int openRetrying(const char* path, int flags) {
  int descriptor = -1;
  do descriptor = ::open(path, flags | O_CLOEXEC);
  while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

/// A new descriptor of the very file that `held` holds (which may be an O_PATH one), opened
/// through the descriptor folder; holds nothing when that fails, with errno ENOENT where
/// there is no such folder.
UniqueDescriptor openByNumber(int held, int flags, const char* folder) {
  char byNumber[PATH_MAX];  // no allocation between the open and the caller's look at errno
  if (std::snprintf(byNumber, sizeof byNumber, "%s/%d", folder, held) >= static_cast<int>(sizeof byNumber)) {
    errno = ENAMETOOLONG;
    return UniqueDescriptor();
  }
  return UniqueDescriptor{openRetrying(byNumber, flags)};
}

/// `opened`, when it is the file `seen` describes; else it is closed, and ESTALE thrown.
UniqueDescriptor sameFileOrFail(UniqueDescriptor opened, const struct stat& seen) {
  struct stat status {};
  if (::fstat(opened.get(), &status) != 0) fail(errno);
  if (!isSameFile(status, seen)) fail(ESTALE);
  return opened;
}

}  // namespace

bool isNullDevice(const struct stat& status) noexcept {
  return S_ISCHR(status.st_mode) && ::major(status.st_rdev) == 1 && ::minor(status.st_rdev) == 3;
}

CheckedFile openCheckedForReading(const std::filesystem::path& file,
                                  const std::function<OpenDecision(const struct stat&)>& decide) {
  return checked::openForReading(file, decide, checked::descriptorFolder);
}

std::optional<std::vector<std::uint8_t>> readStartOfSameFile(int written, const std::filesystem::path& file,
                                                              std::size_t length) {
  return checked::readStart(written, file, length, checked::descriptorFolder);
}

namespace checked {

CheckedFile openForReading(const std::filesystem::path& file,
                           const std::function<OpenDecision(const struct stat&)>& decide, const char* folder) {
  const UniqueDescriptor place{openRetrying(file.c_str(), O_PATH)};
  if (!place) fail(errno);
  CheckedFile checked;
  if (::fstat(place.get(), &checked.status) != 0) fail(errno);
  if (decide(checked.status) == OpenDecision::leaveClosed) return checked;
  constexpr int reading = O_RDONLY | O_NOCTTY;
  UniqueDescriptor opened = openByNumber(place.get(), reading, folder);
  if (!opened) {
    if (errno != ENOENT) fail(errno);
    // Opened again by path, whatever lies there now must not make the open wait: only a FIFO
    // that was seen is waited for, and anything else is closed once it proves to be another file.
    const bool fifo = S_ISFIFO(checked.status.st_mode);
    opened = UniqueDescriptor{openRetrying(file.c_str(), fifo ? reading : reading | O_NONBLOCK)};
    if (!opened) fail(errno);
  }
  checked.descriptor = sameFileOrFail(std::move(opened), checked.status);
  const int flags = ::fcntl(checked.descriptor.get(), F_GETFL);
  if (flags < 0) fail(errno);
  if ((flags & O_NONBLOCK) && ::fcntl(checked.descriptor.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) fail(errno);
  return checked;
}

std::optional<std::vector<std::uint8_t>> readStart(int written, const std::filesystem::path& file, std::size_t length,
                                                   const char* folder) {
  struct stat status {};
  if (::fstat(written, &status) != 0) return std::nullopt;
  constexpr int reading = O_RDONLY | O_NONBLOCK | O_NOCTTY;
  UniqueDescriptor opened = openByNumber(written, reading, folder);
  if (!opened && errno != ENOENT) return std::nullopt;  // the file written is not readable: nothing to check
  // By path, a file that cannot be opened there may not be the one written, so it is no answer.
  if (!opened) opened = UniqueDescriptor{openRetrying(file.c_str(), reading)};
  if (!opened) fail(ESTALE);
  const UniqueDescriptor reader = sameFileOrFail(std::move(opened), status);
  std::vector<std::uint8_t> start(length);
  ssize_t count = 0;
  do count = ::pread(reader.get(), start.data(), start.size(), 0);
  while (count < 0 && errno == EINTR);
  if (count < 0) return std::nullopt;
  start.resize(static_cast<std::size_t>(count));
  return start;
}

}  // namespace checked
}  // namespace platform
