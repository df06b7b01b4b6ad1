// UTF-8 checks that skip ASCII a vector at a time: the text between the stop
// bytes of most files is mostly ASCII, and only the rest needs decoding.

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/core/Unicode.hpp"
#include "scan/Scan.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(PZ_PORTABLE_SCAN)
#include <immintrin.h>
#define PZ_SCAN_X86 1
#endif

namespace RecordCSV::scan {
namespace {

std::size_t asciiEndBytewise(const unsigned char* s, std::size_t i, std::size_t limit) {
  while (i < limit && s[i] < 0x80) ++i;
  return i;
}

std::size_t asciiEndPortable(const unsigned char* s, std::size_t i, std::size_t limit) {
  for (; limit - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s + i, 8);
    if (const std::uint64_t high = word & 0x8080808080808080ull; high != 0) {
      if constexpr (std::endian::native == std::endian::little)
        return i + static_cast<std::size_t>(std::countr_zero(high)) / 8;
      return asciiEndBytewise(s, i, limit);
    }
  }
  return asciiEndBytewise(s, i, limit);
}

#ifdef PZ_SCAN_X86

std::size_t asciiEndSSE2(const unsigned char* s, std::size_t i, std::size_t limit) {
  for (; limit - i >= 16; i += 16) {
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))));
    if (high != 0) return i + static_cast<std::size_t>(std::countr_zero(high));
  }
  return asciiEndBytewise(s, i, limit);
}

__attribute__((target("avx2"))) std::size_t asciiEndAVX2(const unsigned char* s, std::size_t i, std::size_t limit) {
  for (; limit - i >= 32; i += 32) {
    const auto high =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i))));
    if (high != 0) return i + static_cast<std::size_t>(std::countr_zero(high));
  }
  return asciiEndSSE2(s, i, limit);
}

// Checks 32 bytes at a time by looking up, for each byte, the classes of errors its high
// nibble, its predecessor's nibbles and the bytes two and three back allow. Blocks of ASCII
// take the same steps: names beyond ASCII here and there would make a branch for them miss.
struct UTF8Checker {
  __m256i error{};
  __m256i previous{};
  __m256i previousIncomplete{};

  static constexpr std::uint8_t tooShort = 1 << 0;  // a lead or ASCII where a continuation must be
  static constexpr std::uint8_t tooLong = 1 << 1;  // a continuation after ASCII
  static constexpr std::uint8_t overlong3 = 1 << 2;
  static constexpr std::uint8_t tooLarge = 1 << 3;
  static constexpr std::uint8_t surrogate = 1 << 4;
  static constexpr std::uint8_t overlong2 = 1 << 5;
  static constexpr std::uint8_t tooLarge1000 = 1 << 6;
  static constexpr std::uint8_t overlong4 = 1 << 6;
  static constexpr std::uint8_t twoContinuations = 1 << 7;
  static constexpr std::uint8_t carry = tooShort | tooLong | twoContinuations;

