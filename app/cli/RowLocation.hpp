#pragma once
// Where a reader error's row lies in the datasource, in the lines a text editor shows.
// The reader counts rows its own way (the header is one row however far down it is, and
// empty lines are not counted), which is no help to someone looking at the file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Data.hpp"

namespace Pelmora_Zava::cli {

/// The kinds of reader error that concern one row.
enum class RowFault { strayQualifier, unclosedQualifier, textAfterQualifiedField, fieldCount };

/// The kind of `error`, when it concerns a row.
std::optional<RowFault> rowFault(const RecordCSV::CSVReaderError& error);

/// The datasource's text as the reader decodes `data` under `configuration`, a leading
/// byte-order mark dropped: a view of `data` when it is UTF-8 or ASCII, else of `converted`,
/// which holds the text up to the first place that cannot be decoded; nothing when no text can.
std::optional<std::string_view> decodedText(const platform::Data& data,
                                            const RecordCSV::CSVReader::Configuration& configuration,
                                            std::string& converted);

/// How many lines an editor shows for `text`: LF, CR LF and a lone CR each end one, and a
/// last line without an ending counts too.
std::int64_t lineCount(std::string_view text);

/// The line, counted from 1, on which the row that `error` concerns begins, when the
/// reader failed on `text` read under `configuration`.
std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, std::string_view text,
                                             const RecordCSV::CSVReader::Configuration& configuration);

/// The same for the datasource's bytes, decoded as the reader decodes them.
std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, const platform::Data& data,
                                             const RecordCSV::CSVReader::Configuration& configuration);

}  // namespace Pelmora_Zava::cli
