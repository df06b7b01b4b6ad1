#include "Pelmora_Zava/ControlCharacters.hpp"

#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava {

std::u32string visualizingControlCharacters(std::string_view text, bool mapsLineBreaks) {
  std::u32string scalars = platform::toScalars(text);
  for (char32_t& scalar : scalars) {
    if (scalar == 0x7F) {
      scalar = 0x2421;
    } else if (mapsLineBreaks ? scalar <= 0x20 : (scalar < 0x20 && scalar != '\n' && scalar != '\r')) {
      scalar += 0x2400;
    }
  }
  return scalars;
}

}  // namespace Pelmora_Zava
