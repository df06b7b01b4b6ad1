// How one field's text becomes bytes of the batch: copied as it is when nothing needs
// escaping, escaped byte by byte for UTF-8 output, or scalar by scalar for any encoding.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/core/Unicode.hpp"
#include "writer/ByteBuffer.hpp"
#include "writer/WriterEncoder.hpp"
#include "writer/WriterErrors.hpp"
#include "writer/WriterScan.hpp"

namespace RecordCSV {

namespace {

bool startsWith(const unsigned char* bytes, std::size_t available, const std::string& prefix) {
  if (prefix.size() == 1) return available > 0 && bytes[0] == static_cast<unsigned char>(prefix[0]);
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
  // With more stops than the words hold, byte by byte.
  if (wordScan_ && count >= 8) {
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
  } else if (wordScan_ && count >= 4) {
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
      const auto delimiter =
          std::find_if(delimitersUTF8_.begin(), delimitersUTF8_.end(),
                       [&](const std::string& text) { return startsWith(bytes + i, available, text); });
      if (delimiter != delimitersUTF8_.end()) {
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
  if (!marked && endsWithDelimiterStart(field)) {
    if (!escapes) {
      out_->truncate(start);
      return FieldText::invalid;
    }
    marked = true;
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
    for (std::u32string_view delimiter : delimiterScalars_) {
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
  if (!marked && !text.empty() && std::any_of(prefixScalars_.begin(), prefixScalars_.end(), [&](const auto& prefix) {
        return text.ends_with(prefix);
      })) {
    if (!escaping) return FieldText::invalid;
    marked = true;
  }
  if (marked) {
    escaped_.insert(escaped_.begin(), *escaping);
    escaped_.push_back(*escaping);
  }
  const std::size_t encoded = encoder_->encode(escaped_.data(), escaped_.size(), *out_);
  if (encoded < escaped_.size()) failingScalar = escaped_[encoded];
  return FieldText::written;
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
  if (plainFieldDelimiter_ && appendPlainField(field, batchFieldIndex_ > 0)) {
    checkpoints_.push_back({out_->size(), Effect::field});
    ++batchFieldIndex_;
    return;
  }
  appendEscapedField(field);
}

void CSVWriter::writeField(std::string_view field) {
  requireRoom(1);
  if (fieldIndex_ == 0) firstFieldEmpty_ = field.empty();
  if (writeFieldDirect(field)) return;
  out_->clear();
  if (plainFieldDelimiter_ && appendPlainField(field, fieldIndex_ > 0)) {
    // A lone field counts only once the stream took all of it, so there is nothing to check point.
    std::size_t written = 0;
    writeFully(*stream_, reinterpret_cast<const std::uint8_t*>(out_->data()), out_->size(), encoder_.get(), written);
    ++fieldIndex_;
    return;
  }
  beginBatch();
  appendField(field);
  flushBatch();
}

bool CSVWriter::appendWideASCII(std::string_view field) {
  using Kind = Encoder::Kind;
  const Kind kind = encoder_->kind();
  const std::size_t width = kind == Kind::ascii                                                  ? 1
                            : kind == Kind::utf16BigEndian || kind == Kind::utf16LittleEndian ? 2
                            : kind == Kind::utf32BigEndian || kind == Kind::utf32LittleEndian ? 4
                                                                                              : 0;
  if (width == 0) return false;  // Shift-JIS keeps to its converter
  if (!wordScan_ || endsWithDelimiterStart(field)) return false;
  const std::size_t count = field.size();
  // The check needs somewhere to copy to: past the room the wide text takes.
  char* const out = out_->room(count * 5 + scan16::slack);
  if (scan16::Stops(stopWords_, false).copy(field.data(), count, out + count * 4) != 0) return false;
  const auto* in = reinterpret_cast<const unsigned char*>(field.data());
  // ASCII needs no escaping here, and each scalar is its byte, its high units zero.
  const std::size_t at = kind == Kind::utf16BigEndian ? 1 : kind == Kind::utf32BigEndian ? 3 : 0;
  std::memset(out, 0, count * width);
  for (std::size_t i = 0; i < count; ++i) out[i * width + at] = static_cast<char>(in[i]);
  out_->commit(count * width);
  return true;
}

void CSVWriter::appendEscapedField(std::string_view field) {
  if (batchFieldIndex_ > 0) appendPiece(fieldDelimiter_);
  if (!field.empty()) {
    const bool utf8 = utf8Output_;
    std::optional<char32_t> failingScalar;
    FieldText result = FieldText::illFormed;
    if (utf8) {
      const std::size_t plainLength = appendPlainUTF8(field);
      result = plainLength == field.size() && !endsWithDelimiterStart(field) ? FieldText::written
                                                                              : appendUTF8Field(field, plainLength);
    } else if (appendWideASCII(field)) {
      result = FieldText::written;
    }
    if (result == FieldText::illFormed) result = appendScalarField(field, failingScalar);
    if (result == FieldText::invalid) failBatch(WriterErrors::delimiterWithoutEscaping(std::string(field)));
    if (failingScalar) failBatch(encoder_->failure(*failingScalar));
  }
  checkpoints_.push_back({out_->size(), Effect::field});
  ++batchFieldIndex_;
}

}  // namespace RecordCSV
