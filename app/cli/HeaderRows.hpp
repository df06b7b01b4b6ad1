#pragma once
// Where a datasource's header really lies, and what a row whose width is not the header's
// means. Spreadsheet programs save empty rows as ",,", pad a title row to the table's width,
// leave a column they were never given a name unnamed and trailing empty fields out of a row:
// the delimiter is seldom the mistake then. Each --starting-row or --header none named is one
// that, typed back, reads every row below the header and at least one record.

#include <cstdint>
#include <optional>
#include <string>

#include "ImportTrial.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "TextDiagnosis.hpp"

namespace Pelmora_Zava::cli {

/// What the rows say of a header the reader refused.
struct HeaderReading {
  /// One line: where the header lies, or the readings a header of empty fields allows.
  std::optional<std::string> text;
  /// Whether it takes the place of the reader error's own cure, which would name --header none.
  bool replacesCure = false;
};

/// For `error`, a fault of the header row of `diagnosis` (an empty line, or equal fields that are
/// all empty ones) or of the first row below a one-field header and blank rows.
HeaderReading headerReading(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                            const NameFields& names);

/// The readings of the header row of `diagnosis`, whose only fault is empty fields; for a header
/// that the reader took, only where a row of no text follows it, as it does below a title.
std::optional<std::string> emptyFieldsReading(const TextDiagnosis& diagnosis, const NameFields& names,
                                              bool readerTookIt);

/// Whether `headers` hold one field of text and one or more empty ones: a title, it may be.
bool mayBeTitle(const std::vector<std::string>& headers);

/// For a row on `line` whose width is not its header's: what the row's fields and the header's
/// say, when neither the delimiter nor the quoting can be the cause: the header is split into
/// several fields, holds no other delimiter the command reads, and the row holds no quote.
std::optional<std::string> widthCure(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                                     std::int64_t line);

}  // namespace Pelmora_Zava::cli
