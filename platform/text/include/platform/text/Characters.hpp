#pragma once
// Counting and cutting UTF-8 text by characters: extended grapheme clusters, so
// that a letter with its accents, an emoji sequence or CR LF is one character.

#include <cstddef>
#include <string_view>
#include <vector>

namespace platform {

/// The number of characters in the text.
std::size_t characterCount(std::string_view text);
/// The byte offset just after the first `count` characters; the text's size when it has fewer.
std::size_t offsetAfterCharacters(std::string_view text, std::size_t count);
/// The byte offset just before the last `count` characters; 0 when the text has fewer.
std::size_t offsetBeforeLastCharacters(std::string_view text, std::size_t count);

/// The offsets in UTF-16 text where one character ends and the next begins, from 0 to its length.
std::vector<std::size_t> characterBoundaries(std::u16string_view text);

}  // namespace platform
