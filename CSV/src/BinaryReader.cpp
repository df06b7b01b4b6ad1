#include "CSV/BinaryReader.hpp"

#include <algorithm>

namespace CSV {

BinaryReader::BinaryReader(std::shared_ptr<platform::InputStream> stream, Endian endian, bool closeOnDeinit,
                           std::size_t bufferSize, std::size_t codeUnitSize)
    : stream_(std::move(stream)), endian_(endian), closeOnDeinit_(closeOnDeinit), capacity_(bufferSize) {
  // No stream at all (a file stream of an empty location) cannot be opened either.
  if (!stream_) throw CSVError::cannotOpenFile();
  if (stream_->status() == platform::StreamStatus::notOpen) stream_->open();
  if (stream_->status() != platform::StreamStatus::open) throw CSVError::cannotOpenFile();
  ownBuffer_ = std::make_unique<std::uint8_t[]>(capacity_);
  buffer_ = ownBuffer_.get();
  // Reads until a whole mark could be seen: a stream may hand out EF BB BF one byte at a time.
  const std::size_t wanted = std::min<std::size_t>(4, capacity_);
  do {
    const std::ptrdiff_t read = stream_->read(buffer_ + count_, capacity_ - count_);
    if (read < 0) throw CSVError::cannotReadFile();
    if (read == 0) break;
    count_ += static_cast<std::size_t>(read);
  } while (count_ < wanted);
  skipByteOrderMark(endian, codeUnitSize);
}

BinaryReader::BinaryReader(platform::Data bytes, Endian endian, std::size_t codeUnitSize)
    : stream_(platform::InputStream::withData({})),
      endian_(endian),
      closeOnDeinit_(true),
      heldBytes_(std::move(bytes)),
      buffer_(heldBytes_.bytes().data()),
      capacity_(heldBytes_.size()),
      count_(heldBytes_.size()) {
  stream_->open();
  skipByteOrderMark(endian, codeUnitSize);
}

void BinaryReader::skipByteOrderMark(Endian endian, std::size_t codeUnitSize) {
  const std::optional<DetectedByteOrderMark> mark = codeUnitSize == 0
                                                        ? detectByteOrderMark(buffer_, count_)
                                                        : detectByteOrderMark(buffer_, count_, codeUnitSize);
  if (!mark) return;
  if (endian == Endian::unknown)
    endian_ = mark->endian;
  else if (mark->endian != endian)
    throw CSVError::stringEndianMismatch();
  position_ = mark->length;
}

BinaryReader::~BinaryReader() {
  if (closeOnDeinit_ && stream_->status() != platform::StreamStatus::closed) stream_->close();
}

bool BinaryReader::hasBytesAvailable() const { return position_ < count_ || stream_->hasBytesAvailable(); }

bool BinaryReader::refill() {
  const std::ptrdiff_t read = stream_->read(buffer_, capacity_);
  if (read < 0) {
    if (std::exception_ptr error = stream_->error()) throw CSVError::streamErrorHasOccurred(std::move(error));
    throw CSVError::cannotReadFile();
  }
  count_ = static_cast<std::size_t>(read);
  position_ = 0;
  return read > 0;
}

std::uint8_t BinaryReader::readUInt8() {
  if (position_ >= count_ && !refill()) throw CSVError::cannotReadFile();
  return buffer_[position_++];
}

template <typename Unit>
Unit BinaryReader::readUnit() {
  Unit unit = 0;
  for (std::size_t i = 0; i < sizeof(Unit); ++i) {
    if (position_ >= count_ && !refill()) throw CSVError::stringEncodingMismatch();
    const Unit byte = buffer_[position_++];
    unit = static_cast<Unit>(endian_ == Endian::little ? unit | byte << (8 * i) : (unit << 8) | byte);
  }
  if (endian_ == Endian::unknown) throw CSVError::stringEndianMismatch();
  return unit;
}

std::uint16_t BinaryReader::readUInt16() { return readUnit<std::uint16_t>(); }
std::uint32_t BinaryReader::readUInt32() { return readUnit<std::uint32_t>(); }

template <typename Unit>
std::optional<Unit> BinaryReader::Iterator<Unit>::next() {
  try {
    if (reader_->position_ >= reader_->count_) {
      // The end at a unit boundary is a clean end, whatever the stream said before.
      if (!reader_->stream_->hasBytesAvailable() || !reader_->refill()) return std::nullopt;
    }
    if constexpr (sizeof(Unit) == 1)
      return reader_->readUInt8();
    else
      return reader_->readUnit<Unit>();
  } catch (const CSVError& error) {
    if (errorHandler_) errorHandler_(error);
    return std::nullopt;
  }
}

template class BinaryReader::Iterator<std::uint8_t>;
template class BinaryReader::Iterator<std::uint16_t>;
template class BinaryReader::Iterator<std::uint32_t>;

}  // namespace CSV
