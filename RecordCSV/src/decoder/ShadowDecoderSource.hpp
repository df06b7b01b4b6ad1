#pragma once
// What every decoder and container of one decoding call shares: the reader, the rows read
// so far, the call's configuration and user information, and the header names. Rows are
// read only as far as the deepest row asked for. Field texts are views into the row
// buffer, valid until the source reads again.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVDecoder.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "platform/coding/CodingKey.hpp"

namespace RecordCSV {

/// The rows the source keeps, in one field arena: every row under `keepAll`, only the
/// latest one stored under `sequential` (a row below it is refused anyway).
class ShadowDecoderBuffer {
 public:
  /// One stored row's fields.
  struct Row {
    const FieldTable* table;
    std::size_t first;
    std::size_t size;
    std::string_view operator[](std::size_t field) const noexcept { return table->field(first + field); }
  };

  explicit ShadowDecoderBuffer(Strategy::DecodingBuffer strategy) : strategy_(strategy) {}

  Strategy::DecodingBuffer strategy() const noexcept { return strategy_; }
  /// The text of a stored field, if the row is stored and has the field.
  std::optional<std::string_view> storedField(std::int64_t row, std::int64_t field) const noexcept {
    if (row < first_ || row - first_ >= count_ || field < 0 || static_cast<std::uint64_t>(field) >= width_)
      return std::nullopt;
    return rows_.field(static_cast<std::size_t>(row - first_) * width_ + static_cast<std::size_t>(field));
  }
  /// The row stored under `index`, if any.
  std::optional<Row> fetch(std::int64_t index) const noexcept {
    if (index < first_ || index - first_ >= count_) return std::nullopt;
    return Row{&rows_, static_cast<std::size_t>(index - first_) * width_, width_};
  }
  /// The text bytes of every row read so far, stored or not, with one more per field for its delimiter.
  std::uint64_t bytesRead() const noexcept { return bytesRead_; }
  /// Lets every stored row go; for `sequential` only, as `keepAll` keeps every row from the first.
  void clear() noexcept { count_ = 0; }
  /// Reads the reader's next row as row `index` (the index the reader's count gives it); `store`
  /// false reads past it without keeping it. False at the end; the reader's failures pass through.
  bool read(CSVReader& reader, std::int64_t index, bool store);

 private:
  Strategy::DecodingBuffer strategy_;
  FieldTable rows_;
  FieldTable spare_;  // where `sequential` reads, so that the stored row survives the end of the input
  std::int64_t first_ = 0;
  std::int64_t count_ = 0;
  std::size_t width_ = 0;
  std::uint64_t bytesRead_ = 0;
};

/// Byte equality without a library call for the short texts that name fields: two overlapping
/// loads of 4 or 8 bytes cover any text of 4 to 16 bytes.
inline bool sameText(std::string_view left, std::string_view right) noexcept {
  const std::size_t size = left.size();
  if (size != right.size()) return false;
  const auto same = [&](auto word) {
    const std::size_t last = size - sizeof word;
    decltype(word) a[2];
    decltype(word) b[2];
    std::memcpy(&a[0], left.data(), sizeof word);
    std::memcpy(&a[1], left.data() + last, sizeof word);
    std::memcpy(&b[0], right.data(), sizeof word);
    std::memcpy(&b[1], right.data() + last, sizeof word);
    return a[0] == b[0] && a[1] == b[1];
  };
  if (size >= 8 && size <= 16) return same(std::uint64_t{});
  if (size >= 4 && size < 8) return same(std::uint32_t{});
  return left == right;
}

class ShadowDecoderSource {
 public:
  /// `inputBytes`: the size of the input, when known before reading.
  ShadowDecoderSource(CSVReader reader, CSVDecoder::Configuration configuration, platform::coding::UserInfo userInfo,
                      std::optional<std::uint64_t> inputBytes = std::nullopt);

  const CSVDecoder::Configuration& configuration() const noexcept { return configuration_; }
  const platform::coding::UserInfo& userInfo() const noexcept { return userInfo_; }
  const std::vector<std::string>& headers() const noexcept { return headers_; }
  const CSVReader& reader() const noexcept { return reader_; }
  /// Data rows read so far, which is also the index of the next row the reader gives.
  std::int64_t rowsRead() const noexcept { return reader_.rowIndex(); }

  /// Whether the input has no row `row`, reading forward as far as it.
  bool isPastEnd(std::int64_t row);
  /// Whether the input has row `row`; a read that fails answers false.
  bool containsRow(std::int64_t row) noexcept;
  /// A guess at the number of rows from the input's size and the bytes per row read so far;
  /// nothing before the first row or without the size. It reads nothing.
  std::optional<std::int64_t> estimatedRowCount() const noexcept;
  /// The number of fields per row, reading the first row if none was read; 0 without one.
  std::int64_t expectedFieldCount() noexcept;

  /// The column of a key: its integer, else the header it names. `path` goes into the errors.
  std::int64_t fieldIndex(const platform::coding::CodingKey& key, const platform::coding::CodingPath& path) {
    // A record type asks for the same names in the same order on every row. The name is compared
    // before the integer is read: a key just made is read back at once less quickly.
    if (nextResolved_ == resolved_.size()) nextResolved_ = 0;
    if (nextResolved_ < resolved_.size() && sameText(resolved_[nextResolved_].name, key.stringValue()) &&
        !key.intValue().has_value())
      return resolved_[nextResolved_++].index;
    if (const std::optional<std::int64_t> index = key.intValue()) return *index;
    return fieldIndexByName(key, path);
  }
  /// Whether a name stands among the headers, compared as canonically equivalent texts.
  bool hasHeader(std::string_view name);

  /// The text of field `field` of row `row`, reading forward as needed; a view valid until the next read.
  std::string_view field(std::int64_t row, std::int64_t field) {
    // Rows already read are answered at once: every one under `keepAll`, the latest under `sequential`.
    const std::int64_t read = rowsRead();
    if (row < read && (row == read - 1 || buffer_.strategy() == Strategy::DecodingBuffer::keepAll))
      if (const std::optional<std::string_view> text = buffer_.storedField(row, field)) return *text;
    return fieldReadingForward(row, field);
  }

 private:
  std::string_view fieldReadingForward(std::int64_t row, std::int64_t field);
  ShadowDecoderBuffer::Row rowKeepingAll(std::int64_t row, std::int64_t field);
  ShadowDecoderBuffer::Row rowSequentially(std::int64_t row, std::int64_t field);
  /// Reads forward to row `row`, storing the rows on the way when `storeAll`; throws the
  /// out-of-bounds error when the input ends first.
  void readTo(std::int64_t row, bool storeAll);
  std::optional<std::int64_t> resolvedName(std::string_view name) noexcept;
  std::int64_t fieldIndexByName(const platform::coding::CodingKey& key, const platform::coding::CodingPath& path);

  CSVReader reader_;
  ShadowDecoderBuffer buffer_;
  CSVDecoder::Configuration configuration_;
  platform::coding::UserInfo userInfo_;
  std::vector<std::string> headers_;
  std::optional<std::uint64_t> inputBytes_;
  std::optional<CSVReader::HeaderLookup> headerLookup_;
  // Names already looked up; the next one asked for is usually the one after the last hit.
  struct Resolved {
    std::string name;
    std::int64_t index;
  };
  std::vector<Resolved> resolved_;
  std::size_t nextResolved_ = 0;
};

}  // namespace RecordCSV
