#pragma once
// Where a datasource's header really lies, and what a row whose width is not the header's
// means. Spreadsheet programs save empty rows as ",,", pad a title row to the table's width
// and leave trailing empty fields out of a row: the delimiter is seldom the mistake then.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecordCSV/CSVReader.hpp"
#include "RowLocation.hpp"

namespace Pelmora_Zava::cli {

/// For `error`, which the reader threw on `text` under `configuration`: the row --starting-row
/// should name when rows above the header caused it, and only one the reader then reads the whole
/// of `text` with. Rows above the header are blank ones, empty rows and titles that a
/// spreadsheet pads to the table's width (",," and "Title,,": the header's equal fields are
/// empty ones), and a one-field title above a blank row and a wider table. The header named is
/// the first row below them that is no such row and has the width of the row after it.
std::optional<FilledRow> headerBelow(const RecordCSV::CSVReaderError& error, std::string_view text,
                                     const RecordCSV::CSVReader::Configuration& configuration);

/// For a row on `line` whose width is not its header's: what the row's fields and the header's
/// say, when neither the delimiter nor the quoting can be the cause: the header is split into
/// several fields, holds no other delimiter the command reads, and the row holds no quote.
std::optional<std::string> widthCure(const RecordCSV::CSVReaderError& error, std::string_view text,
                                     const RecordCSV::CSVReader::Configuration& configuration, std::int64_t line);

}  // namespace Pelmora_Zava::cli
