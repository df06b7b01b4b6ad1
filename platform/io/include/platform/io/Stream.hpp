#pragma once
// What input and output streams share: a status that moves from not open to
// closed, and the error that put a stream into the error status.

#include <cerrno>
#include <exception>
#include <string>

namespace platform {

/// The life of a stream. The raw values are the platform's.
enum class StreamStatus { notOpen = 0, opening = 1, open = 2, reading = 3, writing = 4, atEnd = 5, closed = 6, error = 7 };

/// The status's name, as error user information shows it ("open", "atEnd", …).
std::string describe(StreamStatus status);

/// The error of a failed system call: domain "POSIX", the errno value as code, its message as description.
std::exception_ptr posixError(int code);

class Stream {
 public:
  virtual ~Stream() = default;
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  /// Opens a stream that was never opened; afterwards the status is `open`, or `error` with `error()` set.
  virtual void open();
  /// Ends the stream's use: the status becomes `closed`. Opened streams release their resources
  /// once; an output stream first hands over what it buffered, and a failure there leaves the
  /// status `error` instead.
  virtual void close();

  StreamStatus status() const noexcept { return status_; }
  /// The failure that put the stream into `error`, or null.
  std::exception_ptr error() const noexcept { return error_; }
  /// A short text naming the stream, for error user information.
  virtual std::string description() const = 0;

 protected:
  /// Acquires the resources; returns the failure, or null.
  virtual std::exception_ptr openResources() = 0;
  /// Releases the resources of an opened stream; returns the failure, or null.
  virtual std::exception_ptr closeResources() = 0;

  /// Moves to `error` with this failure.
  void fail(std::exception_ptr failure) {
    status_ = StreamStatus::error;
    error_ = std::move(failure);
  }
  void setStatus(StreamStatus status) noexcept { status_ = status; }
  /// For destructors of streams that hold resources: closes the stream unless that already happened.
  void releaseResources() {
    if (resourcesHeld_) close();
  }
  /// Whether bytes may move: the stream is open and has not ended or failed.
  bool isUsable() const noexcept {
    return status_ == StreamStatus::open || status_ == StreamStatus::reading || status_ == StreamStatus::writing;
  }

 private:
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
  bool resourcesHeld_ = false;
};

}  // namespace platform
