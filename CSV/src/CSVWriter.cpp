#include "CSV/CSVWriter.hpp"

#include <array>

#include "platform/core/Unicode.hpp"

namespace CSV {
namespace {

/// Writes each unit with a write of its own, most significant byte first when `big`.
template <typename Unit, std::size_t N>
void writeUnits(platform::OutputStream& stream, const std::array<Unit, N>& units, std::size_t count, Endian endian) {
  bool failed = false;
  for (std::size_t i = 0; i < count; ++i) {
    std::array<std::uint8_t, sizeof(Unit)> bytes;
    for (std::size_t b = 0; b < sizeof(Unit); ++b) {
      const std::size_t shift = endian == Endian::big ? 8 * (sizeof(Unit) - 1 - b) : 8 * b;
      bytes[b] = static_cast<std::uint8_t>(units[i] >> shift);
    }
    if (stream.write(bytes.data(), bytes.size()) < static_cast<std::ptrdiff_t>(bytes.size())) failed = true;
  }
  if (failed) throw CSVError::cannotWriteStream();
}

CSVWriter::ScalarWriter utf8Writer(platform::OutputStream* stream) {
  return [stream](char32_t scalar) {
    std::string bytes;
    platform::appendUTF8(bytes, scalar);
    std::array<std::uint8_t, 4> units{};
    for (std::size_t i = 0; i < bytes.size(); ++i) units[i] = static_cast<std::uint8_t>(bytes[i]);
    writeUnits(*stream, units, bytes.size(), Endian::big);
  };
}

CSVWriter::ScalarWriter utf16Writer(platform::OutputStream* stream, Endian endian) {
  return [stream, endian](char32_t scalar) {
    if (scalar < 0x10000) {
      writeUnits(*stream, std::array{static_cast<std::uint16_t>(scalar)}, 1, endian);
      return;
    }
    const char32_t offset = scalar - 0x10000;
    writeUnits(*stream,
               std::array{static_cast<std::uint16_t>(0xD800 + (offset >> 10)),
                          static_cast<std::uint16_t>(0xDC00 + (offset & 0x3FF))},
               2, endian);
  };
}

CSVWriter::ScalarWriter utf32Writer(platform::OutputStream* stream, Endian endian) {
  return [stream, endian](char32_t scalar) { writeUnits(*stream, std::array{std::uint32_t{scalar}}, 1, endian); };
}

}  // namespace

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, ScalarWriter writeScalar, std::string delimiter,
                     Newline newline)
    : stream_(std::move(stream)), configuration_(std::move(delimiter), newline), writeScalar_(std::move(writeScalar)) {
  if (!stream_) throw CSVError::cannotOpenFile();
  if (stream_->status() == platform::StreamStatus::notOpen) stream_->open();
  if (stream_->status() != platform::StreamStatus::open) {
    stream_.reset();  // released, not closed
    throw CSVError::cannotOpenFile();
  }
}

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, std::string delimiter, Newline newline)
    : CSVWriter(std::move(stream), UTF8{}, std::move(delimiter), newline) {}

// The scalar writers refer to the stream object, which the writer holds for its whole life.
CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF8, std::string delimiter, Newline newline)
    : CSVWriter(stream, utf8Writer(stream.get()), std::move(delimiter), newline) {}

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF16, Endian endian, std::string delimiter,
                     Newline newline)
    : CSVWriter(stream, utf16Writer(stream.get(), endian), std::move(delimiter), newline) {}

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, UTF32, Endian endian, std::string delimiter,
                     Newline newline)
    : CSVWriter(stream, utf32Writer(stream.get(), endian), std::move(delimiter), newline) {}

CSVWriter::~CSVWriter() {
  if (stream_ && stream_->status() == platform::StreamStatus::open) stream_->close();
}

void CSVWriter::writeText(std::u32string_view scalars) {
  for (char32_t scalar : scalars) writeScalar_(scalar);
}

void CSVWriter::writeField(std::string_view value, bool quoted) {
  if (isFirstRow_)
    isFirstRow_ = false;
  else if (isFirstField_)
    writeText(platform::toScalars(configuration_.newline));
  const std::u32string delimiter = platform::toScalars(configuration_.delimiter);
  if (isFirstField_)
    isFirstField_ = false;
  else
    writeText(delimiter);

  const std::u32string scalars = platform::toScalars(value);
  const bool needsQuotes = quoted || scalars.find(U'"') != std::u32string::npos ||
                           (!delimiter.empty() && scalars.find(delimiter) != std::u32string::npos) ||
                           scalars.find_first_of(U"\r\n") != std::u32string::npos;
  if (!needsQuotes) {
    writeText(scalars);
    return;
  }
  writeScalar_(U'"');
  for (char32_t scalar : scalars) {
    if (scalar == U'"') writeScalar_(U'"');
    writeScalar_(scalar);
  }
  writeScalar_(U'"');
}

}  // namespace CSV
