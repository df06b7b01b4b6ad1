#pragma once
// Letter-case changes of UTF-8 text with a locale's full mappings ("straße" in
// upper case is "STRASSE"; Turkish has its dotted and dotless i).

#include <string>
#include <string_view>

#include "platform/text/Locale.hpp"

namespace platform {

std::string uppercased(std::string_view text, const Locale& locale);
std::string lowercased(std::string_view text, const Locale& locale);
/// Every letter that follows a cased letter is lowered and every other letter is title-cased;
/// case-ignorable characters (an apostrophe, a full stop, combining marks) are kept and keep
/// the state, so "don't" gives "Don't".
std::string capitalized(std::string_view text, const Locale& locale);

}  // namespace platform
