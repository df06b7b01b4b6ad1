#pragma once
// Texts that are canonically equivalent count as equal: header names, and the texts
// that decoding strategies compare against.

#include <string>
#include <string_view>

namespace RecordCSV {

bool isASCII(std::string_view text);
/// The NFC form; ASCII and text already in NFC come back unchanged.
std::string canonical(std::string_view text);
/// Equal bytes, or equal NFC forms.
inline bool canonicallyEqual(std::string_view left, std::string_view right) {
  if (left == right) return true;
  if (isASCII(left) && isASCII(right)) return false;
  return canonical(left) == canonical(right);
}

}  // namespace RecordCSV
