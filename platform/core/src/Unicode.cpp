#include "platform/core/Unicode.hpp"

#include <algorithm>
#include <cstring>

namespace platform {

std::string toUTF8(std::u32string_view scalars) {
  std::string out;
  out.reserve(scalars.size());
  for (char32_t scalar : scalars) appendUTF8(out, scalar);
  return out;
}

std::size_t wellFormedUTF8Length(const unsigned char* s, std::size_t n) {
  if (n == 0) return 0;
  const unsigned char b0 = s[0];
  if (b0 < 0x80) return 1;
  auto cont = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < n && s[i] >= lo && s[i] <= hi;
  };
  if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
  if (b0 == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if ((b0 >= 0xE1 && b0 <= 0xEC) || b0 == 0xEE || b0 == 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (b0 == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (b0 == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (b0 >= 0xF1 && b0 <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (b0 == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

std::size_t wellFormedUTF8End(std::string_view text, std::size_t from, std::size_t limit) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  limit = std::min(limit, n);
  std::size_t i = from;
  while (i < limit) {
    // Eight ASCII bytes at a time: most text is mostly ASCII.
    if (i + 8 <= limit) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = wellFormedUTF8Length(s + i, n - i);
    if (length == 0) return i;
    i += length;
  }
  return i;
}

bool isWellFormedUTF8(std::string_view text) { return wellFormedUTF8End(text, 0, text.size()) == text.size(); }

std::u32string toScalars(std::string_view text) {
  std::u32string scalars;
  appendScalars(text, scalars);
  return scalars;
}

void appendScalars(std::string_view text, std::u32string& scalars) {
  scalars.reserve(scalars.size() + text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::size_t length = wellFormedUTF8Length(s + i, n - i);
    switch (length) {
      case 1: scalars.push_back(s[i]); break;
      case 2: scalars.push_back(char32_t(s[i] & 0x1F) << 6 | (s[i + 1] & 0x3F)); break;
      case 3: scalars.push_back(char32_t(s[i] & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F)); break;
      case 4:
        scalars.push_back(char32_t(s[i] & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 |
                          char32_t(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F));
        break;
      default:
        scalars.push_back(0xFFFD);
        i += 1;
        continue;
    }
    i += length;
  }
}

}  // namespace platform
