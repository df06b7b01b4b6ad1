#include "platform/core/Base64.hpp"

#include <array>
#include <cstdint>

namespace platform {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> decodeTable = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}();

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string base64Encoded(const Data& data) {
  std::string text;
  text.reserve((data.size() + 2) / 3 * 4);
  const std::uint8_t* bytes = data.data();
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t group = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    text += alphabet[(group >> 18) & 63];
    text += alphabet[(group >> 12) & 63];
    text += alphabet[(group >> 6) & 63];
    text += alphabet[group & 63];
  }
  std::size_t rest = data.size() - i;
  if (rest) {
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (rest == 2) group |= std::uint32_t{bytes[i + 1]} << 8;
    text += alphabet[(group >> 18) & 63];
    text += alphabet[(group >> 12) & 63];
    text += rest == 2 ? alphabet[(group >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

std::optional<Data> base64Decoded(std::string_view text, Base64Decoding mode) {
  const bool skipsWhiteSpace = mode == Base64Decoding::skippingWhiteSpace;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int count = 0;    // sextets in the current group
  int padding = 0;  // '=' seen; only white space and more '=' may follow
  for (char c : text) {
    if (isSpace(c)) {
      if (skipsWhiteSpace) continue;
      return std::nullopt;
    }
    if (c == '=') {
      if (count < 2 || count + padding >= 4) return std::nullopt;
      ++padding;
      continue;
    }
    std::int8_t value = decodeTable[static_cast<unsigned char>(c)];
    if (value < 0 || padding) return std::nullopt;
    group = (group << 6) | static_cast<std::uint32_t>(value);
    if (++count == 4) {
      bytes.push_back(static_cast<std::uint8_t>(group >> 16));
      bytes.push_back(static_cast<std::uint8_t>(group >> 8));
      bytes.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      count = 0;
    }
  }
  // Padding is required: the text is whole groups of four.
  if (count != 0 && count + padding != 4) return std::nullopt;
  if (count == 2) {
    bytes.push_back(static_cast<std::uint8_t>(group >> 4));
  } else if (count == 3) {
    bytes.push_back(static_cast<std::uint8_t>(group >> 10));
    bytes.push_back(static_cast<std::uint8_t>(group >> 2));
  }
  return Data(std::move(bytes));
}

}  // namespace platform
