#pragma once
// A sink of bytes written in pieces: into memory, a file, a file descriptor or
// standard output.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

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
  /// Whether a write may take bytes.
  bool hasSpaceAvailable() const { return isUsable(); }
  /// The bytes a memory stream has taken; nothing for other streams.
  virtual std::optional<Data> dataWrittenToMemory() const { return std::nullopt; }

 protected:
  /// Writes to the sink: a count, or −1 after `fail()`.
  virtual std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace platform
