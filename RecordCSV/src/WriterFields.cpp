// How one field's text becomes bytes of the batch: copied as it is when nothing needs
// escaping, escaped byte by byte for UTF-8 output, or scalar by scalar for any encoding.

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ByteBuffer.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "WriterEncoder.hpp"
#include "WriterErrors.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV {

namespace {

bool startsWith(const unsigned char* bytes, std::size_t available, const std::string& prefix) {
  if (prefix.size() == 1) return available > 0 && bytes[0] == static_cast<unsigned char>(prefix[0]);
  return !prefix.empty() && available >= prefix.size() && std::memcmp(bytes, prefix.data(), prefix.size()) == 0;
}

#if defined(__SSE2__)
std::uint64_t load64(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, 8);
  return word;
}

std::uint32_t load32(const char* bytes) {
  std::uint32_t word;
  std::memcpy(&word, bytes, 4);
  return word;
}
#endif

/// What a field's bytes hold, as far as copying them unchanged goes: flags, none for plain ASCII.
constexpr unsigned stopByte = 1, beyondASCII = 2;

/// Copies `count` bytes from `in` to `out` (which has room for them) in a few overlapping
/// loads and stores, and tells whether some are one of `stops` or beyond ASCII. Most
/// fields are short, so every length gets a single test instead of a loop ending on a partial word.
unsigned copyAndClassify(const char* in, std::size_t count, char* out, const std::array<std::uint64_t, 3>& stops) {
#if defined(__SSE2__)
  const __m128i stop0 = _mm_set1_epi64x(static_cast<long long>(stops[0]));
  const __m128i stop1 = _mm_set1_epi64x(static_cast<long long>(stops[1]));
  const __m128i stop2 = _mm_set1_epi64x(static_cast<long long>(stops[2]));
  auto classify = [&](__m128i block) {
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, stop0), _mm_cmpeq_epi8(block, stop1)),
                                      _mm_cmpeq_epi8(block, stop2));
    return (_mm_movemask_epi8(hits) != 0 ? stopByte : 0u) | (_mm_movemask_epi8(block) != 0 ? beyondASCII : 0u);
  };
  auto pair = [&](std::uint64_t low, std::uint64_t high) {
    return classify(_mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low)));
  };
  if (count >= 16) {
    unsigned flags = 0;
    for (std::size_t i = 0; i + 16 < count; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
      flags |= classify(block);
    }
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + count - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + count - 16), last);
    return flags | classify(last);
  }
  if (count >= 8) {
    const std::uint64_t low = load64(in), high = load64(in + count - 8);
    std::memcpy(out, &low, 8);
    std::memcpy(out + count - 8, &high, 8);
    return pair(low, high);
  }
  if (count >= 4) {
    const std::uint32_t low = load32(in), high = load32(in + count - 4);
    std::memcpy(out, &low, 4);
    std::memcpy(out + count - 4, &high, 4);
    return pair(low | std::uint64_t{high} << 32, low);
  }
  if (count == 0) return 0;
  // One to three bytes: the first, middle and last cover them all; the rest of the word repeats the first.
  const auto first = static_cast<unsigned char>(in[0]), middle = static_cast<unsigned char>(in[count / 2]),
             last = static_cast<unsigned char>(in[count - 1]);
  out[0] = static_cast<char>(first);
  out[count / 2] = static_cast<char>(middle);
  out[count - 1] = static_cast<char>(last);
  const std::uint64_t bytes =
      (std::uint64_t{0x0101010101010101} * first & ~std::uint64_t{0xFFFF00}) | std::uint64_t{middle} << 8 | std::uint64_t{last} << 16;
  return pair(bytes, bytes);
#else
  // Without the vector unit every field takes the general path, which checks a word at a time.
  (void)in, (void)count, (void)out, (void)stops;
  return stopByte | beyondASCII;
#endif
}

bool isWellFormedUTF8(const unsigned char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count;) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = platform::wellFormedUTF8Length(bytes + i, count - i);
    if (length == 0) return false;
    i += length;
  }
  return true;
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

void CSVWriter::appendPiece(const Piece& piece) {
  if (piece.bytes.size() == 1 && !piece.failingScalar) {
    out_->push_back(piece.bytes.front());
    return;
  }
  out_->append(piece.bytes);
  if (piece.failingScalar) failBatch(encoder_->failure(*piece.failingScalar));
}

bool CSVWriter::appendPlainField(std::string_view field, bool delimited) {
  const std::size_t count = field.size();
  const auto* in = reinterpret_cast<const unsigned char*>(field.data());
  // Room for the delimiter, the escaping scalars around the field and each of its bytes doubled.
  char* const out = out_->room(2 * count + 3);
  const std::size_t start = delimited ? 1 : 0;
  *out = *plainFieldDelimiter_;
  const unsigned bytes = copyAndClassify(field.data(), count, out + start, stopWords_);
  if (bytes == 0) {
    out_->commit(start + count);
    return true;
  }
  // Scalars beyond ASCII go out unchanged when well formed, unless one starts a delimiter.
  if ((bytes & beyondASCII) != 0 && (nonASCIIStops_ || !isWellFormedUTF8(in, count))) return false;
  if ((bytes & stopByte) == 0) {
    out_->commit(start + count);
    return true;
  }
  if (!plainEscaping_) return false;
  // Every stop is one ASCII byte, apart from a two-byte row delimiter that shares none with the
  // others; UTF-8 sequences beyond ASCII hold no ASCII bytes, so bytes can be compared one at a time.
  const auto escaping = static_cast<unsigned char>(escapingUTF8_[0]);
  const auto delimiter = static_cast<unsigned char>(*plainFieldDelimiter_);
  const auto rowFirst = static_cast<unsigned char>(rowDelimiterUTF8_[0]);
  const bool rowPair = rowDelimiterUTF8_.size() == 2;
  const auto rowSecond = static_cast<unsigned char>(rowDelimiterUTF8_.back());
  char* p = out + start + 1;
  bool marked = false;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char c = in[i];
    *p++ = static_cast<char>(c);
    if (c == escaping) {
      *p++ = static_cast<char>(c);
      marked = true;
    } else if (c == delimiter || (c == rowFirst && (!rowPair || (i + 1 < count && in[i + 1] == rowSecond)))) {
      marked = true;
    }
  }
  if (!marked) {
    // A stop byte that starts no delimiter, such as a lone CR before a CR LF row delimiter.
    std::memcpy(out + start, in, count);
    out_->commit(start + count);
    return true;
  }
  out[start] = static_cast<char>(escaping);
  *p++ = static_cast<char>(escaping);
  out_->commit(static_cast<std::size_t>(p - out));
  return true;
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
  const std::size_t count = field.size();
  // The check needs somewhere to copy to: past the room the wide text takes.
  char* const out = out_->room(count * 5);
  if (copyAndClassify(field.data(), count, out + count * 4, stopWords_) != 0) return false;
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
      result = plainLength == field.size() ? FieldText::written : appendUTF8Field(field, plainLength);
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
