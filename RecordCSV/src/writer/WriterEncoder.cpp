#include "writer/WriterEncoder.hpp"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf16.h>

#include <string>

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

#include "writer/WriterErrors.hpp"

namespace RecordCSV {
namespace {

constexpr std::int64_t writeAttempts = 2;

const std::string& shiftJISConverterName() {
  static const std::string name = [] {
    auto encoding = platform::TextEncoding::named("Shift_JIS");
    return encoding ? encoding->converterName() : std::string();
  }();
  return name;
}

}  // namespace

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

std::optional<CSVWriter::Encoder::Kind> CSVWriter::Encoder::kindFor(const platform::TextEncoding& encoding) {
  using Text = platform::TextEncoding::Kind;
  switch (encoding.kind()) {
    case Text::ascii: return Kind::ascii;
    case Text::utf8: return Kind::utf8;
    case Text::utf16:
    case Text::utf16BigEndian: return Kind::utf16BigEndian;
    case Text::utf16LittleEndian: return Kind::utf16LittleEndian;
    case Text::utf32:
    case Text::utf32BigEndian: return Kind::utf32BigEndian;
    case Text::utf32LittleEndian: return Kind::utf32LittleEndian;
    case Text::other:
      if (!shiftJISConverterName().empty() && encoding.converterName() == shiftJISConverterName())
        return Kind::shiftJIS;
      return std::nullopt;
  }
  return std::nullopt;
}

CSVWriter::Encoder::Encoder(Kind kind) : kind_(kind) {
  if (kind_ != Kind::shiftJIS) return;
  UErrorCode status = U_ZERO_ERROR;
  converter_ = ucnv_open(shiftJISConverterName().c_str(), &status);
  if (U_FAILURE(status)) {
    converter_ = nullptr;
    return;
  }
  // Refuse what has no exact Shift-JIS form instead of writing a substitute.
  ucnv_setFromUCallBack(converter_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
}

CSVWriter::Encoder::~Encoder() {
  if (converter_) ucnv_close(converter_);
}

std::size_t CSVWriter::Encoder::encode(const char32_t* scalars, std::size_t count, ByteBuffer& out) {
  if (kind_ == Kind::shiftJIS) {
    for (std::size_t i = 0; i < count; ++i)
      if (!appendShiftJIS(scalars[i], out)) return i;
    return count;
  }
  auto* const start = reinterpret_cast<std::uint8_t*>(out.room(count * 4));
  std::uint8_t* p = start;
  std::size_t i = 0;
  auto put16 = [&](std::uint32_t unit, bool bigEndian) {
    const auto high = static_cast<std::uint8_t>(unit >> 8), low = static_cast<std::uint8_t>(unit);
    *p++ = bigEndian ? high : low;
    *p++ = bigEndian ? low : high;
  };
  switch (kind_) {
    case Kind::ascii:
      for (; i < count && scalars[i] < 0x80; ++i) *p++ = static_cast<std::uint8_t>(scalars[i]);
      break;
    case Kind::utf8:
      for (; i < count; ++i) {
        const char32_t c = scalars[i];
        if (c < 0x80) {
          *p++ = static_cast<std::uint8_t>(c);
        } else if (c < 0x800) {
          *p++ = static_cast<std::uint8_t>(0xC0 | (c >> 6));
          *p++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
          *p++ = static_cast<std::uint8_t>(0xE0 | (c >> 12));
          *p++ = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
          *p++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        } else {
          *p++ = static_cast<std::uint8_t>(0xF0 | (c >> 18));
          *p++ = static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F));
          *p++ = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
          *p++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        }
      }
      break;
    case Kind::utf16BigEndian:
    case Kind::utf16LittleEndian: {
      const bool bigEndian = kind_ == Kind::utf16BigEndian;
      for (; i < count; ++i) {
        const char32_t c = scalars[i];
        if (c < 0x10000) {
          put16(c, bigEndian);
        } else {
          put16(0xD800 + ((c - 0x10000) >> 10), bigEndian);
          put16(0xDC00 + ((c - 0x10000) & 0x3FF), bigEndian);
        }
      }
      break;
    }
    case Kind::utf32BigEndian:
      for (; i < count; ++i)
        for (int shift = 24; shift >= 0; shift -= 8) *p++ = static_cast<std::uint8_t>(scalars[i] >> shift);
      break;
    case Kind::utf32LittleEndian:
      for (; i < count; ++i)
        for (int shift = 0; shift <= 24; shift += 8) *p++ = static_cast<std::uint8_t>(scalars[i] >> shift);
      break;
    case Kind::shiftJIS: break;
  }
  out.commit(static_cast<std::size_t>(p - start));
  return i;
}

