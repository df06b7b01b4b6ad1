#include "RecordCSV/CSVWriter.hpp"

#include <array>
#include <cstring>
#include <stdexcept>

#include "ByteBuffer.hpp"
#include "WriterEncoder.hpp"
#include "WriterErrors.hpp"
#include "platform/Unicode.hpp"

namespace RecordCSV {

std::vector<std::uint8_t> Strategy::bytes(BOM strategy, const platform::TextEncoding& encoding) {
  using Kind = platform::TextEncoding::Kind;
  if (strategy == BOM::never) return {};
  switch (encoding.kind()) {
    case Kind::utf16: return {0xFE, 0xFF};
    case Kind::utf32: return {0x00, 0x00, 0xFE, 0xFF};
    default: break;
  }
  if (strategy == BOM::convention) return {};
  switch (encoding.kind()) {
    case Kind::utf8: return {0xEF, 0xBB, 0xBF};
    case Kind::utf16BigEndian: return {0xFE, 0xFF};
    case Kind::utf16LittleEndian: return {0xFF, 0xFE};
    case Kind::utf32BigEndian: return {0x00, 0x00, 0xFE, 0xFF};
    case Kind::utf32LittleEndian: return {0xFF, 0xFE, 0x00, 0x00};
    default: return {};
  }
}

CSVWriter::Settings CSVWriter::Settings::make(const Configuration& configuration) {
  auto pair = Delimiter::Scalars::make(configuration.delimiters.field.scalars, configuration.delimiters.row.scalars);
  if (!pair) throw WriterErrors::invalidDelimiters();
  platform::TextEncoding encoding = configuration.encoding.value_or(platform::TextEncoding::utf8());
  if (!Encoder::kindFor(encoding)) throw WriterErrors::unsupportedEncoding(encoding);
  // The row set orders shorter delimiters first, then by scalar values.
  return Settings{{pair->field, *pair->row.begin()},
                  configuration.escapingStrategy.scalar(),
                  configuration.headers,
                  std::move(encoding)};
}

CSVWriter::CSVWriter() : CSVWriter(Configuration()) {}

CSVWriter::CSVWriter(Configuration configuration)
    : CSVWriter(std::move(configuration), [] { return platform::OutputStream::toMemory(); }, true) {}

CSVWriter::CSVWriter(const Configure& configure) : CSVWriter(configured(configure)) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append)
    : CSVWriter(fileURL, append, Configuration()) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append, Configuration configuration)
    : CSVWriter(
          std::move(configuration),
          [&] {
            auto stream = platform::OutputStream::toFile(fileURL, append);
            if (!stream) throw WriterErrors::streamNotCreated(fileURL);
            return stream;
          },
          !append) {}

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, Configuration configuration)
    : CSVWriter(std::move(configuration), [&] { return std::move(stream); }, true) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append, const Configure& configure)
    : CSVWriter(fileURL, append, configured(configure)) {}

CSVWriter::CSVWriter(Configuration configuration, const StreamMaker& makeStream, bool writesMark)
    : configuration_(std::move(configuration)),
      settings_(Settings::make(configuration_)),
      out_(std::make_unique<ByteBuffer>()) {
  stream_ = makeStream();
  if (!stream_) throw std::invalid_argument("a CSV writer needs an output stream");
  stream_->open();
  if (stream_->status() != platform::StreamStatus::open) throw WriterErrors::streamNotOpen(*stream_);
  if (writesMark) {
    const std::vector<std::uint8_t> mark = Strategy::bytes(configuration_.bomStrategy, settings_.encoding);
    std::size_t written = 0;
    writeFully(*stream_, mark.data(), mark.size(), nullptr, written);
  }
  encoder_ = std::make_unique<Encoder>(*Encoder::kindFor(settings_.encoding));
  buildPieces();
  if (!settings_.headers.empty()) {
    writeFields(settings_.headers);
    endRow();
    rowIndex_ = 0;
  }
}

CSVWriter::~CSVWriter() {
  try {
    endEncoding();
  } catch (...) {
    // Releasing a writer cannot report anything; endEncoding() is the way to learn of failures.
  }
}

