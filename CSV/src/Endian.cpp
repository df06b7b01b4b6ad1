#include "CSV/Endian.hpp"

#include <algorithm>

namespace CSV {
namespace {

template <std::size_t N>
bool startsWith(const std::uint8_t* bytes, std::size_t length, const std::array<std::uint8_t, N>& mark) {
  return length >= N && std::equal(mark.begin(), mark.end(), bytes);
}

}  // namespace

std::optional<DetectedByteOrderMark> detectByteOrderMark(const std::uint8_t* bytes, std::size_t length) {
  if (startsWith(bytes, length, ByteOrderMark::utf32BigEndian)) return DetectedByteOrderMark{Endian::big, 4};
  if (startsWith(bytes, length, ByteOrderMark::utf32LittleEndian)) return DetectedByteOrderMark{Endian::little, 4};
  if (startsWith(bytes, length, ByteOrderMark::utf8)) return DetectedByteOrderMark{Endian::unknown, 3};
  if (startsWith(bytes, length, ByteOrderMark::utf16BigEndian)) return DetectedByteOrderMark{Endian::big, 2};
  if (startsWith(bytes, length, ByteOrderMark::utf16LittleEndian)) return DetectedByteOrderMark{Endian::little, 2};
  return std::nullopt;
}

std::optional<DetectedByteOrderMark> detectByteOrderMark(const std::uint8_t* bytes, std::size_t length,
                                                         std::size_t codeUnitSize) {
  std::optional<DetectedByteOrderMark> mark = detectByteOrderMark(bytes, length);
  // UTF-16LE text that starts with U+0000 looks like the UTF-32LE mark; a 16-bit reader sees FF FE.
  if (codeUnitSize == 2 && mark && mark->length == 4 && mark->endian == Endian::little)
    return DetectedByteOrderMark{Endian::little, 2};
  if (mark && mark->length != (codeUnitSize == 1 ? 3 : codeUnitSize)) return std::nullopt;
  return mark;
}

}  // namespace CSV
