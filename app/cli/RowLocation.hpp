#pragma once
// Where a reader error's row lies in the datasource, in the lines a text editor shows, and
// what the reader's rows say about the datasource's lines. The reader says where its failing
// row begins in the text it decoded; the command only counts the line breaks up to there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava::cli {

/// A reader of `text`, the reader's own decoded text, from `from` on: cheap, for reading it again
/// under other settings.
RecordCSV::CSVReader readerOf(std::string_view text, RecordCSV::CSVReader::Configuration configuration,
                              std::uint64_t from = 0);

/// How many lines an editor shows for `text`: LF, CR LF and a lone CR each end one, and a
/// last line without an ending counts too.
std::int64_t lineCount(std::string_view text);

/// The line, counted from 1, that holds the byte at `offset` of `text` (or that would hold it, at the end).
std::int64_t lineAt(std::string_view text, std::uint64_t offset);

/// The line, counted from 1, on which the row that `error` concerns begins, when the reader
/// failed with a fault in a row of `text`, the text it decoded.
std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, std::string_view text);

/// Whether `text` holds a CR that ends a line for an editor but that no row delimiter of `rows` matches.
bool holdsUnmatchedLoneCR(std::string_view text, const RecordCSV::Delimiter::Row& rows);

/// Whether a lone CR of `text` ends a line that the reader does not end under `configuration`:
/// with CR added to its row delimiters it cuts more rows from `text` (up to the end or a failure).
/// A CR inside a quoted field is data, and leaves the count as it is.
bool loneCREndsRows(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration);

/// Whether an LF that no CR precedes ends a line of `text` that the reader does not end under
/// `configuration`, as `loneCREndsRows` decides it for CR.
bool loneLFEndsRows(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration);

/// How many rows the reader cuts from `text` under `configuration` while it looks for its header
/// row: all of them when the text ends first; nothing when it fails.
std::optional<std::int64_t> rowsCutForHeader(std::string_view text,
                                             const RecordCSV::CSVReader::Configuration& configuration);

/// Whether `text` is not empty and every row the reader cuts from it is an empty line.
bool holdsOnlyBlankLines(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration);

/// A row as --starting-row counts them, and the line that holds it.
struct FilledRow {
  std::int64_t row;
  std::int64_t line;
};

}  // namespace Pelmora_Zava::cli
