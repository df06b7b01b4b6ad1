#pragma once
// Copying a field while learning whether any byte of it is a stop (a byte that may start an
// escaping scalar or a delimiter) or lies beyond ASCII, sixteen bytes at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

namespace RecordCSV::scan16 {

/// What a field's bytes hold, as far as copying them unchanged goes: flags, none for plain ASCII.
constexpr unsigned stopByte = 1, beyondASCII = 2;
/// Stores may run this far past the bytes they copy: rooms are asked for with this much more.
constexpr std::size_t slack = 16;

/// What formatting short fields needs to know of the dialect.
struct ShortDialect {
  bool pairsArePlain;  // as for `Stops`
  bool escapes;        // the escaping scalar is one ASCII byte, the row delimiter one or two
  char escaping, delimiter, rowFirst, rowSecond;
  bool rowPair;
  bool endsMatter;  // a delimiter has a proper prefix that a field may end with
};

#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)

/// The first `count` (at most 16) bytes at `in` in the low places of a vector, zeros after,
/// without reading a byte past them: most fields are short, so every length gets a few
/// overlapping loads instead of a loop.
[[gnu::always_inline]] inline __m128i loadUpTo16(const char* in, std::size_t count) {
  if (count == 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  std::uint64_t low = 0, high = 0;
  if (count >= 8) {
    std::memcpy(&low, in, 8);
    if (count > 8) {
      std::memcpy(&high, in + count - 8, 8);
      high >>= 8 * (16 - count);
    }
  } else if (count >= 4) {
    std::uint32_t first, last;
    std::memcpy(&first, in, 4);
    std::memcpy(&last, in + count - 4, 4);
    // The overlapping bytes are the same bytes.
    low = first | std::uint64_t{last} << (8 * (count - 4));
  } else if (count > 0) {
    const auto byte = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(in[i])} << (8 * i); };
    low = byte(0) | byte(count / 2) | byte(count - 1);
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

/// The same bytes, and whatever follows them up to sixteen: a load that stays inside one page
/// with a byte of the field cannot fault, so a short field takes one load instead of a few. (An
/// empty field may point nowhere.) The address sanitizer would see it read past the field, so
/// its builds take the exact loads.
[[gnu::always_inline]] inline __m128i loadAtLeast16(const char* in, std::size_t count) {
#if !defined(__SANITIZE_ADDRESS__)
  constexpr std::uintptr_t page = 4096;
  if (count > 0 && (reinterpret_cast<std::uintptr_t>(in) & (page - 1)) <= page - 16)
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
#endif
  return loadUpTo16(in, count);
}

[[gnu::always_inline]] inline unsigned byteMask(__m128i block, char byte) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
}

/// The stop bytes (up to three; unused places hold 0x80, which counts as beyond ASCII anyway).
class Stops {
 public:
  /// `pairsArePlain`: well-formed two-byte sequences cannot start a stop, so they need no look.
  Stops(const std::array<std::uint64_t, 3>& words, bool pairsArePlain)
      : stop0_(_mm_set1_epi64x(static_cast<long long>(words[0]))),
        stop1_(_mm_set1_epi64x(static_cast<long long>(words[1]))),
        stop2_(_mm_set1_epi64x(static_cast<long long>(words[2]))),
        pairsArePlain_(pairsArePlain) {}

