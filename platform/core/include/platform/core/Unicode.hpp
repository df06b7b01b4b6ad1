#pragma once
// Small, allocation-free helpers for moving between Unicode scalars and UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// Whether `value` is a Unicode scalar: a code point that is not a surrogate.
constexpr bool isScalar(char32_t value) { return value < 0x110000 && (value < 0xD800 || value > 0xDFFF); }

/// Appends the UTF-8 form of a scalar (the caller guarantees it is one).
inline void appendUTF8(std::string& out, char32_t scalar) {
  if (scalar < 0x80) {
    out.push_back(static_cast<char>(scalar));
  } else if (scalar < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else if (scalar < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
  }
}

std::string toUTF8(std::u32string_view scalars);

/// The scalars of well-formed UTF-8 text (as every std::string at our interfaces is).
/// Each byte of an ill-formed sequence reads as U+FFFD.
std::u32string toScalars(std::string_view utf8);
/// The same, appended to `scalars` (which keeps its storage for the next text).
void appendScalars(std::string_view utf8, std::u32string& scalars);

/// Length of the well-formed UTF-8 sequence starting at `text[0]`, or 0 when it is ill-formed or cut short.
std::size_t wellFormedUTF8Length(const unsigned char* text, std::size_t available);

/// Scanning `text` from `from`, where its well-formed UTF-8 ends: at the first byte that does
/// not begin a whole well-formed sequence, or past `limit` once the sequence crossing it is whole.
std::size_t wellFormedUTF8End(std::string_view text, std::size_t from, std::size_t limit);

/// Whether the whole text is well-formed UTF-8.
bool isWellFormedUTF8(std::string_view text);

}  // namespace platform
