#pragma once
// Finding the stop bytes of the common dialects (an ASCII field delimiter, the
// double quote, CR and LF) 64 bytes at a time, one bit per byte. The kernel is chosen
// once per process by what the processor offers; tests may pin one.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace RecordCSV::scan {

/// Up to four ASCII bytes to look for; unused places repeat a byte already given.
struct StopBytes {
  std::array<unsigned char, 4> bytes{};
  std::array<bool, 256> table{};  // the same bytes, for the portable kernel

  /// Nothing when `stops` is empty, longer than four bytes or holds a byte of 0x80 or more.
  static std::optional<StopBytes> make(std::string_view stops);
};

/// Bit i set when `block[i]` is one of the stop bytes; `block` holds at least 64 bytes.
using Classify = std::uint64_t (*)(const char* block, const StopBytes& stops);

enum class Kernel {
  byteEngine,  // no vector scan: every dialect goes byte by byte
  portable,
  sse2,
  avx2,
};

/// The kernels this processor runs, best last (the byte engine and the portable one always).
std::span<const Kernel> availableKernels();
/// The kernel readers use: the best available, unless a test pinned another.
Kernel activeKernel();
/// Pins the kernel that readers created afterwards use, one of `availableKernels()`;
/// nothing returns to the best. For tests, which compare every kernel with the byte engine.
void pinKernel(std::optional<Kernel> kernel);
/// The classifier of a kernel; null for the byte engine.
Classify classifier(Kernel kernel);

/// Where the ASCII bytes from `from` on end, at most at `limit`; by the active kernel.
std::size_t asciiEnd(const unsigned char* bytes, std::size_t from, std::size_t limit);
/// Where the well-formed UTF-8 of `text` from `from` on ends: the start of the first bad
/// sequence, or the end of the last sequence that starts before `limit` (which may lie past
/// it). Runs of ASCII are skipped by the active kernel.
std::size_t wellFormedUTF8End(std::string_view text, std::size_t from, std::size_t limit);
inline bool isWellFormedUTF8(std::string_view text) {
  return wellFormedUTF8End(text, 0, text.size()) == text.size();
}

/// Bit i set when an odd number of the bits 0..i of `x` are set: with quote bits, the bytes
/// from an opening quote up to (not including) its closing one.
inline std::uint64_t prefixXor(std::uint64_t x) noexcept {
  for (unsigned shift = 1; shift < 64; shift <<= 1) x ^= x << shift;
  return x;
}

/// Bits of the stop bytes among the first `count` (below 64) bytes of `bytes`.
inline std::uint64_t classifyTail(const char* bytes, std::size_t count, const StopBytes& stops) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < count; ++i)
    if (stops.table[static_cast<unsigned char>(bytes[i])]) bits |= std::uint64_t{1} << i;
  return bits;
}

}  // namespace RecordCSV::scan
