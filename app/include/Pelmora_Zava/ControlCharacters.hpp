#pragma once
// Invisible characters made visible with the pictures of the control-pictures
// block, for logs and for name rows that show what a name really holds.

#include <string>
#include <string_view>

namespace Pelmora_Zava {

/// The scalars of `text` with U+0000…U+001F shown as U+2400…U+241F and DEL as U+2421.
/// With `mapsLineBreaks`, the space, LF and CR are shown as pictures too; without it they stay.
std::u32string visualizingControlCharacters(std::string_view text, bool mapsLineBreaks);

}  // namespace Pelmora_Zava