CSVWriter::Configuration CSVWriter::configured(const Configure& configure) {
  Configuration configuration;
  if (configure) configure(configuration);
  return configuration;
}

void CSVWriter::buildPieces() {
  auto piece = [&](const std::u32string& scalars) {
    Piece result;
    ByteBuffer bytes;
    const std::size_t encoded = encoder_->encode(scalars.data(), scalars.size(), bytes);
    result.bytes.assign(bytes.data() ? bytes.data() : "", bytes.size());
    if (encoded < scalars.size()) result.failingScalar = scalars[encoded];
    return result;
  };
  utf8Output_ = encoder_->kind() == Encoder::Kind::utf8;
  fieldDelimiter_ = piece(settings_.delimiters.field);
  rowDelimiter_ = piece(settings_.delimiters.row);

  // Bytes that may start an escaping scalar or a delimiter send a UTF-8 field down the slow path.
  byteClass_.fill(ByteClass::plain);
  for (std::size_t byte = 0x80; byte < 0x100; ++byte) byteClass_[byte] = ByteClass::multiByte;
  if (settings_.escapingScalar) platform::appendUTF8(escapingUTF8_, *settings_.escapingScalar);
  fieldDelimiterUTF8_ = platform::toUTF8(settings_.delimiters.field);
  rowDelimiterUTF8_ = platform::toUTF8(settings_.delimiters.row);
  for (const std::string* text : {&escapingUTF8_, &fieldDelimiterUTF8_, &rowDelimiterUTF8_}) {
    if (text->empty()) continue;
    const auto first = static_cast<unsigned char>(text->front());
    byteClass_[first] = ByteClass::special;
    if (first < 0x80) specialWords_[specialWordCount_++] = 0x0101010101010101 * first;
  }
}

void CSVWriter::throwFieldOverflow() const { throw WriterErrors::fieldOverflow(expectedFields_); }

namespace {

bool startsWith(const unsigned char* bytes, std::size_t available, const std::string& prefix) {
  return !prefix.empty() && available >= prefix.size() && std::memcmp(bytes, prefix.data(), prefix.size()) == 0;
}

}  // namespace

std::size_t CSVWriter::appendPlainUTF8(std::string_view field) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(field.data());
  const std::size_t count = field.size();
  // Copying and checking go together: every word is stored, but only the checked bytes are kept.
  char* out = out_->room(count);
  std::size_t i = 0;
  // Eight bytes at a time (the last word overlapping the one before) while none is special or
  // beyond ASCII, which is most text; the byte loop below takes over from the first word that is not.
  constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
  auto anyToLookAt = [&](std::uint64_t word) {
    std::uint64_t hits = word & highs;
    for (std::size_t k = 0; k < specialWordCount_; ++k) {
      const std::uint64_t differences = word ^ specialWords_[k];
      hits |= (differences - ones) & ~differences & highs;
    }
    return hits != 0;
  };
  if (count >= 8) {
    std::uint64_t word;
    for (; i + 8 <= count; i += 8) {
      std::memcpy(&word, bytes + i, 8);
      std::memcpy(out + i, &word, 8);
      if (anyToLookAt(word)) break;
    }
    if (i + 8 > count && i < count) {
      std::memcpy(&word, bytes + count - 8, 8);
      std::memcpy(out + count - 8, &word, 8);
      if (!anyToLookAt(word)) i = count;
    }
  } else if (count >= 4) {
    std::uint32_t low, high;
    std::memcpy(&low, bytes, 4);
    std::memcpy(&high, bytes + count - 4, 4);
    std::memcpy(out, &low, 4);
    std::memcpy(out + count - 4, &high, 4);
    if (!anyToLookAt(low | std::uint64_t{high} << 32)) i = count;
  }
  while (i < count) {
    const ByteClass byteClass = byteClass_[bytes[i]];
    if (byteClass == ByteClass::plain) {
      out[i] = static_cast<char>(bytes[i]);
      ++i;
      continue;
    }
    if (byteClass == ByteClass::special) break;
    const std::size_t length = platform::wellFormedUTF8Length(bytes + i, count - i);
    if (length == 0) break;
    std::memcpy(out + i, bytes + i, length);
    i += length;
  }
  out_->commit(i);
  return i;
}

