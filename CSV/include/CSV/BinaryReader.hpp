#pragma once
// Buffered bytes and 16- and 32-bit code units from one input stream. Construction
// opens the stream, skips a byte-order mark and checks it against the expected byte
// order, and throws a CSVError on failure; the code-unit iterators never throw: they
// hand their failures to their error handler and end.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "CSV/CSVError.hpp"
#include "CSV/Endian.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/InputStream.hpp"

namespace CSV {

class BinaryReader {
 public:
  using ErrorHandler = std::function<void(const CSVError&)>;

  /// `codeUnitSize` (1, 2 or 4) limits the marks looked for to those of that width;
  /// 0 looks for any of the five. A failed construction leaves the stream open.
  BinaryReader(std::shared_ptr<platform::InputStream> stream, Endian endian, bool closeOnDeinit,
               std::size_t bufferSize, std::size_t codeUnitSize = 0);
  /// Bytes already in memory: they are the buffer, read in place as a stream over them
  /// would be read (a leading mark likewise), with nothing left to refill.
  BinaryReader(platform::Data bytes, Endian endian, std::size_t codeUnitSize = 0);
  ~BinaryReader();
  BinaryReader(const BinaryReader&) = delete;
  BinaryReader& operator=(const BinaryReader&) = delete;

  const std::shared_ptr<platform::InputStream>& stream() const noexcept { return stream_; }
  Endian endian() const noexcept { return endian_; }
  bool closeOnDeinit() const noexcept { return closeOnDeinit_; }

  /// Unconsumed bytes remain in the buffer, or the stream says it may have more.
  bool hasBytesAvailable() const;

  std::uint8_t readUInt8();
  std::uint16_t readUInt16();
  std::uint32_t readUInt32();

  /// The unconsumed bytes of the buffer, for scanners that read in place.
  std::span<const std::uint8_t> bufferedBytes() const noexcept {
    return {buffer_ + position_, count_ - position_};
  }
  void consume(std::size_t count) noexcept { position_ += count; }
  /// The bytes in memory that a reader made over them holds in place for its whole life; empty otherwise.
  std::span<const std::uint8_t> heldBytes() const noexcept { return heldBytes_.span(); }
  /// Reads the next block into the buffer, replacing it: false when the stream has
  /// ended; throws `streamErrorHasOccurred` or `cannotReadFile` when the read fails.
  bool refill();

  template <typename Unit>
  class Iterator;
  using UInt8Iterator = Iterator<std::uint8_t>;
  using UInt16Iterator = Iterator<std::uint16_t>;
  using UInt32Iterator = Iterator<std::uint32_t>;

 private:
  template <typename Unit>
  Unit readUnit();

  std::shared_ptr<platform::InputStream> stream_;
  Endian endian_;
  bool closeOnDeinit_;
  void skipByteOrderMark(Endian endian, std::size_t codeUnitSize);

  std::unique_ptr<std::uint8_t[]> ownBuffer_;
  platform::Data heldBytes_;
  std::uint8_t* buffer_ = nullptr;  // one of the two above
  std::size_t capacity_;
  std::size_t count_ = 0;
  std::size_t position_ = 0;
};

/// The code units of one width, pulled until the end. A unit boundary where the
/// stream has no more bytes is the end, not a failure.
template <typename Unit>
class BinaryReader::Iterator {
 public:
  using CodeUnit = Unit;

  explicit Iterator(std::shared_ptr<BinaryReader> reader) : reader_(std::move(reader)) {}

  const ErrorHandler& errorHandler() const noexcept { return errorHandler_; }
  void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }
  const std::shared_ptr<BinaryReader>& reader() const noexcept { return reader_; }

  /// The next unit, or nothing at the end or after a failure (which the handler gets).
  std::optional<Unit> next();

 private:
  std::shared_ptr<BinaryReader> reader_;
  ErrorHandler errorHandler_;
};

extern template class BinaryReader::Iterator<std::uint8_t>;
extern template class BinaryReader::Iterator<std::uint16_t>;
extern template class BinaryReader::Iterator<std::uint32_t>;

}  // namespace CSV
