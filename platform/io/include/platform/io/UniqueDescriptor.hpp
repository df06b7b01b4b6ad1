#pragma once
// An open file descriptor with one owner, closed when the owner lets it go; moved, never copied.

#include <unistd.h>

#include <utility>

namespace platform {

class UniqueDescriptor {
 public:
  /// Takes `descriptor` over; a negative value holds nothing.
  explicit UniqueDescriptor(int descriptor = -1) noexcept : descriptor_(descriptor) {}
  UniqueDescriptor(UniqueDescriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
  UniqueDescriptor& operator=(UniqueDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
  }
  ~UniqueDescriptor() { reset(); }

  int get() const noexcept { return descriptor_; }
  explicit operator bool() const noexcept { return descriptor_ >= 0; }

  /// Closes the descriptor now and returns close's result (0 when nothing was held). Never
  /// retried: Linux frees the descriptor even when close reports EINTR.
  int reset() noexcept {
    const int result = descriptor_ >= 0 ? ::close(descriptor_) : 0;
    descriptor_ = -1;
    return result;
  }

 private:
  int descriptor_;
};

}  // namespace platform
