#include "decoder/ShadowDecoderSource.hpp"

#include <algorithm>

#include "platform/text/CanonicalText.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;
using Kind = CSVDecoder::Error;

CSVDecoderError noHeaders(const CodingPath& path, const CodingKey& key) {
  return CSVDecoderError(
      Kind::invalidConfiguration,
      "The provided coding key identifying a field cannot be matched to a header, since the configuration "
      "indicated the CSV has no headers.",
      "Make the key generate an integer value or provide header during configuration.",
      platform::UserInfo().add("Coding path", path).add("Key", key));
}

CSVDecoderError unmatchedHeader(const CodingPath& path, const CodingKey& key) {
  return CSVDecoderError(Kind::invalidConfiguration,
                         "The provided coding key identifying a field didn't match any CSV header.",
                         "Make the key generate an integer value or provide a matching header.",
                         platform::UserInfo().add("Coding path", path).add("Key", key));
}

CSVDecoderError duplicateHeaders() {
  return CSVDecoderError(Kind::invalidConfiguration, "The headers row contain two fields with the same value.",
                         "Headers row must contain different names/titles or each name/title must generate a "
                         "different integer value.");
}

CSVDecoderError rowNotInCache(std::int64_t row, std::int64_t field) {
  return CSVDecoderError(Kind::bufferFailure, "A previously decoded row hasn't been found in the cache.",
                         "Please contact the repo maintainer.",
                         platform::UserInfo().add("Row index", row).add("Field index", field));
}

CSVDecoderError rowDiscarded(std::int64_t row, std::int64_t field) {
  return CSVDecoderError(Kind::bufferFailure, "A previously decoded row has been discarded.",
                         "Change the decoder's buffering strategy and try again.",
                         platform::UserInfo().add("Row index", row).add("Field index", field));
}

CSVDecoderError rowOutOfBounds(std::int64_t rowCount, std::int64_t row) {
  return CSVDecoderError(Kind::invalidPath, "The requested row index is out of bounds.",
                         "Make sure the requested row is within the number of rows contained by the CSV file.",
                         platform::UserInfo().add("Row count", rowCount).add("Row index", row));
}

CSVDecoderError fieldOutOfBounds(std::int64_t row, std::int64_t field, std::size_t fieldCount) {
  return CSVDecoderError(Kind::invalidPath, "The provided field index is out of bounds.",
                         "Make sure the requested field is within the number of fields for the CSV file.",
                         platform::UserInfo()
                             .add("Row index", row)
                             .add("Field index", field)
                             .add("Field count", static_cast<std::int64_t>(fieldCount)));
}

}  // namespace

bool ShadowDecoderBuffer::read(CSVReader& reader, std::int64_t index, bool store) {
  if (strategy_ == Strategy::DecodingBuffer::keepAll) {
    // Every row is kept, so rows arrive in order and row k sits at k times the width.
    const std::size_t before = rows_.fieldCount();
    const std::size_t bytesBefore = rows_.byteSize();
    if (!reader.readRow(rows_)) return false;
    bytesRead_ += rows_.byteSize() - bytesBefore + rows_.fieldCount() - before;
    if (count_ == 0) {
      first_ = index;
      width_ = rows_.fieldCount() - before;
    }
    ++count_;
    return true;
  }
  spare_.clear();
  if (!reader.readRow(spare_)) return false;
  bytesRead_ += spare_.byteSize() + spare_.fieldCount();
  if (!store) return true;
  std::swap(rows_, spare_);
  first_ = index;
  count_ = 1;
  width_ = rows_.fieldCount();
  return true;
}

ShadowDecoderSource::ShadowDecoderSource(CSVReader reader, CSVDecoder::Configuration configuration,
                                         platform::coding::UserInfo userInfo, std::optional<std::uint64_t> inputBytes)
    : reader_(std::move(reader)),
      buffer_(configuration.bufferingStrategy),
      configuration_(std::move(configuration)),
      userInfo_(std::move(userInfo)),
      headers_(reader_.headers()),
      inputBytes_(inputBytes) {}

bool ShadowDecoderSource::isPastEnd(std::int64_t row) {
  for (std::int64_t next = rowsRead(); next <= row; ++next)
    if (!buffer_.read(reader_, next, true)) return true;
  return false;
}

bool ShadowDecoderSource::containsRow(std::int64_t row) noexcept {
  if (row < 0) return false;
  try {
    return !isPastEnd(row);
  } catch (...) {
    // The reader keeps its failure for the reads that report it.
    return false;
  }
}

