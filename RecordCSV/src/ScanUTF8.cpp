// UTF-8 checks that skip ASCII a vector at a time: the text between the structural
// bytes of most files is mostly ASCII, and only the rest needs decoding.

#include <algorithm>
#include <bit>
#include <cstring>

#include "Scan.hpp"
#include "platform/core/Unicode.hpp"

#if defined(__x86_64__) || defined(__i386__)
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

std::size_t wellFormedUTF8End(std::string_view text, std::size_t from, std::size_t limit) {
  const AsciiEnd skipASCII = asciiEndOf(activeKernel());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  limit = std::min(limit, n);
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

}  // namespace RecordCSV::scan