  /// Copies `count` bytes from `in` to `out`, which has room for them and `slack` more, and
  /// tells what they hold. A field of up to sixteen bytes whose bytes beyond ASCII all form
  /// well-formed two-byte sequences (accented Latin letters, the usual case) counts as plain ASCII
  /// when pairs are plain.
  [[gnu::always_inline]] unsigned copy(const char* in, std::size_t count, char* out) const {
    if (count <= 16) {
      const __m128i block = loadAtLeast16(in, count);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      const unsigned live = (1u << count) - 1;
      const unsigned stops = stopMask(block) & live;
      unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block)) & live;
      if (high != 0 && pairsArePlain_ && pairsOnly(block, live, high)) high = 0;
      return (stops != 0 ? stopByte : 0u) | (high != 0 ? beyondASCII : 0u);
    }
    unsigned flags = 0;
    std::size_t i = 0;
    for (; i + 16 < count; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
      flags |= classify(block, 0xFFFF);
    }
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + count - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + count - 16), last);
    return flags | classify(last, 0xFFFF);
  }

  // Signed bytes: continuation bytes are below -64 (0xC0), two-byte leads from -62 (0xC2) to -33 (0xDF).
  [[gnu::always_inline]] static unsigned continuationMask(__m128i block) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(block, _mm_set1_epi8(-64))));
  }
  [[gnu::always_inline]] static unsigned leadMask(__m128i block) {
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(-63)), _mm_cmplt_epi8(block, _mm_set1_epi8(-32)))));
  }
  /// Whether the bytes beyond ASCII (`high`) are all well-formed two-byte sequences, given the
  /// leads and continuation bytes among the field's bytes.
  [[gnu::always_inline]] static bool pairsOnly(std::uint64_t lead, std::uint64_t continuation, std::uint64_t high) {
    // Each lead followed by one continuation byte, within the field, and nothing else beyond ASCII.
    return lead << 1 == continuation && (lead | continuation) == high;
  }
  [[gnu::always_inline]] static bool pairsOnly(__m128i block, unsigned live, unsigned high) {
    return pairsOnly(leadMask(block) & live, continuationMask(block) & live, high);
  }
  [[gnu::always_inline]] unsigned stopMask(__m128i block) const {
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, stop0_), _mm_cmpeq_epi8(block, stop1_)),
                                      _mm_cmpeq_epi8(block, stop2_));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  }
 private:
  [[gnu::always_inline]] unsigned classify(__m128i block, unsigned live) const {
    return ((stopMask(block) & live) != 0 ? stopByte : 0u) | (_mm_movemask_epi8(block) != 0 ? beyondASCII : 0u);
  }

  __m128i stop0_, stop1_, stop2_;
  bool pairsArePlain_;
};

/// Formats a field of up to sixteen bytes for UTF-8 output with a one-byte field delimiter in a
/// few vector steps, wrapped in the escaping byte when a delimiter is in it, and without a branch
/// on whether it is: fields that are and fields that are not alternate too irregularly.
class ShortFields {
 public:
  using Dialect = ShortDialect;
  ShortFields(const std::array<std::uint64_t, 3>& stopWords, const Dialect& dialect)
      : stops_(stopWords, dialect.pairsArePlain),
        escaping_(_mm_set1_epi8(dialect.escaping)),
        delimiter_(_mm_set1_epi8(dialect.delimiter)),
        rowFirst_(_mm_set1_epi8(dialect.rowFirst)),
        rowSecond_(_mm_set1_epi8(dialect.rowSecond)),
        dialect_(dialect) {}

  const Stops& stops() const noexcept { return stops_; }
  bool endsMatter() const noexcept { return dialect_.endsMatter; }

