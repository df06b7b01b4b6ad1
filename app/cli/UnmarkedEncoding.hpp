#pragma once
// What a datasource's bytes say about the encoding they are in when the settings read them in
// another: NUL bytes standing where text in UTF-16 or UTF-32 without a byte-order mark puts
// them, and the cure for a decoding failure where naming some other encoding would not cure.

#include <optional>
#include <string>
#include <string_view>

#include "DatasourceText.hpp"
#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// The code unit width (2 or 4 bytes) and byte order of text whose NUL bytes stand, across
/// most of the first few KiB of `bytes`, where UTF-16 or UTF-32 puts them for letters below
/// U+0100: every second byte, or three of every four.
struct WideLayout {
  int width;
  bool littleEndian;
  friend bool operator==(const WideLayout&, const WideLayout&) = default;
};
std::optional<WideLayout> wideLayoutOf(std::string_view bytes);

/// The line naming the encoding the datasource looks to be in, when its bytes carry no mark
/// and stand as UTF-16 or UTF-32 text in another width or byte order than the settings read.
std::optional<std::string> misreadWideText(DatasourceText& text);

/// For a decoding failure, the cure where another encoding's name would not cure: the mark's
/// encoding is the only one the datasource can be read in, and well-formed UTF-8 is read as
/// UTF-8. Nothing where another encoding may cure.
std::optional<std::string> decodingCure(const RecordCSV::CSVReaderError& error, DatasourceText& text);

}  // namespace Pelmora_Zava::cli
