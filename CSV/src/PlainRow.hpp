#pragma once
// Rows of plain fields read straight from UTF-8 bytes held in memory, without the scalar loop
// of the row parser: a plain field is unquoted, or quoted with nothing after its closing quote
// but the delimiter or the row's end, and well-formed. Any other row is left to the scalar
// loop, which reads a plain row the same way.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

#include "ByteScanning.hpp"
#include "CSV/CSVReader.hpp"
#include "platform/core/Unicode.hpp"

namespace CSV {

/// The held bytes that a row reader must look at (the ASCII delimiter, CR, LF, the
/// quote and every byte beyond ASCII), found 64 bytes at a time. The blocks follow one another
/// whatever the fields hold, and going from one mark to the next clears one bit, so finding
/// a field's end hardly waits on the field before it.
class FieldMarks {
 public:
  FieldMarks(const std::uint8_t* end, std::uint8_t delimiter) : end_(end), delimiter_(delimiter) {}

  /// The first mark at or after `p`, which lies at or after the last mark answered; `end`
  /// when there is none.
  [[gnu::always_inline]] const std::uint8_t* seek(const std::uint8_t* p) {
    if (!base_ || p - base_ >= 64) load(p);
    bits_ &= ~std::uint64_t{0} << (p - base_);
    return current();
  }
  /// The mark after the one last answered.
  [[gnu::always_inline]] const std::uint8_t* advance() {
    bits_ &= bits_ - 1;
    return current();
  }

 private:
  [[gnu::always_inline]] const std::uint8_t* current() {
    while (bits_ == 0) {
      if (end_ - base_ <= 64) return end_;
      load(base_ + 64);
    }
    return base_ + std::countr_zero(bits_);
  }

  [[gnu::always_inline]] void load(const std::uint8_t* base) {
    base_ = base;
    bits_ = 0;
    if (end_ - base < 64) {
      for (std::size_t i = 0; base + i < end_; ++i) bits_ |= std::uint64_t{isMark(base[i])} << i;
      return;
    }
#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
    const __m128i delimiters = _mm_set1_epi8(static_cast<char>(delimiter_));
    const __m128i carriageReturns = _mm_set1_epi8('\r'), lineFeeds = _mm_set1_epi8('\n'), quotes = _mm_set1_epi8('"');
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + 16 * part));
      const __m128i marks =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, delimiters), _mm_cmpeq_epi8(bytes, carriageReturns)),
                       _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeeds), _mm_cmpeq_epi8(bytes, quotes)), bytes));
      // The top bit of each byte: set by a match, or by a byte beyond ASCII itself.
      bits_ |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(marks))} << (16 * part);
    }
#else
    for (std::size_t i = 0; i < 64; ++i) bits_ |= std::uint64_t{isMark(base[i])} << i;
#endif
  }
  bool isMark(std::uint8_t byte) const {
    return byte == delimiter_ || byte == '\r' || byte == '\n' || byte == '"' || byte >= 0x80;
  }

  const std::uint8_t* end_;
  std::uint8_t delimiter_;
  const std::uint8_t* base_ = nullptr;
  std::uint64_t bits_ = 0;  // the marks not yet passed of the 64 bytes from `base_`
};

/// One row read into `fields`, when it is plain. The delimiter is ASCII and fields are not trimmed.
class PlainRow {
 public:
  PlainRow(CSVReader::Fields& fields, const std::uint8_t* end, std::uint8_t delimiter, const ScanTable& quoted)
      : fields_(fields), end_(end), delimiter_(delimiter), quoted_(quoted), marks_(end, delimiter) {
    fields.text_.clear();
    out_ = fields.spans_.data();
    limit_ = out_ + fields.spans_.size();
  }

