#pragma once
// The descriptor behind a file or standard stream: opened from a location, or
// given by the caller, who may keep ownership of it.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <string>

#include "platform/io/Stream.hpp"

namespace platform {

class FileDescriptor {
 public:
  FileDescriptor(std::filesystem::path location, int descriptor, bool owned)
      : location_(std::move(location)), descriptor_(descriptor), owned_(owned) {}

  int get() const noexcept { return descriptor_; }

  /// Opens the location, if there is one; returns the failure, or null.
  std::exception_ptr open(int flags) {
    if (location_.empty()) return nullptr;
    do descriptor_ = ::open(location_.c_str(), flags | O_CLOEXEC, 0666);
    while (descriptor_ < 0 && errno == EINTR);
    return descriptor_ < 0 ? posixError(errno) : nullptr;
  }

  /// Closes the descriptor when it is ours; returns the failure, or null.
  std::exception_ptr close() {
    if (!owned_ || descriptor_ < 0) return nullptr;
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result < 0 && errno != EINTR ? posixError(errno) : nullptr;
  }

  std::string description(const char* kind) const {
    return location_.empty() ? std::string(kind) + " of descriptor " + std::to_string(descriptor_)
                             : std::string(kind) + " of " + location_.string();
  }

 private:
  std::filesystem::path location_;  // empty for a descriptor given by the caller
  int descriptor_;
  bool owned_;
};

}  // namespace platform
