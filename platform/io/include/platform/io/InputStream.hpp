#pragma once
// A source of bytes read in pieces: from memory, a file, a file descriptor or
// standard input.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/core/Data.hpp"
#include "platform/io/Stream.hpp"

namespace platform {

class InputStream : public Stream {
 public:
  /// A stream over bytes in memory.
  static std::shared_ptr<InputStream> withData(Data data);
  /// A stream over a file, or null when the location names no file (it is empty);
  /// a file that cannot be opened makes `open()` fail instead.
  static std::shared_ptr<InputStream> withFile(const std::filesystem::path& location);
  /// A stream over an open descriptor; `closesDescriptor` hands the descriptor over to the stream.
  /// A stream that owns its descriptor (this one handed over, or a file's) may read from it ahead
  /// of what it is asked for; reads still return what is there without waiting for more.
  static std::shared_ptr<InputStream> withFileDescriptor(int descriptor, bool closesDescriptor);
  /// The process's standard input; closing the stream leaves the descriptor open.
  static std::shared_ptr<InputStream> standardInput();

  /// Reads at most `maxLength` bytes: the count read, 0 at the end, −1 on failure
  /// (or when the stream is not open), after which `error()` tells why.
  std::ptrdiff_t read(std::uint8_t* buffer, std::size_t maxLength);
  /// Whether a read may give bytes: the stream is open, not at its end, and not known to be exhausted.
  bool hasBytesAvailable() const;

 protected:
  /// Reads from the source: a count, 0 at the end, or −1 after `fail()`.
  virtual std::ptrdiff_t readBytes(std::uint8_t* buffer, std::size_t maxLength) = 0;
  /// Whether the source may have more bytes; sources that cannot tell say yes.
  virtual bool mayHaveBytes() const { return true; }
};

}  // namespace platform