CSVWriter::FieldText CSVWriter::appendUTF8Field(std::string_view field, std::size_t plainLength) {
  const std::size_t start = out_->size() - plainLength;
  const auto* bytes = reinterpret_cast<const unsigned char*>(field.data());
  const std::size_t count = field.size();
  const bool escapes = settings_.escapingScalar.has_value();
  bool marked = false;
  std::size_t i = plainLength;
  while (i < count) {
    // Runs of plain ASCII are the common case and go out in one copy.
    std::size_t run = i;
    while (run < count && byteClass_[bytes[run]] == ByteClass::plain) ++run;
    out_->append(field.data() + i, run - i);
    i = run;
    if (i == count) break;
    const std::size_t available = count - i;
    if (byteClass_[bytes[i]] == ByteClass::special) {
      if (escapes && startsWith(bytes + i, available, escapingUTF8_)) {
        out_->append(escapingUTF8_);
        out_->append(escapingUTF8_);
        i += escapingUTF8_.size();
        marked = true;
        continue;
      }
      const std::string* delimiter = startsWith(bytes + i, available, fieldDelimiterUTF8_) ? &fieldDelimiterUTF8_
                                     : startsWith(bytes + i, available, rowDelimiterUTF8_) ? &rowDelimiterUTF8_
                                                                                           : nullptr;
      if (delimiter) {
        if (!escapes) {
          out_->truncate(start);
          return FieldText::invalid;
        }
        out_->append(*delimiter);
        i += delimiter->size();
        marked = true;
        continue;
      }
    }
    const std::size_t length = bytes[i] < 0x80 ? 1 : platform::wellFormedUTF8Length(bytes + i, available);
    if (length == 0) {
      out_->truncate(start);
      return FieldText::illFormed;
    }
    out_->append(field.data() + i, length);
    i += length;
  }
  if (marked) {
    out_->insert(start, escapingUTF8_);
    out_->append(escapingUTF8_);
  }
  return FieldText::written;
}

CSVWriter::FieldText CSVWriter::appendScalarField(std::string_view field, std::optional<char32_t>& failingScalar) {
  scalars_.clear();
  platform::appendScalars(field, scalars_);
  escaped_.clear();
  escaped_.reserve(scalars_.size() + 3);
  const std::u32string_view text = scalars_;
  const std::u32string_view delimiters[] = {settings_.delimiters.field, settings_.delimiters.row};
  const std::optional<char32_t> escaping = settings_.escapingScalar;
  bool marked = false;
  for (std::size_t i = 0; i < text.size();) {
    if (escaping && text[i] == *escaping) {
      escaped_.append(2, *escaping);
      marked = true;
      ++i;
      continue;
    }
    bool matched = false;
    for (std::u32string_view delimiter : delimiters) {
      if (text[i] == delimiter[0] && text.substr(i, delimiter.size()) == delimiter) {
        if (!escaping) return FieldText::invalid;
        escaped_.append(delimiter);
        i += delimiter.size();
        marked = matched = true;
        break;
      }
    }
    if (!matched) escaped_.push_back(text[i++]);
  }
  if (marked) {
    escaped_.insert(escaped_.begin(), *escaping);
    escaped_.push_back(*escaping);
  }
  const std::size_t encoded = encoder_->encode(escaped_.data(), escaped_.size(), *out_);
  if (encoded < escaped_.size()) failingScalar = escaped_[encoded];
  return FieldText::written;
}

void CSVWriter::beginBatch() {
  out_->clear();
  checkpoints_.clear();
  batchFieldIndex_ = fieldIndex_;
  batchRowIndex_ = rowIndex_;
  batchExpectedFields_ = expectedFields_;
}

void CSVWriter::commit(std::size_t written) {
  for (const Checkpoint& checkpoint : checkpoints_) {
    if (checkpoint.end > written) break;
    switch (checkpoint.effect) {
      case Effect::field: ++fieldIndex_; break;
      case Effect::fixCount:
        if (expectedFields_ == 0) expectedFields_ = fieldIndex_;
        break;
      case Effect::row:
        ++rowIndex_;
        fieldIndex_ = 0;
        break;
    }
  }
  checkpoints_.clear();
  out_->clear();
}

