#pragma once
// Copying a field while learning whether any byte of it is a stop (a byte that may start an
// escaping scalar or a delimiter) or lies beyond ASCII, sixteen bytes at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace RecordCSV::scan16 {

/// What a field's bytes hold, as far as copying them unchanged goes: flags, none for plain ASCII.
constexpr unsigned stopByte = 1, beyondASCII = 2;
/// Stores may run this far past the bytes they copy: rooms are asked for with this much more.
constexpr std::size_t slack = 16;

#if defined(__SSE2__)

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

[[gnu::always_inline]] inline unsigned byteMask(__m128i block, char byte) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
}

/// The stop bytes (up to three; unused places hold 0x80, which counts as beyond ASCII anyway).
class Stops {
 public:
  explicit Stops(const std::array<std::uint64_t, 3>& words)
      : stop0_(_mm_set1_epi64x(static_cast<long long>(words[0]))),
        stop1_(_mm_set1_epi64x(static_cast<long long>(words[1]))),
        stop2_(_mm_set1_epi64x(static_cast<long long>(words[2]))) {}

  /// Copies `count` bytes from `in` to `out`, which has room for them and `slack` more, and
  /// tells what they hold.
  [[gnu::always_inline]] unsigned copy(const char* in, std::size_t count, char* out) const {
    if (count <= 16) {
      const __m128i block = loadUpTo16(in, count);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      // The zeros past the field are neither stops nor beyond ASCII, unless a stop is zero.
      return classify(block, count < 16 ? (1u << count) - 1 : 0xFFFF);
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

 private:
  [[gnu::always_inline]] unsigned classify(__m128i block, unsigned live) const {
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, stop0_), _mm_cmpeq_epi8(block, stop1_)),
                                      _mm_cmpeq_epi8(block, stop2_));
    return ((static_cast<unsigned>(_mm_movemask_epi8(hits)) & live) != 0 ? stopByte : 0u) |
           (_mm_movemask_epi8(block) != 0 ? beyondASCII : 0u);
  }

  __m128i stop0_, stop1_, stop2_;
};

#else

class Stops {
 public:
  explicit Stops(const std::array<std::uint64_t, 3>&) {}
  // Without the vector unit every field takes the general path, which checks a word at a time.
  unsigned copy(const char*, std::size_t, char*) const { return stopByte | beyondASCII; }
};

#endif

}  // namespace RecordCSV::scan16