namespace {

template <std::size_t width, bool bigEndian>
std::size_t widenUTF8(const unsigned char* in, std::size_t count, std::uint8_t* out) {
  std::uint8_t* p = out;
  auto put = [&](std::uint32_t scalar) {
    if constexpr (width == 2) {
      auto unit = [&](std::uint32_t value) {
        p[bigEndian ? 1 : 0] = static_cast<std::uint8_t>(value);
        p[bigEndian ? 0 : 1] = static_cast<std::uint8_t>(value >> 8);
        p += 2;
      };
      if (scalar < 0x10000) {
        unit(scalar);
      } else {
        unit(0xD800 + ((scalar - 0x10000) >> 10));
        unit(0xDC00 + ((scalar - 0x10000) & 0x3FF));
      }
    } else {
      for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(scalar >> (bigEndian ? 24 - 8 * k : 8 * k));
      p += 4;
    }
  };
  std::size_t i = 0;
  while (i < count) {
    std::size_t ascii = count - i;
#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
    // Sixteen ASCII bytes at a time, each spread over its unit by interleaving with zeros.
    if (ascii >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
      if (high == 0) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = bigEndian ? _mm_unpacklo_epi8(zero, block) : _mm_unpacklo_epi8(block, zero);
        const __m128i upper = bigEndian ? _mm_unpackhi_epi8(zero, block) : _mm_unpackhi_epi8(block, zero);
        const __m128i units[] = {low, upper};
        for (const __m128i& half : units) {
          if constexpr (width == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), half);
            p += 16;
          } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                             bigEndian ? _mm_unpacklo_epi16(zero, half) : _mm_unpacklo_epi16(half, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16),
                             bigEndian ? _mm_unpackhi_epi16(zero, half) : _mm_unpackhi_epi16(half, zero));
            p += 32;
          }
        }
        i += 16;
        continue;
      }
      ascii = static_cast<std::size_t>(__builtin_ctz(high));
    }
#endif
    for (const std::size_t end = i + ascii; i < end && in[i] < 0x80; ++i) put(in[i]);
    if (i == count) break;
    const unsigned char lead = in[i];
    if (lead < 0x80) continue;
    auto next = [&](std::size_t k) { return static_cast<std::uint32_t>(in[i + k] & 0x3F); };
    if (lead < 0xE0) {
      put((lead & 0x1Fu) << 6 | next(1));
      i += 2;
    } else if (lead < 0xF0) {
      put((lead & 0x0Fu) << 12 | next(1) << 6 | next(2));
      i += 3;
    } else {
      put((lead & 0x07u) << 18 | next(1) << 12 | next(2) << 6 | next(3));
      i += 4;
    }
  }
  return static_cast<std::size_t>(p - out);
}

}  // namespace

std::size_t CSVWriter::Encoder::encodeWellFormedUTF8(const char* text, std::size_t size, std::uint8_t* out) const {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  switch (kind_) {
    case Kind::utf16BigEndian: return widenUTF8<2, true>(in, size, out);
    case Kind::utf16LittleEndian: return widenUTF8<2, false>(in, size, out);
    case Kind::utf32BigEndian: return widenUTF8<4, true>(in, size, out);
    case Kind::utf32LittleEndian: return widenUTF8<4, false>(in, size, out);
    default: return 0;
  }
}

std::size_t CSVWriter::Encoder::unitsPerByte() const noexcept {
  switch (kind_) {
    case Kind::utf16BigEndian:
    case Kind::utf16LittleEndian: return 2;
    case Kind::utf32BigEndian:
    case Kind::utf32LittleEndian: return 4;
    default: return 0;
  }
}

bool CSVWriter::Encoder::appendShiftJIS(char32_t scalar, ByteBuffer& out) {
  if (!converter_) return false;
  UChar units[2];
  std::int32_t length = 0;
  bool invalid = false;
  U16_APPEND(units, length, 2, static_cast<UChar32>(scalar), invalid);
  if (invalid) return false;
  char bytes[8];
  UErrorCode status = U_ZERO_ERROR;
  ucnv_resetFromUnicode(converter_);
  const std::int32_t count = ucnv_fromUChars(converter_, bytes, sizeof bytes, units, length, &status);
  if (U_FAILURE(status) || count <= 0) return false;
  out.append(bytes, static_cast<std::size_t>(count));
  return true;
}

CSVWriterError CSVWriter::Encoder::failure(char32_t scalar) const {
  return kind_ == Kind::shiftJIS ? WriterErrors::notShiftJIS(scalar) : WriterErrors::notASCII(scalar);
}

std::size_t CSVWriter::Encoder::scalarLength(const std::uint8_t* bytes, std::size_t available) const {
  std::size_t length = 1;
  switch (kind_) {
    case Kind::ascii: length = 1; break;
    case Kind::utf8: length = bytes[0] < 0xC0 ? 1 : bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3 : 4; break;
    case Kind::utf16BigEndian: length = (bytes[0] & 0xFC) == 0xD8 ? 4 : 2; break;
    case Kind::utf16LittleEndian: length = available > 1 && (bytes[1] & 0xFC) == 0xD8 ? 4 : 2; break;
    case Kind::utf32BigEndian:
    case Kind::utf32LittleEndian: length = 4; break;
    case Kind::shiftJIS:
      length = (bytes[0] >= 0x81 && bytes[0] <= 0x9F) || (bytes[0] >= 0xE0 && bytes[0] <= 0xFC) ? 2 : 1;
      break;
  }
  return std::min(length, available);
}

void writeFully(platform::OutputStream& stream, const std::uint8_t* bytes, std::size_t count,
                const CSVWriter::Encoder* encoder, std::size_t& written) {
  written = 0;
  std::int64_t attempts = writeAttempts;
  std::size_t unitEnd = 0;  // end of the scalar whose attempts are being counted
  while (written < count) {
    const std::ptrdiff_t result = stream.write(bytes + written, count - written);
    if (result > 0) {
      written += static_cast<std::size_t>(result);
      continue;
    }
    if (result < 0) throw WriterErrors::writeFailed(stream);
    if (written >= unitEnd) {
      // Each scalar gets its own attempts, as if it were written on its own.
      attempts = writeAttempts;
      unitEnd = 0;
      while (unitEnd <= written)
        unitEnd += encoder ? encoder->scalarLength(bytes + unitEnd, count - unitEnd) : count;
    }
    if (--attempts == 0) throw WriterErrors::writeAttemptsExhausted(stream, writeAttempts);
  }
}

}  // namespace RecordCSV
