#pragma once
// Line ends that the row delimiter in force does not match: the reader folds lines into one row,
// cuts a CR LF pair in two, or leaves a line break inside a field. The cure is the first of the
// row delimiters that read line ends whole which reads the text as the import reads it.

#include <optional>
#include <string>

#include "DatasourceText.hpp"
#include "ImportTrial.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "TextDiagnosis.hpp"

namespace Pelmora_Zava::cli {

/// The cure for line breaks of `kind` that the rows of `diagnosis` did not cut at: the first of
/// --row-delimiter standard, standard-plus and crlf under which the whole text reads with no such
/// break in a name or the header, and gives a record if any does.
std::optional<std::string> lineBreakCure(const TextDiagnosis& diagnosis, const NameFields& names, BreakKind kind);

/// For `error`, the reader's fault in a row of the text of `diagnosis`, when that row holds a line
/// break it did not cut at: the cure that reads the text, records first; else one whose rows then
/// fail on a header of empty fields, with the header's readings as one line; else one that reads
/// past the row to a fault of another row whose line ends it reads.
std::optional<std::string> rowDelimiterCure(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                                            const NameFields& names);

/// For a datasource the reader gave no records, whose rows hold line breaks that no row delimiter
/// cut at: the cure that reads them, after "; ", or an empty text where none does; nothing when
/// its rows hold none.
std::optional<std::string> foldedLinesCure(DatasourceText& text);

}  // namespace Pelmora_Zava::cli
