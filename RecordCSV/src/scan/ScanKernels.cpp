// The classifiers behind scan::Classify. The AVX2 one carries its own target attribute,
// so the library itself still runs on any x86-64 and picks it only where the processor has it.

#include <atomic>
#include <cstring>
#include <vector>

#include "scan/Scan.hpp"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(PZ_PORTABLE_SCAN)
#include <immintrin.h>
#define PZ_SCAN_X86 1
#endif

namespace RecordCSV::scan {
namespace {

std::uint64_t classifyPortable(const char* block, const StopBytes& stops) {
  return classifyTail(block, 32, stops) | classifyTail(block + 32, 32, stops) << 32;
}

#ifdef PZ_SCAN_X86

std::uint64_t classifySSE2(const char* block, const StopBytes& stops) {
  const __m128i s0 = _mm_set1_epi8(static_cast<char>(stops.bytes[0]));
  const __m128i s1 = _mm_set1_epi8(static_cast<char>(stops.bytes[1]));
  const __m128i s2 = _mm_set1_epi8(static_cast<char>(stops.bytes[2]));
  const __m128i s3 = _mm_set1_epi8(static_cast<char>(stops.bytes[3]));
  std::uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, s0), _mm_cmpeq_epi8(v, s1)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, s2), _mm_cmpeq_epi8(v, s3)));
    bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(hit))} << (16 * i);
  }
  return bits;
}

__attribute__((target("avx2"))) std::uint64_t classifyAVX2(const char* block, const StopBytes& stops) {
  const __m256i s0 = _mm256_set1_epi8(static_cast<char>(stops.bytes[0]));
  const __m256i s1 = _mm256_set1_epi8(static_cast<char>(stops.bytes[1]));
  const __m256i s2 = _mm256_set1_epi8(static_cast<char>(stops.bytes[2]));
  const __m256i s3 = _mm256_set1_epi8(static_cast<char>(stops.bytes[3]));
  std::uint64_t bits = 0;
  for (int i = 0; i < 2; ++i) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32 * i));
    const __m256i hit = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, s0), _mm256_cmpeq_epi8(v, s1)),
                                        _mm256_or_si256(_mm256_cmpeq_epi8(v, s2), _mm256_cmpeq_epi8(v, s3)));
    bits |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hit))} << (32 * i);
  }
  return bits;
}

#endif

std::vector<Kernel> detectKernels() {
  std::vector<Kernel> kernels = {Kernel::byteEngine, Kernel::portable};
#ifdef PZ_SCAN_X86
  kernels.push_back(Kernel::sse2);  // part of every x86-64
  if (__builtin_cpu_supports("avx2")) kernels.push_back(Kernel::avx2);
#endif
  return kernels;
}

const std::vector<Kernel>& kernels() {
  static const std::vector<Kernel> detected = detectKernels();
  return detected;
}

// -1: none pinned.
std::atomic<int> pinned{-1};

}  // namespace

std::optional<StopBytes> StopBytes::make(std::string_view stops) {
  if (stops.empty() || stops.size() > 4) return std::nullopt;
  StopBytes result;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto byte = static_cast<unsigned char>(stops[i < stops.size() ? i : 0]);
    if (byte >= 0x80) return std::nullopt;
    result.bytes[i] = byte;
    result.table[byte] = true;
  }
  return result;
}

std::span<const Kernel> availableKernels() { return kernels(); }

Kernel activeKernel() {
  const int kernel = pinned.load(std::memory_order_relaxed);
  return kernel < 0 ? kernels().back() : static_cast<Kernel>(kernel);
}

void pinKernel(std::optional<Kernel> kernel) {
  pinned.store(kernel ? static_cast<int>(*kernel) : -1, std::memory_order_relaxed);
}

Classify classifier(Kernel kernel) {
  switch (kernel) {
    case Kernel::byteEngine: return nullptr;
    case Kernel::portable: return classifyPortable;
#ifdef PZ_SCAN_X86
    case Kernel::sse2: return classifySSE2;
    case Kernel::avx2: return classifyAVX2;
#else
    default: break;
#endif
  }
  return classifyPortable;
}

}  // namespace RecordCSV::scan
