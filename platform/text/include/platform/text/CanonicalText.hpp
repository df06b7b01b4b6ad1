#pragma once
// Text equality as people see it: two spellings of the same letters (a precomposed
// "é" and "e" with a combining accent) are the same text, as names, tokens and
// token names.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

/// A text in its canonical composed form (NFC); texts that are already in it come back unchanged.
std::string canonicalText(std::string_view text);
/// Whether every byte of the text is ASCII (such text is always canonical).
bool isASCII(std::string_view text);
/// Whether a text is in its canonical composed form already.
bool isCanonical(std::string_view text);
/// Hash of the canonical form, so that canonically equal texts hash alike.
std::size_t canonicalHash(std::string_view text);
/// Whether two texts are canonically equal.
bool canonicallyEqual(std::string_view a, std::string_view b);

/// Orders texts by their canonical forms, so that a map keeps one entry per canonical text.
struct CanonicalLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

}  // namespace platform