  /// Reads the row at `first` (not the end): where the next row starts, or null when the row
  /// is not plain, with what `fields` holds then left to be cleared.
  [[gnu::always_inline]] const std::uint8_t* read(const std::uint8_t* first) {
    const std::uint8_t* p = first;
    const std::uint8_t* mark = marks_.seek(p);  // always the first mark at or after `p`
    for (;;) {
      if (p == end_) {  // after a delimiter: one more, empty field
        add({reinterpret_cast<const char*>(p), 0, 0});
        break;
      }
      const std::uint8_t* stop;
      if (*p == '"') {
        stop = quoted(p);
        if (!stop) return nullptr;
        mark = marks_.seek(stop);  // the stop itself, unless the end
      } else {
        // Within an unquoted field a quote is text, unless it is the delimiter.
        while (mark != end_ && *mark != '\n' && *mark != '\r' && *mark != delimiter_) {
          if (*mark < 0x80) {
            mark = marks_.advance();
            continue;
          }
          const std::size_t length = platform::wellFormedUTF8Length(mark, static_cast<std::size_t>(end_ - mark));
          if (length == 0) return nullptr;
          mark = marks_.seek(mark + length);
        }
        stop = mark;
        add({reinterpret_cast<const char*>(p), 0, static_cast<std::size_t>(stop - p)});
      }
      if (stop == end_) {
        p = end_;
        break;
      }
      // Row ends first: they win over a delimiter of the same byte, as in the scalar loop.
      if (*stop == '\n') {
        p = stop + 1;
        break;
      }
      if (*stop != '\r') {
        p = stop + 1;  // the delimiter
        mark = marks_.advance();
        continue;
      }
      p = stop + 1;
      if (p == end_) break;
      if (*p == '\n') {
        ++p;
        break;
      }
      // The scalar loop takes the next scalar to look for a line feed: ill-formed, it fails there.
      if (*p >= 0x80 && platform::wellFormedUTF8Length(p, static_cast<std::size_t>(end_ - p)) == 0) return nullptr;
      break;
    }
    fields_.count_ = static_cast<std::size_t>(out_ - fields_.spans_.data());
    return p;
  }

 private:
  using Span = CSVReader::Fields::Span;

  [[gnu::always_inline]] void add(Span span) {
    if (out_ == limit_) [[unlikely]] {
      const auto used = static_cast<std::size_t>(out_ - fields_.spans_.data());
      fields_.spans_.resize(std::max<std::size_t>(16, 2 * used));
      out_ = fields_.spans_.data() + used;
      limit_ = fields_.spans_.data() + fields_.spans_.size();
    }
    *out_++ = span;
  }

  /// Adds the quoted field at `p` (a view, or a copy where a doubled quote stands for one):
  /// the byte after its closing quote, or null where the field is not plain.
  const std::uint8_t* quoted(const std::uint8_t* p) {
    std::string& text = fields_.text_;
    const std::uint8_t* from = p + 1;
    std::optional<std::size_t> copiedFrom;
    for (;;) {
      const std::uint8_t* const quote = scanOrdinary(from, end_, quoted_);
      // Ill-formed bytes or the input's end within the quotes are the scalar loop's.
      if (quote == end_ || *quote != '"') return nullptr;
      const std::uint8_t* const after = quote + 1;
      const auto* const bytes = reinterpret_cast<const char*>(from);
      if (after == end_ || *after == delimiter_ || *after == '\n' || *after == '\r') {
        if (!copiedFrom) {
          add({bytes, 0, static_cast<std::size_t>(quote - from)});
          return after;
        }
        text.append(bytes, static_cast<std::size_t>(quote - from));
        add({nullptr, *copiedFrom, text.size() - *copiedFrom});
        return after;
      }
      if (*after != '"') return nullptr;  // a stray quote
      if (!copiedFrom) copiedFrom = text.size();
      text.append(bytes, static_cast<std::size_t>(after - from));
      from = after + 1;
    }
  }

  CSVReader::Fields& fields_;
  const std::uint8_t* const end_;
  const std::uint8_t delimiter_;
  const ScanTable& quoted_;
  FieldMarks marks_;
  Span* out_;
  Span* limit_;
};

}  // namespace CSV
