#include "encoder/ShadowEncoderSink.hpp"

#include <algorithm>
#include <string>

namespace RecordCSV {
namespace {

using Failure = CSVEncoder::Error;

// The failures are thrown out of line, so that the paths every field takes stay small.

[[noreturn, gnu::cold, gnu::noinline]] void throwNoHeaders(const platform::coding::CodingPath& path,
                                                            const platform::coding::CodingKey& key) {
  throw CSVEncoderError(Failure::invalidConfiguration,
                         "The provided coding key identifying a field cannot be matched to a header, since the CSV "
                         "file has no headers.",
                         "Make the key generate an integer value or provide header during configuration.",
                         platform::UserInfo().add("Coding path", path).add("Key", key));
}

[[noreturn, gnu::cold, gnu::noinline]] void throwUnmatchedKey(const platform::coding::CodingPath& path,
                                                               const platform::coding::CodingKey& key) {
  throw CSVEncoderError(Failure::invalidConfiguration,
                         "The provided coding key identifying a field didn't match any CSV header.",
                         "Make the key generate an integer value or provide a matching header.",
                         platform::UserInfo().add("Coding path", path).add("Key", key));
}

[[noreturn, gnu::cold, gnu::noinline]] void throwRewrite(std::int64_t row, std::int64_t field,
                                                          std::string_view text) {
  throw CSVEncoderError(
      Failure::invalidPath, "The provided coding path matched a previously written field.",
      "An already written CSV row cannot be rewritten. Be mindful on the encoding order.",
      platform::UserInfo().add("Row index", row).add("Field index", field).add("Value", std::string(text)));
}

[[noreturn, gnu::cold, gnu::noinline]] void throwPadding(std::int64_t row, std::int64_t field) {
  throw CSVEncoderError(
      Failure::invalidPath,
      "The provided coding path is too far away from the previously encoded fields. Filling the gap would require "
      "more than 1048576 empty rows or fields.",
      "Encode rows and fields close to the ones already encoded.",
      platform::UserInfo().add("Row index", row).add("Field index", field));
}

[[noreturn, gnu::cold, gnu::noinline]] void throwBufferFailure() {
  throw CSVEncoderError(Failure::bufferFailure,
                         "The encoding operation finished, but there were still values in the encoding buffer.",
                         "This should never happen, please contact the repo maintainer sending data with a way to "
                         "replicate this error.");
}

Strategy::EncodingBuffer strategyInEffect(const CSVEncoder::Configuration& configuration) {
  // Assembling rows needs their width in advance, which only headers give.
  if (configuration.bufferingStrategy == Strategy::EncodingBuffer::assembled &&
      configuration.writerConfiguration.headers.empty())
    return Strategy::EncodingBuffer::keepAll;
  return configuration.bufferingStrategy;
}

std::size_t reservedRows(Strategy::EncodingBuffer strategy) {
  switch (strategy) {
    case Strategy::EncodingBuffer::keepAll: return 128;
    case Strategy::EncodingBuffer::assembled: return 16;
    case Strategy::EncodingBuffer::sequential: return 2;
  }
  return 2;
}

}  // namespace

ShadowEncoderSink::ShadowEncoderSink(std::unique_ptr<CSVWriter> writer, CSVEncoder::Configuration configuration,
                                     platform::coding::UserInfo userInfo)
    : writer_(std::move(writer)),
      configuration_(std::move(configuration)),
      userInfo_(std::move(userInfo)),
      strategy_(strategyInEffect(configuration_)),
      buffer_(writer_->expectedFields() >= 1 ? writer_->expectedFields() : 8, reservedRows(strategy_)) {}

ShadowEncoderSink::~ShadowEncoderSink() {
  try {
    completeEncoding();
  } catch (...) {
    // A released sink has no one to report to.
  }
}

std::int64_t ShadowEncoderSink::lookUpName(const platform::coding::CodingKey& key,
                                           const platform::coding::CodingPath& codingPath) {
  const std::string_view name = key.stringValue();
  if (!headerLookup_) {
    const std::vector<std::string>& headers = configuration_.writerConfiguration.headers;
    if (headers.empty()) throwNoHeaders(codingPath, key);
    headerLookup_ = CSVEncoder::makeHeaderLookup(headers);
  }
  const std::optional<std::size_t> found = headerLookup_->find(name);
  if (!found) throwUnmatchedKey(codingPath, key);
  const auto index = static_cast<std::int64_t>(*found);
  const auto known = std::find_if(resolvedNames_.begin(), resolvedNames_.end(),
                                  [name](const ResolvedName& resolved) { return resolved.text == name; });
  if (known != resolvedNames_.end()) {
    nextName_ = static_cast<std::size_t>(known - resolvedNames_.begin()) + 1;
  } else if (resolvedNames_.size() < maximumResolvedNames) {
    resolvedNames_.push_back({std::string(name), index});
    nextName_ = resolvedNames_.size();
  }
  if (nextName_ == resolvedNames_.size()) nextName_ = 0;
  return index;
}

void ShadowEncoderSink::checkPosition(std::string_view text, Position position) const {
  if (position.row < 0 || position.field < 0) throwRewrite(position.row, position.field, text);
  // The highest row written (the writer's current one once it holds a field) or stored.
  std::int64_t highestRow = writer_->rowIndex() - (writer_->fieldIndex() > 0 ? 0 : 1);
  if (const std::optional<std::int64_t> stored = buffer_.highestRow()) highestRow = std::max(highestRow, *stored);
  // Measured from one past the highest (at least -1), so that a key near the integer limit cannot overflow.
  if (position.row > highestRow && position.row - (highestRow + 1) > paddingLimit)
    throwPadding(position.row, position.field);
  // A fixed width stops padding at the writer; an open one does not.
  if (writer_->expectedFields() > 0) return;
  std::int64_t highestField = position.row == writer_->rowIndex() ? writer_->fieldIndex() - 1 : -1;
  if (const std::optional<std::int64_t> stored = buffer_.highestField(position.row))
    highestField = std::max(highestField, *stored);
  if (position.field > highestField && position.field - (highestField + 1) > paddingLimit)
    throwPadding(position.row, position.field);
}

void ShadowEncoderSink::placeField(std::string_view text, std::int64_t row, std::int64_t field) {
  const Position position{row, field};
  // A field at the writer's position, first in the row after it, or right after the last one
  // stored needs no padding.
  const std::int64_t writerRow = writer_->rowIndex();
  if ((row != writerRow || field != writer_->fieldIndex()) && (field != 0 || row != writerRow + 1) &&
      !buffer_.follows(position))
    checkPosition(text, position);
  switch (strategy_) {
    case Strategy::EncodingBuffer::keepAll: return buffer_.store(text, position);
    case Strategy::EncodingBuffer::assembled: return assembled(text, position);
    case Strategy::EncodingBuffer::sequential: return sequential(text, position);
  }
}

void ShadowEncoderSink::assembled(std::string_view text, Position position) {
  if (isBeforeWriter(position)) throwRewrite(position.row, position.field, text);
  if (position != Position{writer_->rowIndex(), writer_->fieldIndex()}) return buffer_.store(text, position);
  writer_->writeField(text);
  // Fields that waited for this one follow it, row after row.
  for (;;) {
    if (writer_->fieldIndex() >= writer_->expectedFields()) {
      writer_->endRow();
      continue;
    }
    if (buffer_.empty()) return;
    const std::optional<std::string> next = buffer_.take({writer_->rowIndex(), writer_->fieldIndex()});
    if (!next) return;
    writer_->writeField(*next);
  }
}

void ShadowEncoderSink::sequential(std::string_view text, Position position) {
  if (position.row < writer_->rowIndex()) throwRewrite(position.row, position.field, text);
  if (position.row > writer_->rowIndex()) {
    if (!buffer_.empty()) {
      const std::vector<ShadowEncoderBuffer::Field> waiting = buffer_.takeRow(writer_->rowIndex());
      if (!waiting.empty()) {
        for (const auto& [field, waitingText] : waiting) writePadded(field, waitingText);
        writer_->endRow();
      }
    }
    while (writer_->rowIndex() < position.row) writer_->endRow();
  }
  if (position.field < writer_->fieldIndex()) throwRewrite(position.row, position.field, text);
  if (position.field > writer_->fieldIndex()) return buffer_.store(text, position);
  // A text that waited for this position is older than this one, which wins.
  if (!buffer_.empty()) buffer_.remove(position);
  writer_->writeField(text);
}

void ShadowEncoderSink::writePadded(std::int64_t field, std::string_view text) {
  while (writer_->fieldIndex() < field) writer_->writeField({});
  writer_->writeField(text);
}

void ShadowEncoderSink::completeEncoding() {
  ShadowEncoderBuffer::Drained rows = buffer_.drain();
  // Buffered rows may follow an unfinished row of the writer, which is ended first; only a
  // position the writer has passed cannot be written.
  if (const std::optional<Position> lowest = rows.peek(); lowest && isBeforeWriter(*lowest)) throwBufferFailure();
  // Each row goes to the writer whole, its gaps filled with empty fields.
  std::vector<std::string_view> fields;
  Position position;
  std::string_view text;
  std::optional<std::int64_t> row;
  while (rows.next(position, text)) {
    if (position.row != row) {
      if (row) writer_->writeRow(fields);
      fields.clear();
      while (writer_->rowIndex() < position.row) writer_->endRow();
      row = position.row;
    }
    if (const std::int64_t filled = writer_->fieldIndex() + static_cast<std::int64_t>(fields.size());
        filled < position.field) {
      // Padding stops at a fixed width, where the writer refuses the row, however far the field lies.
      const std::int64_t width = writer_->expectedFields();
      const std::int64_t end = width > 0 ? std::clamp(width, filled, position.field) : position.field;
      fields.resize(fields.size() + static_cast<std::size_t>(end - filled));
    }
    fields.push_back(text);
  }
  if (row) writer_->writeRow(fields);
  writer_->endEncoding();
}

}  // namespace RecordCSV
