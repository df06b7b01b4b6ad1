#pragma once
// The state of one encoding: the writer, the configuration and user information, the
// header lookup and the buffer of fields that arrived before the writer could take them.
// Every field text reaches the writer through `fieldValue`, when the buffering strategy
// says. Releasing the sink completes the encoding and ignores any failure.

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVEncoder.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "encoder/ShadowEncoderBuffer.hpp"
#include "platform/coding/CodingKey.hpp"

namespace RecordCSV {

class ShadowEncoderSink {
 public:
  /// A gap wider than this many empty rows, or empty fields in a row of open width, is refused.
  static constexpr std::int64_t paddingLimit = std::int64_t{1} << 20;
  /// Names remembered for their order; beyond these, names are looked up by hash each time.
  static constexpr std::size_t maximumResolvedNames = 256;

  ShadowEncoderSink(std::unique_ptr<CSVWriter> writer, CSVEncoder::Configuration configuration,
                    platform::coding::UserInfo userInfo);
  ~ShadowEncoderSink();
  ShadowEncoderSink(const ShadowEncoderSink&) = delete;
  ShadowEncoderSink& operator=(const ShadowEncoderSink&) = delete;

  const CSVEncoder::Configuration& configuration() const noexcept { return configuration_; }
  const platform::coding::UserInfo& userInfo() const noexcept { return userInfo_; }
  const CSVWriter& writer() const noexcept { return *writer_; }
  /// The buffering strategy in effect: `assembled` without headers runs as `keepAll`.
  Strategy::EncodingBuffer strategy() const noexcept { return strategy_; }
  std::int64_t bufferedRowCount() const { return buffer_.rowCount(); }
  std::int64_t bufferedFieldCount(std::int64_t row) const { return buffer_.fieldCount(row); }

  /// The field a key names: its integer, else the position of the header with its text.
  std::int64_t fieldIndex(const platform::coding::CodingKey& key, const platform::coding::CodingPath& codingPath) {
    // Flag and value are read apart: a whole-optional copy of a key just built stalls on its stores.
    if (key.intValue().has_value()) return *key.intValue();
    if (nextName_ < resolvedNames_.size() && sameText(resolvedNames_[nextName_].text, key.stringValue())) {
      const std::int64_t index = resolvedNames_[nextName_].index;
      if (++nextName_ == resolvedNames_.size()) nextName_ = 0;
      return index;
    }
    return lookUpName(key, codingPath);
  }
  /// Hands over the text of the field at (row, field).
  void fieldValue(std::string_view text, std::int64_t row, std::int64_t field) {
    // The usual case, a field at the writer's position with nothing waiting, goes straight out.
    if (strategy_ != Strategy::EncodingBuffer::keepAll && row == writer_->rowIndex() &&
        field == writer_->fieldIndex() && buffer_.empty()) {
      writer_->writeField(text);
      if (strategy_ == Strategy::EncodingBuffer::assembled && writer_->fieldIndex() >= writer_->expectedFields())
        writer_->endRow();
      return;
    }
    placeField(text, row, field);
  }
  /// Writes what the buffer still holds, in row and field order, and ends the writer. Once
  /// it has succeeded, later calls write nothing.
  void completeEncoding();

 private:
  using Position = ShadowEncoderBuffer::Position;
  /// Equal texts; a short one is compared in two overlapping words, without a library call.
  static bool sameText(std::string_view left, std::string_view right) noexcept {
    const std::size_t size = left.size();
    if (size != right.size()) return false;
    const auto words = [&]<typename Word>(Word) {
      Word a[2];
      Word b[2];
      std::memcpy(&a[0], left.data(), sizeof(Word));
      std::memcpy(&a[1], left.data() + size - sizeof(Word), sizeof(Word));
      std::memcpy(&b[0], right.data(), sizeof(Word));
      std::memcpy(&b[1], right.data() + size - sizeof(Word), sizeof(Word));
      return ((a[0] ^ b[0]) | (a[1] ^ b[1])) == 0;
    };
    if (size >= 8 && size <= 16) return words(std::uint64_t{});
    if (size >= 4 && size < 8) return words(std::uint32_t{});
    return left == right;
  }
  /// A name not asked for next: looked up by hash and remembered.
  std::int64_t lookUpName(const platform::coding::CodingKey& key, const platform::coding::CodingPath& codingPath);
  /// Any field the writer cannot take at once.
  void placeField(std::string_view text, std::int64_t row, std::int64_t field);
  /// Refuses negative positions and gaps wider than the padding limit, before anything changes.
  void checkPosition(std::string_view text, Position position) const;
  void assembled(std::string_view text, Position position);
  void sequential(std::string_view text, Position position);
  /// Writes `text` at `field` of the writer's row, after empty fields up to it.
  void writePadded(std::int64_t field, std::string_view text);
  bool isBeforeWriter(Position position) const {
    return position < Position{writer_->rowIndex(), writer_->fieldIndex()};
  }

  std::unique_ptr<CSVWriter> writer_;
  CSVEncoder::Configuration configuration_;
  platform::coding::UserInfo userInfo_;
  Strategy::EncodingBuffer strategy_;
  ShadowEncoderBuffer buffer_;
  std::optional<CSVReader::HeaderLookup> headerLookup_;
  // Names already resolved, in the order they were first asked for. Records ask for the same
  // names in the same order row after row, so the name after the last one asked is tried first.
  struct ResolvedName {
    std::string text;
    std::int64_t index;
  };
  std::vector<ResolvedName> resolvedNames_;
  std::size_t nextName_ = 0;
};

}  // namespace RecordCSV
