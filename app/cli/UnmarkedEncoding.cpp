#include "UnmarkedEncoding.hpp"

#include <algorithm>
#include <array>

#include "CureTexts.hpp"
#include "Datasource.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/TextEncoding.hpp"

namespace Pelmora_Zava::cli {
namespace {

using Kind = platform::TextEncoding::Kind;

/// A few KiB tell: the header and the first rows.
constexpr std::size_t sampleSize = 4096;

/// How many code units of `sample` hold a letter below U+0100 in `layout`: the low byte set
/// and every other byte NUL.
std::size_t lowLetters(std::string_view sample, WideLayout layout) {
  const auto width = static_cast<std::size_t>(layout.width);
  std::size_t count = 0;
  for (std::size_t at = 0; at + width <= sample.size(); at += width) {
    const std::string_view unit = sample.substr(at, width);
    const std::size_t low = layout.littleEndian ? 0 : width - 1;
    bool letter = unit[low] != '\0';
    for (std::size_t i = 0; i < width && letter; ++i) letter = i == low || unit[i] == '\0';
    count += letter;
  }
  return count;
}

bool readsAs(const platform::TextEncoding& encoding, WideLayout layout) {
  // Without a mark, the encodings that name no byte order read big-endian.
  switch (encoding.kind()) {
    case Kind::utf16:
    case Kind::utf16BigEndian: return layout == WideLayout{2, false};
    case Kind::utf16LittleEndian: return layout == WideLayout{2, true};
    case Kind::utf32:
    case Kind::utf32BigEndian: return layout == WideLayout{4, false};
    case Kind::utf32LittleEndian: return layout == WideLayout{4, true};
    default: return false;
  }
}

std::string familyOf(const platform::TextEncoding& encoding) {
  switch (encoding.kind()) {
    case Kind::utf16:
    case Kind::utf16BigEndian:
    case Kind::utf16LittleEndian: return "UTF-16";
    case Kind::utf32:
    case Kind::utf32BigEndian:
    case Kind::utf32LittleEndian: return "UTF-32";
    default: return "UTF-8";
  }
}

}  // namespace

std::optional<WideLayout> wideLayoutOf(std::string_view bytes) {
  const std::string_view sample = bytes.substr(0, sampleSize);
  // UTF-32 first: its NULs stand at every second byte too, and more.
  for (const WideLayout layout :
       {WideLayout{4, true}, WideLayout{4, false}, WideLayout{2, true}, WideLayout{2, false}}) {
    const std::size_t units = sample.size() / static_cast<std::size_t>(layout.width);
    const std::size_t letters = lowLetters(sample, layout);
    // One unit alone is no pattern: a stray NUL after a letter would be one.
    if (letters >= 2 && letters * 2 > units) return layout;
  }
  return std::nullopt;
}

std::optional<std::string> misreadWideText(DatasourceText& text) {
  if (!text.bytes()) return std::nullopt;
  const std::string_view bytes = text.bytes()->view();
  if (looksLikeSpreadsheet(bytes) || byteOrderMarkOf(*text.bytes()).encoding) return std::nullopt;
  const std::optional<WideLayout> layout = wideLayoutOf(bytes);
  if (!layout) return std::nullopt;
  const std::optional<platform::TextEncoding>& read = text.configuration().encoding;
  if (read && readsAs(*read, *layout)) return std::nullopt;
  return cures::wideWithoutMark(layout->width, layout->littleEndian);
}

std::optional<std::string> decodingCure(const RecordCSV::CSVReaderError& error, DatasourceText& text) {
  if (!error.fault().isDecoding() || !text.bytes()) return std::nullopt;
  if (const auto mark = byteOrderMarkOf(*text.bytes()).encoding) {
    // The command refuses any other encoding for marked bytes: naming one only leads back here.
    return cures::onlyTheMarksEncoding(familyOf(*mark));
  }
  const std::optional<platform::TextEncoding>& read = text.configuration().encoding;
  if (read && read->kind() != Kind::utf8 && platform::isWellFormedUTF8(text.bytes()->view()))
    return std::string(cures::tryUTF8);
  return std::nullopt;
}

}  // namespace Pelmora_Zava::cli
