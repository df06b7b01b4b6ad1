#pragma once
// Line ends that the row delimiter in force does not match: the reader folds lines into one row,
// or cuts a CR LF pair in two. The cure is another --row-delimiter, named as the option takes it.

#include <optional>
#include <string_view>

#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// The cure for `text`, which yields no records under `configuration`, when its lines folded
/// into the rows the reader cut.
std::optional<std::string_view> foldedLinesCure(std::string_view text,
                                                const RecordCSV::CSVReader::Configuration& configuration);

/// The cure for `error`, a fault in a row of `text` that the reader threw under `configuration`,
/// when the row delimiter is its cause: a lone CR or LF ends a line inside the failing row, or the
/// row begins inside a CR LF pair and the standard row delimiter reads the whole text.
std::optional<std::string_view> rowDelimiterCure(const RecordCSV::CSVReaderError& error, std::string_view text,
                                                 const RecordCSV::CSVReader::Configuration& configuration);

}  // namespace Pelmora_Zava::cli
