#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "Pelmora_Zava/TokenValueProvider.hpp"

namespace Pelmora_Zava {
namespace {

// Word characters and white space as the regular-expression engine defines \w and \s.
constexpr std::array<bool, 128> asciiNameTable = [] {
  std::array<bool, 128> table{};
  for (char c = 'a'; c <= 'z'; ++c) table[static_cast<unsigned char>(c)] = true;
  for (char c = 'A'; c <= 'Z'; ++c) table[static_cast<unsigned char>(c)] = true;
  for (char c = '0'; c <= '9'; ++c) table[static_cast<unsigned char>(c)] = true;
  for (char c : {'_', ' ', '\t', '\n', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

bool isNameScalar(UChar32 c) {
  if (c < 0) return false;
  if (c < 128) return asciiNameTable[static_cast<std::size_t>(c)];
  if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || u_hasBinaryProperty(c, UCHAR_WHITE_SPACE)) return true;
  if (U_GET_GC_MASK(c) & (U_GC_M_MASK | U_GC_ND_MASK | U_GC_PC_MASK)) return true;
  return c == 0x200C || c == 0x200D;
}

}  // namespace

std::optional<TokenPattern::Match> TokenPattern::firstMatch(std::string_view text) const {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t start = 0;
  while (start < length) {
    const void* brace = std::memchr(data + start, '{', static_cast<std::size_t>(length - start));
    if (!brace) return std::nullopt;
    const auto open = static_cast<int32_t>(static_cast<const std::uint8_t*>(brace) - data);
    int32_t i = open + 1;
    int32_t nameEnd = i;
    while (i < length) {
      if (data[i] == '}') break;
      if (data[i] < 0x80) {  // one byte, one scalar: the table answers
        if (!asciiNameTable[data[i]]) break;
        nameEnd = ++i;
        continue;
      }
      UChar32 c;
      U8_NEXT(data, i, length, c);
      if (!isNameScalar(c)) break;
      nameEnd = i;
    }
    if (i < length && data[i] == '}' && nameEnd == i && nameEnd > open + 1) {
      Match match;
      match.location = static_cast<std::size_t>(open);
      match.length = static_cast<std::size_t>(i + 1 - open);
      match.text = text.substr(match.location, match.length);
      match.name = text.substr(match.location + 1, match.length - 2);
      return match;
    }
    start = open + 1;
  }
  return std::nullopt;
}

}  // namespace Pelmora_Zava
