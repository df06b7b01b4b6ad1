#pragma once
// A sink of bytes written in pieces: into memory, a file, a file descriptor or
// standard output.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "platform/core/Data.hpp"
#include "platform/io/Stream.hpp"

namespace platform {

class OutputStream : public Stream {
 public:
  /// A stream collecting its bytes in memory, readable through `dataWrittenToMemory()`.
  static std::shared_ptr<OutputStream> toMemory();
  /// A stream into a file, created when missing, truncated unless `append`; null when the
  /// location names no file (it is empty). A file that cannot be opened makes `open()` fail.
  /// Bytes are buffered; `close()` writes the rest and reports a failure through the status.
  static std::shared_ptr<OutputStream> toFile(const std::filesystem::path& location, bool append);
  /// A buffered stream into an open descriptor; `closesDescriptor` hands it over to the stream.
  static std::shared_ptr<OutputStream> withFileDescriptor(int descriptor, bool closesDescriptor);
  /// The process's standard output; closing the stream flushes it and leaves the descriptor open.
  static std::shared_ptr<OutputStream> standardOutput();

  /// Writes at most `length` bytes: the count taken (possibly 0), or −1 on failure
  /// (or when the stream is not open), after which `error()` tells why.
  std::ptrdiff_t write(const std::uint8_t* bytes, std::size_t length);
  /// Room for at least `length` bytes inside the stream, to be filled in place and handed over
  /// by `commit`, which saves a copy; empty when the stream offers none (then use `write`), or
  /// when it is not open. Any other call on the stream takes the room back.
  std::span<std::uint8_t> reserve(std::size_t length) {
    // Room handed out before and not taken yet serves without a call; writers ask once per row or field.
    if (static_cast<std::size_t>(roomEnd_ - cursor_) >= length) return {cursor_, roomEnd_};
    return isUsable() ? reserveBytes(length) : std::span<std::uint8_t>();
  }
  /// Hands over the first `length` bytes of the room just reserved, exactly as `write` would take
  /// them from elsewhere, but all of them or none: `length`, or −1 on failure.
  std::ptrdiff_t commit(std::size_t length) {
    if (length < static_cast<std::size_t>(takeEnd_ - cursor_)) {
      cursor_ += length;
      return static_cast<std::ptrdiff_t>(length);
    }
    return isUsable() ? commitBytes(length) : -1;
  }
  /// Whether a write may take bytes.
  bool hasSpaceAvailable() const { return isUsable(); }
  /// The bytes a memory stream has taken; nothing for other streams.
  virtual std::optional<Data> dataWrittenToMemory() const { return std::nullopt; }
  /// The descriptor an open file or descriptor stream writes to, so that a check can be made on
  /// the very file written (never to write or close it); −1 for other streams or when not open.
  virtual int fileDescriptor() const { return -1; }

 protected:
  /// Writes to the sink: a count, or −1 after `fail()`.
  virtual std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) = 0;
  /// Streams that keep bytes in memory of their own may offer room there.
  virtual std::span<std::uint8_t> reserveBytes(std::size_t) { return {}; }
  /// Only called after `reserveBytes` gave room.
  virtual std::ptrdiff_t commitBytes(std::size_t) { return -1; }

  /// For streams whose room is the free part of a buffer of their own: the bytes from `cursor`
  /// to `roomEnd` may be filled, and a commit that leaves the cursor below `takeEnd` only moves
  /// it, without asking the stream, which learns from `cursor()` what was committed. A stream
  /// that stops being usable sets no room (all null).
  void setRoom(std::uint8_t* cursor, std::uint8_t* takeEnd, std::uint8_t* roomEnd) noexcept {
    cursor_ = cursor;
    takeEnd_ = takeEnd;
    roomEnd_ = roomEnd;
  }
  std::uint8_t* cursor() const noexcept { return cursor_; }

 private:
  std::uint8_t* cursor_ = nullptr;
  std::uint8_t* takeEnd_ = nullptr;
  std::uint8_t* roomEnd_ = nullptr;
};

}  // namespace platform