std::optional<std::int64_t> ShadowDecoderSource::estimatedRowCount() const noexcept {
  const std::int64_t rows = rowsRead();
  if (reader_.status().kind() != CSVReader::Status::Kind::active) return rows;
  const std::uint64_t sampled = buffer_.bytesRead();
  if (!inputBytes_ || rows <= 0 || sampled == 0) return std::nullopt;
  // The bytes counted leave out the header row, quotes and line ends, which only raises the
  // guess; a sixteenth more still covers later rows a little shorter than the first ones.
  const double projected = static_cast<double>(rows) * static_cast<double>(*inputBytes_) /
                           static_cast<double>(sampled) * (1.0 + 1.0 / 16);
  // A guess from a few rows may be far off, so it never exceeds 1024 times the rows read.
  return static_cast<std::int64_t>(std::min(projected, static_cast<double>(rows) * 1024));
}

std::int64_t ShadowDecoderSource::expectedFieldCount() noexcept {
  if (reader_.count().rows > 0) return reader_.count().fields;
  try {
    if (!buffer_.read(reader_, 0, true)) return 0;
  } catch (...) {
    return 0;
  }
  return reader_.count().fields;
}

std::optional<std::int64_t> ShadowDecoderSource::resolvedName(std::string_view name) noexcept {
  const std::size_t size = resolved_.size();
  if (nextResolved_ < size && resolved_[nextResolved_].name == name) return resolved_[nextResolved_++].index;
  for (std::size_t i = 0; i < size; ++i)
    if (resolved_[i].name == name) {
      nextResolved_ = i + 1;
      return resolved_[i].index;
    }
  return std::nullopt;
}

std::int64_t ShadowDecoderSource::fieldIndexByName(const CodingKey& key, const CodingPath& path) {
  const std::string_view name = key.stringValue();
  if (const std::optional<std::int64_t> index = resolvedName(name)) return *index;
  if (!headerLookup_) {
    if (headers_.empty()) throw noHeaders(path, key);
    headerLookup_ = CSVReader::makeHeaderLookup(headers_, [] { return duplicateHeaders(); });
  }
  const std::optional<std::size_t> found = headerLookup_->find(name);
  if (!found) throw unmatchedHeader(path, key);
  const auto index = static_cast<std::int64_t>(*found);
  // A record type names a handful of fields; a caller inventing names per row must not grow this.
  if (resolved_.size() < 256) resolved_.push_back({std::string(name), index});
  return index;
}

bool ShadowDecoderSource::hasHeader(std::string_view name) {
  if (resolvedName(name)) return true;
  return std::any_of(headers_.begin(), headers_.end(),
                     [name](const std::string& header) { return platform::canonicallyEqual(header, name); });
}

void ShadowDecoderSource::readTo(std::int64_t row, bool storeAll) {
  for (std::int64_t next = rowsRead(); next <= row; ++next)
    if (!buffer_.read(reader_, next, storeAll || next == row)) throw rowOutOfBounds(rowsRead(), row);
}

ShadowDecoderBuffer::Row ShadowDecoderSource::rowKeepingAll(std::int64_t row, std::int64_t field) {
  if (row >= rowsRead()) readTo(row, true);
  std::optional<ShadowDecoderBuffer::Row> stored = buffer_.fetch(row);
  if (!stored) throw rowNotInCache(row, field);
  return *stored;
}

ShadowDecoderBuffer::Row ShadowDecoderSource::rowSequentially(std::int64_t row, std::int64_t field) {
  const std::int64_t last = rowsRead() - 1;
  if (row < last) throw rowDiscarded(row, field);
  if (row > last) {
    // The latest row goes before reading on, so a read that ends or fails first leaves none.
    buffer_.clear();
    readTo(row, false);
  }
  std::optional<ShadowDecoderBuffer::Row> stored = buffer_.fetch(row);
  if (!stored) throw rowDiscarded(row, field);
  return *stored;
}

std::string_view ShadowDecoderSource::fieldReadingForward(std::int64_t row, std::int64_t field) {
  if (row < 0) throw rowOutOfBounds(rowsRead(), row);
  const ShadowDecoderBuffer::Row stored =
      buffer_.strategy() == Strategy::DecodingBuffer::keepAll ? rowKeepingAll(row, field) : rowSequentially(row, field);
  if (field < 0 || static_cast<std::uint64_t>(field) >= stored.size) throw fieldOutOfBounds(row, field, stored.size);
  return stored[static_cast<std::size_t>(field)];
}

}  // namespace RecordCSV