  /// The field's end at `out` (room as for `Stops::copy` and twice the field's bytes), or null
  /// when it needs a closer look: it holds text beyond ASCII other than two-byte sequences, or a
  /// stop that the dialect cannot escape byte by byte.
  [[gnu::always_inline]] char* format(const char* in, std::size_t count, char* out) const {
    const __m128i block = loadAtLeast16(in, count);
    const unsigned live = (1u << count) - 1;
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block)) & live;
    if (high != 0 && !(dialect_.pairsArePlain && stops_.pairsOnly(block, live, high))) return nullptr;
    if (!dialect_.escapes) {
      if ((stops_.stopMask(block) & live) != 0) return nullptr;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      return out + count;
    }
    if (const unsigned escapes = mask(block, escaping_) & live) return doubleEscapes(in, count, out, escapes);
    unsigned rows = mask(block, rowFirst_) & live;
    if (dialect_.rowPair) rows &= (mask(block, rowSecond_) & live) >> 1;
    const std::size_t marked = ((mask(block, delimiter_) & live) | rows) != 0 ? 1 : 0;
    // Unmarked, the field's bytes cover the first escaping byte and the second lands past them.
    out[0] = dialect_.escaping;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + marked), block);
    out[count + marked] = dialect_.escaping;
    return out + count + 2 * marked;
  }

  /// As `format`, for a field of 17 to 32 bytes, in two blocks.
  [[gnu::always_inline]] char* formatPair(const char* in, std::size_t count, char* out) const {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i second = loadAtLeast16(in + 16, count - 16);
    const std::uint64_t live = (std::uint64_t{1} << count) - 1;
    const auto both = [&](auto maskOf) { return (maskOf(first) | std::uint64_t{maskOf(second)} << 16) & live; };
    const std::uint64_t high = both([](__m128i block) { return static_cast<unsigned>(_mm_movemask_epi8(block)); });
    if (high != 0 && !(dialect_.pairsArePlain && Stops::pairsOnly(both(Stops::leadMask), both(Stops::continuationMask), high)))
      return nullptr;
    if (!dialect_.escapes) {
      if (both([&](__m128i block) { return stops_.stopMask(block); }) != 0) return nullptr;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
      return out + count;
    }
    const auto of = [&](__m128i bytes) { return both([&](__m128i block) { return mask(block, bytes); }); };
    if (of(escaping_) != 0) return nullptr;
    std::uint64_t rows = of(rowFirst_);
    if (dialect_.rowPair) rows &= of(rowSecond_) >> 1;
    const std::size_t marked = (of(delimiter_) | rows) != 0 ? 1 : 0;
    out[0] = dialect_.escaping;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + marked), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + marked + 16), second);
    out[count + marked] = dialect_.escaping;
    return out + count + 2 * marked;
  }

 private:
  /// The field wrapped in escaping bytes with each of its own (at the places in `escapes`) doubled.
  char* doubleEscapes(const char* in, std::size_t count, char* out, unsigned escapes) const {
    out[0] = dialect_.escaping;
    char* p = out + 1;
    std::size_t from = 0;
    // Each piece up to and including an escaping byte, then the byte once more.
    for (; escapes != 0; escapes &= escapes - 1) {
      const auto at = static_cast<std::size_t>(__builtin_ctz(escapes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), loadAtLeast16(in + from, at + 1 - from));
      p += at + 1 - from;
      *p++ = dialect_.escaping;
      from = at + 1;
    }
    if (from < count) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), loadAtLeast16(in + from, count - from));
    p += count - from;
    *p++ = dialect_.escaping;
    return p;
  }
  [[gnu::always_inline]] static unsigned mask(__m128i block, __m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, bytes)));
  }

  Stops stops_;
  __m128i escaping_, delimiter_, rowFirst_, rowSecond_;  // each byte in every place
  Dialect dialect_;
};

#else

class Stops {
 public:
  Stops(const std::array<std::uint64_t, 3>&, bool) {}
  // Without the vector unit every field takes the general path, which checks a word at a time.
  unsigned copy(const char*, std::size_t, char*) const { return stopByte | beyondASCII; }
};

class ShortFields {
 public:
  using Dialect = ShortDialect;
  ShortFields(const std::array<std::uint64_t, 3>& stopWords, const Dialect&) : stops_(stopWords, false) {}
  const Stops& stops() const noexcept { return stops_; }
  bool endsMatter() const noexcept { return true; }
  char* format(const char*, std::size_t, char*) const { return nullptr; }
  char* formatPair(const char*, std::size_t, char*) const { return nullptr; }

 private:
  Stops stops_;
};

#endif

}  // namespace RecordCSV::scan16