  __attribute__((target("avx2"))) static __m256i lookup(__m256i nibbles, const std::uint8_t (&table)[16]) {
    const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(half), nibbles);
  }
  /// The bytes `n` places before each byte of `input`, the last ones of `before` first.
  template <int n>
  __attribute__((target("avx2"))) static __m256i shifted(__m256i input, __m256i before) {
    return _mm256_alignr_epi8(input, _mm256_permute2x128_si256(before, input, 0x21), 16 - n);
  }

  __attribute__((target("avx2"))) void check(__m256i input) {
    static constexpr std::uint8_t firstHigh[16] = {
        tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong, tooLong,
        twoContinuations, twoContinuations, twoContinuations, twoContinuations,
        tooShort | overlong2, tooShort, tooShort | overlong3 | surrogate,
        tooShort | tooLarge | tooLarge1000 | overlong4};
    static constexpr std::uint8_t firstLow[16] = {
        carry | overlong3 | overlong2 | overlong4, carry | overlong2, carry, carry,
        carry | tooLarge, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000 | surrogate, carry | tooLarge | tooLarge1000,
        carry | tooLarge | tooLarge1000};
    static constexpr std::uint8_t secondHigh[16] = {
        tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort, tooShort,
        tooLong | overlong2 | twoContinuations | overlong3 | tooLarge1000 | overlong4,
        tooLong | overlong2 | twoContinuations | overlong3 | tooLarge,
        tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
        tooLong | overlong2 | twoContinuations | surrogate | tooLarge,
        tooShort, tooShort, tooShort, tooShort};
    const __m256i lowNibble = _mm256_set1_epi8(0x0F);
    const __m256i before1 = shifted<1>(input, previous);
    const __m256i special =
        _mm256_and_si256(_mm256_and_si256(lookup(_mm256_and_si256(_mm256_srli_epi16(before1, 4), lowNibble), firstHigh),
                                          lookup(_mm256_and_si256(before1, lowNibble), firstLow)),
                         lookup(_mm256_and_si256(_mm256_srli_epi16(input, 4), lowNibble), secondHigh));
    // Bytes two or three after a three- or four-byte lead must be continuations.
    const __m256i third = _mm256_subs_epu8(shifted<2>(input, previous), _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
    const __m256i fourth = _mm256_subs_epu8(shifted<3>(input, previous), _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
    const __m256i mustContinue = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
    error = _mm256_or_si256(error, _mm256_xor_si256(mustContinue, special));
    // Set where the block's last three bytes start a sequence that goes on past it.
    const __m256i lastMaximum = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                 -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                                                 static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
    previousIncomplete = _mm256_subs_epu8(input, lastMaximum);
    previous = input;
  }
  __attribute__((target("avx2"))) bool failed() const { return !_mm256_testz_si256(error, error); }
  __attribute__((target("avx2"))) bool endsInside() const {
    return !_mm256_testz_si256(previousIncomplete, previousIncomplete);
  }
};

#endif

using AsciiEnd = std::size_t (*)(const unsigned char*, std::size_t, std::size_t);

AsciiEnd asciiEndOf(Kernel kernel) {
  switch (kernel) {
    case Kernel::byteEngine: return asciiEndBytewise;
    case Kernel::portable: return asciiEndPortable;
#ifdef PZ_SCAN_X86
    case Kernel::sse2: return asciiEndSSE2;
    case Kernel::avx2: return asciiEndAVX2;
#else
    default: break;
#endif
  }
  return asciiEndPortable;
}

}  // namespace

std::size_t asciiEnd(const unsigned char* bytes, std::size_t from, std::size_t limit) {
  return asciiEndOf(activeKernel())(bytes, from, limit);
}

namespace {

std::size_t wellFormedUTF8EndBySequence(std::string_view text, std::size_t from, std::size_t limit, AsciiEnd skipASCII) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = from;
  while (i < limit) {
    i = skipASCII(s, i, limit);
    if (i == limit) break;
    const std::size_t length = platform::wellFormedUTF8Length(s + i, n - i);
    if (length == 0) return i;
    i += length;
  }
  return i;
}

#ifdef PZ_SCAN_X86

__attribute__((target("avx2"))) std::size_t wellFormedUTF8EndAVX2(std::string_view text, std::size_t from,
                                                                  std::size_t limit) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  UTF8Checker checker;
  std::size_t i = from;
  for (; limit - i >= 32; i += 32) {
    checker.check(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
    // Where the text goes bad takes a sequence-by-sequence look, once per reader.
    if ((i - from) % 1024 == 0 && checker.failed()) return wellFormedUTF8EndBySequence(text, from, limit, asciiEndAVX2);
  }
  if (checker.failed()) return wellFormedUTF8EndBySequence(text, from, limit, asciiEndAVX2);
  // The checked bytes are whole sequences, up to the last lead when the last block ends inside one.
  if (checker.endsInside())
    while (i > from && (s[i - 1] & 0xC0) == 0x80) --i;
  if (checker.endsInside() && i > from) --i;
  return wellFormedUTF8EndBySequence(text, i, limit, asciiEndAVX2);
}

#endif

}  // namespace

std::size_t wellFormedUTF8End(std::string_view text, std::size_t from, std::size_t limit) {
  limit = std::min(limit, text.size());
  const Kernel kernel = activeKernel();
#ifdef PZ_SCAN_X86
  if (kernel == Kernel::avx2) return wellFormedUTF8EndAVX2(text, from, limit);
#endif
  return wellFormedUTF8EndBySequence(text, from, limit, asciiEndOf(kernel));
}

}  // namespace RecordCSV::scan
