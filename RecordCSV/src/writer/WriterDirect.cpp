// UTF-8 output with a one-byte field delimiter: fields that need no escaping, or escaping byte
// by byte, are formatted in one pass, and whole rows go straight into the stream's own buffer
// when it offers room, so that the bytes are copied once and the counters move once per row.
// Rows in UTF-16 and UTF-32 are formatted the same way, then widened into that buffer.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/core/Unicode.hpp"
#include "writer/ByteBuffer.hpp"
#include "writer/WriterEncoder.hpp"
#include "writer/WriterErrors.hpp"
#include "writer/WriterScan.hpp"

namespace RecordCSV {

void CSVWriter::buildShortFields() {
  const std::string& row = rowDelimiterUTF8_;
  shortFields_ = std::make_unique<scan16::ShortFields>(
      stopWords_, scan16::ShortDialect{!nonASCIIStops_, plainEscaping_, plainEscaping_ ? escapingUTF8_[0] : '\0',
                                       fieldDelimiterUTF8_[0], row.front(), row.back(), row.size() == 2,
                                       !prefixesUTF8_.empty()});
}

[[gnu::always_inline]] inline char* CSVWriter::formatPlainField(std::string_view field, char* out,
                                                                 const scan16::ShortFields& fields) const {
  if (fields.endsMatter() && endsWithDelimiterStart(field)) return nullptr;
  if (field.size() <= 16) {
    if (char* end = fields.format(field.data(), field.size(), out)) return end;
  } else if (field.size() <= 32) {
    if (char* end = fields.formatPair(field.data(), field.size(), out)) return end;
  }
  return formatStoppedField(field, out, fields.stops());
}

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
namespace {

bool isWellFormedUTF8(const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count;) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    // Two-byte sequences, Latin letters with accents, are most of what is beyond ASCII.
    if (bytes[i] >= 0xC2 && bytes[i] <= 0xDF && i + 1 < count && (bytes[i + 1] & 0xC0) == 0x80) {
      i += 2;
      continue;
    }
    const std::size_t length = platform::wellFormedUTF8Length(bytes + i, count - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace

char* CSVWriter::formatStoppedField(std::string_view field, char* out, const scan16::Stops& stops) const {
  const std::size_t count = field.size();
  const char* const in = field.data();
  const unsigned found = stops.copy(in, count, out);
  if (found == 0) return out + count;
  // Scalars beyond ASCII go out unchanged when well formed, unless one starts a delimiter.
  if ((found & scan16::beyondASCII) != 0 &&
      (nonASCIIStops_ || !isWellFormedUTF8(reinterpret_cast<const unsigned char*>(in), count)))
    return nullptr;
  if ((found & scan16::stopByte) == 0) return out + count;
  if (!plainEscaping_) return nullptr;
  // Every stop is one ASCII byte, apart from a two-byte row delimiter that shares none with the
  // others; UTF-8 sequences beyond ASCII hold no ASCII bytes, so bytes can be compared one at a time.
  const char escaping = escapingUTF8_[0], delimiter = fieldDelimiterUTF8_[0], rowFirst = rowDelimiterUTF8_[0];
  const bool rowPair = rowDelimiterUTF8_.size() == 2;
  const char rowSecond = rowDelimiterUTF8_.back();
  char* p = out + 1;  // after the escaping scalar the field may need
  bool marked = false;
  for (std::size_t i = 0; i < count; i += 16) {
    const std::size_t length = std::min<std::size_t>(16, count - i);
    const __m128i block = scan16::loadUpTo16(in + i, length);
    const unsigned live = (1u << length) - 1;
    const unsigned escapes = scan16::byteMask(block, escaping) & live;
    unsigned rows = scan16::byteMask(block, rowFirst) & live;
    if (rowPair && rows != 0) {
      // Only a first byte followed by the second starts the row delimiter, maybe in the next block.
      unsigned seconds = scan16::byteMask(block, rowSecond) & live;
      if (i + 16 < count && in[i + 16] == rowSecond) seconds |= 1u << 16;
      rows &= seconds >> 1;
    }
    marked = marked || (escapes | rows | (scan16::byteMask(block, delimiter) & live)) != 0;
    if (escapes == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), block);
      p += length;
      continue;
    }
    for (std::size_t k = i; k < i + length; ++k) {
      *p++ = in[k];
      if (in[k] == escaping) *p++ = escaping;
    }
  }
  if (!marked) {
    // A stop byte that starts no delimiter, such as a lone CR before a CR LF row delimiter.
    std::memmove(out, out + 1, count);
    return out + count;
  }
  out[0] = escaping;
  *p++ = escaping;
  return p;
}
#else
char* CSVWriter::formatStoppedField(std::string_view, char*, const scan16::Stops&) const { return nullptr; }
#endif

bool CSVWriter::appendPlainField(std::string_view field, bool delimited) {
  // Room for the delimiter, the escaping scalars around the field and each of its bytes doubled.
  char* const out = out_->room(2 * field.size() + 3 + scan16::slack);
  *out = *plainFieldDelimiter_;
  char* const end = formatPlainField(field, out + (delimited ? 1 : 0), *shortFields_);
  if (!end) return false;
  out_->commit(static_cast<std::size_t>(end - out));
  return true;
}

void CSVWriter::writeCollectedRow(std::span<const std::string_view> fields) {
  if (fieldIndex_ == 0 && !fields.empty()) firstFieldEmpty_ = fields.front().empty();
  if (!oneEmptyField(fields.size()) && writeRowDirect(fields)) return;
  beginBatch();
  for (std::string_view field : fields) appendField(field);
  appendRowEnd();
  flushBatch();
}

template <typename AppendBatch>
void CSVWriter::failDirect(const AppendBatch& appendBatch) {
  // The batch can be formatted, as the direct way formatted it; a write that took nothing still
  // completes what took no bytes, such as an empty first field.
  beginBatch();
  appendBatch();
  commit(0);
  throw WriterErrors::writeFailed(*stream_);
}

bool CSVWriter::writeRowDirect(std::span<const std::string_view> fields) {
  if (!plainFieldDelimiter_ && !wideRows_) return false;
  const std::int64_t reached = fieldIndex_ + static_cast<std::int64_t>(fields.size());
  if (reached == 0) return false;  // an empty row
  const std::int64_t expected = expectedFields_ > 0 ? expectedFields_ : reached;
  const std::string& rowDelimiter = rowDelimiterUTF8_;
  std::size_t bound = static_cast<std::size_t>(expected - reached) + rowDelimiter.size() + scan16::slack;
  for (std::string_view field : fields) bound += 2 * field.size() + 3;
  // UTF-8 goes straight into the stream's room; wider text is formatted aside, then widened into it.
  std::span<std::uint8_t> room;
  char* begin = nullptr;
  if (plainFieldDelimiter_) {
    room = stream_->reserve(bound);
    if (room.size() < bound) return false;
    begin = reinterpret_cast<char*>(room.data());
  } else {
    out_->clear();
    begin = out_->room(bound);
  }
  char* p = begin;
  const char delimiter = fieldDelimiterUTF8_[0];
  // A copy the compiler can keep in registers: stores of text might otherwise change the writer's.
  const scan16::ShortFields shortFields = *shortFields_;
  std::size_t delimited = fieldIndex_ > 0 ? 1 : 0;
  for (std::string_view field : fields) {
    *p = delimiter;
    p = formatPlainField(field, p + delimited, shortFields);
    if (!p) return false;
    delimited = 1;
  }
  for (std::int64_t i = reached; i < expected; ++i) *p++ = delimiter;
  std::memcpy(p, rowDelimiter.data(), rowDelimiter.size());
  p += rowDelimiter.size();
  auto size = static_cast<std::size_t>(p - begin);
  if (!plainFieldDelimiter_) {
    const std::size_t wideBound = size * encoder_->unitsPerByte();
    room = stream_->reserve(wideBound);
    if (room.size() < wideBound) return false;
    size = encoder_->encodeWellFormedUTF8(begin, size, room.data());
  }
  if (stream_->commit(size) < 0) {
    failDirect([&] {
      for (std::string_view field : fields) appendField(field);
      appendRowEnd();
    });
  }
  fieldIndex_ = 0;
  ++rowIndex_;
  expectedFields_ = expected;
  return true;
}

bool CSVWriter::writeFieldDirect(std::string_view field) {
  if (!plainFieldDelimiter_) return false;
  const std::size_t bound = 2 * field.size() + 3 + scan16::slack;
  const std::span<std::uint8_t> room = stream_->reserve(bound);
  if (room.size() < bound) return false;
  char* const begin = reinterpret_cast<char*>(room.data());
  *begin = *plainFieldDelimiter_;
  char* const end = formatPlainField(field, begin + (fieldIndex_ > 0 ? 1 : 0), *shortFields_);
  if (!end) return false;
  // An empty first field has no bytes, and no write to fail.
  const auto size = static_cast<std::size_t>(end - begin);
  if (size > 0 && stream_->commit(size) < 0) throw WriterErrors::writeFailed(*stream_);
  ++fieldIndex_;
  return true;
}

bool CSVWriter::endRowDirect() {
  if (!plainFieldDelimiter_ || fieldIndex_ == 0 || oneEmptyField(0)) return false;
  const std::int64_t expected = expectedFields_ > 0 ? expectedFields_ : fieldIndex_;
  const std::string& rowDelimiter = rowDelimiter_.bytes;
  const std::size_t size = static_cast<std::size_t>(expected - fieldIndex_) + rowDelimiter.size();
  const std::span<std::uint8_t> room = stream_->reserve(size);
  if (room.size() < size) return false;
  char* p = reinterpret_cast<char*>(room.data());
  for (std::int64_t i = fieldIndex_; i < expected; ++i) *p++ = *plainFieldDelimiter_;
  std::memcpy(p, rowDelimiter.data(), rowDelimiter.size());
  if (stream_->commit(size) < 0) failDirect([&] { appendRowEnd(); });
  fieldIndex_ = 0;
  ++rowIndex_;
  expectedFields_ = expected;
  return true;
}

}  // namespace RecordCSV
