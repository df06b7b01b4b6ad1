#pragma once
// A one-way pipe between this process and a child: both ends are close-on-exec, so a
// program launched on another thread never inherits them by accident. Each end still
// open is closed when the pipe is destroyed.

#include <cstddef>

#include "platform/core/Data.hpp"

namespace platform {

class Pipe {
 public:
  /// Throws std::system_error when the system has no descriptors left.
  Pipe();
  ~Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  /// -1 once that end is closed.
  int readDescriptor() const noexcept { return read_; }
  int writeDescriptor() const noexcept { return write_; }
  void closeRead() noexcept;
  void closeWrite() noexcept;

  /// Everything still to come from the read end, until every writer has closed it.
  /// Throws std::system_error on a read failure.
  Data readToEnd();

 private:
  int read_ = -1;
  int write_ = -1;
};

/// Appends what `descriptor` holds now to `bytes`, without waiting: returns false at end of
/// file, true when nothing more is available yet. Throws std::system_error on a read failure.
bool readAvailable(int descriptor, Data& bytes);

}  // namespace platform