void CSVWriter::flushBatch() {
  std::size_t written = 0;
  try {
    writeFully(*stream_, reinterpret_cast<const std::uint8_t*>(out_->data()), out_->size(), encoder_.get(), written);
  } catch (...) {
    commit(written);
    throw;
  }
  // Everything went out: the counters take the values the batch reached.
  fieldIndex_ = batchFieldIndex_;
  rowIndex_ = batchRowIndex_;
  expectedFields_ = batchExpectedFields_;
  checkpoints_.clear();
  out_->clear();
}

void CSVWriter::failBatch(const CSVWriterError& error) {
  flushBatch();
  throw error;
}

void CSVWriter::appendPiece(const Piece& piece) {
  if (piece.bytes.size() == 1 && !piece.failingScalar) {
    out_->push_back(piece.bytes.front());
    return;
  }
  out_->append(piece.bytes);
  if (piece.failingScalar) failBatch(encoder_->failure(*piece.failingScalar));
}

void CSVWriter::appendField(std::string_view field) {
  if (batchFieldIndex_ > 0) appendPiece(fieldDelimiter_);
  if (!field.empty()) {
    const bool utf8 = utf8Output_;
    std::optional<char32_t> failingScalar;
    FieldText result = FieldText::illFormed;
    if (utf8) {
      const std::size_t plainLength = appendPlainUTF8(field);
      result = plainLength == field.size() ? FieldText::written : appendUTF8Field(field, plainLength);
    }
    if (result == FieldText::illFormed) result = appendScalarField(field, failingScalar);
    if (result == FieldText::invalid) failBatch(WriterErrors::delimiterWithoutEscaping(std::string(field)));
    if (failingScalar) failBatch(encoder_->failure(*failingScalar));
  }
  checkpoints_.push_back({out_->size(), Effect::field});
  ++batchFieldIndex_;
}

void CSVWriter::appendRowEnd() {
  if (batchFieldIndex_ == 0) {
    appendEmptyRow();
    return;
  }
  // The first completed row fixes the count, once its fields are out.
  const std::int64_t expected = expectedFields_ > 0 ? expectedFields_ : batchFieldIndex_;
  checkpoints_.push_back({out_->size(), Effect::fixCount});
  batchExpectedFields_ = expected;
  for (; batchFieldIndex_ < expected; ++batchFieldIndex_) {
    appendPiece(fieldDelimiter_);
    checkpoints_.push_back({out_->size(), Effect::field});
  }
  appendPiece(rowDelimiter_);
  checkpoints_.push_back({out_->size(), Effect::row});
  batchFieldIndex_ = 0;
  ++batchRowIndex_;
}

void CSVWriter::appendEmptyRow() {
  if (expectedFields_ == 0) failBatch(WriterErrors::emptyRowWithoutFieldCount());
  for (std::int64_t i = 1; i < expectedFields_; ++i) appendPiece(fieldDelimiter_);
  appendPiece(rowDelimiter_);
  checkpoints_.push_back({out_->size(), Effect::row});
  batchFieldIndex_ = 0;
  ++batchRowIndex_;
}

void CSVWriter::writeField(std::string_view field) {
  requireRoom(1);
  beginBatch();
  appendField(field);
  flushBatch();
}

void CSVWriter::endRow() {
  beginBatch();
  appendRowEnd();
  flushBatch();
}

void CSVWriter::writeEmptyRow() {
  beginBatch();
  appendEmptyRow();
  flushBatch();
}

void CSVWriter::endEncoding() {
  if (ended_) return;
  if (fieldIndex_ > 0) endRow();
  ended_ = true;
  stream_->close();
  // A buffered file hands over its last bytes only now; losing them is a failure, not success.
  if (stream_->status() == platform::StreamStatus::error) throw WriterErrors::writeFailed(*stream_);
}

platform::Data CSVWriter::data() const {
  if (stream_->status() != platform::StreamStatus::closed) throw WriterErrors::memoryStreamOpen(*stream_);
  std::optional<platform::Data> bytes = stream_->dataWrittenToMemory();
  if (!bytes) throw WriterErrors::noMemoryData(*stream_);
  return std::move(*bytes);
}

}  // namespace RecordCSV
