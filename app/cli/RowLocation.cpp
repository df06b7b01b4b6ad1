#include "RowLocation.hpp"

#include <algorithm>

#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/UTF8Source.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;
using Reason = CSVReader::Reason;

/// Line breaks as an editor counts them: LF, CR LF and a lone CR; a CR at the very end counts.
std::int64_t lineBreaks(std::string_view text) {
  std::int64_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    breaks += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
  return breaks;
}

/// The rows the reader completes in `text`, every one a record, up to the end or its first failure.
std::int64_t rowsBeforeEndOrFailure(std::string_view text, CSVReader::Configuration configuration) {
  configuration.headerStrategy = RecordCSV::Strategy::Header::none();
  CSVReader reader = readerOf(text, std::move(configuration));
  RecordCSV::FieldTable table;
  std::int64_t rows = 0;
  try {
    while (reader.readRow(table)) {
      ++rows;
      table.clear();
    }
  } catch (const RecordCSV::CSVReaderError& error) {
    // A row with another number of fields than the first was cut all the same.
    rows += error.fault().reason == Reason::fieldCount;
  }
  return rows;
}

/// Whether reading `text` with `lineEnd` added to the row delimiters of `configuration` cuts more rows.
bool moreRowsWith(std::string_view text, const CSVReader::Configuration& configuration, std::u32string lineEnd) {
  CSVReader::Configuration widened = configuration;
  widened.delimiters.row.scalars.insert(std::move(lineEnd));
  return rowsBeforeEndOrFailure(text, widened) > rowsBeforeEndOrFailure(text, configuration);
}

}  // namespace

CSVReader readerOf(std::string_view text, CSVReader::Configuration configuration, std::uint64_t from) {
  return CSVReader(std::move(configuration), RecordCSV::UTF8Source::overText(text.substr(from)));
}

std::int64_t lineCount(std::string_view text) {
  const bool unendedLastLine = !text.empty() && text.back() != '\n' && text.back() != '\r';
  return lineBreaks(text) + unendedLastLine;
}

std::int64_t lineAt(std::string_view text, std::uint64_t offset) {
  const std::size_t end = static_cast<std::size_t>(std::min<std::uint64_t>(offset, text.size()));
  // A CR just before the offset ends its line only when no LF follows it there; a row that
  // begins at that LF and holds more than it (CR alone the row delimiter) is on the next line.
  std::int64_t breaks = lineBreaks(text.substr(0, end));
  if (end > 0 && end < text.size() && text[end - 1] == '\r' && text[end] == '\n' &&
      (end + 1 == text.size() || text[end + 1] == '\r'))
    --breaks;
  return 1 + breaks;
}

std::optional<std::int64_t> lineOfFailingRow(const RecordCSV::CSVReaderError& error, std::string_view text) {
  // The header's own faults name no line: the header row is the one --starting-row gives.
  const CSVReader::Fault& fault = error.fault();
  if (!fault.rowStart || fault.reason == Reason::duplicateHeaders) return std::nullopt;
  return lineAt(text, *fault.rowStart);
}

bool holdsUnmatchedLoneCR(std::string_view text, const RecordCSV::Delimiter::Row& rows) {
  if (rows.scalars.contains(U"\r")) return false;
  for (std::size_t at = text.find('\r'); at != std::string_view::npos; at = text.find('\r', at + 1))
    if (at + 1 == text.size() || text[at + 1] != '\n') return true;
  return false;
}

bool loneCREndsRows(std::string_view text, const CSVReader::Configuration& configuration) {
  return holdsUnmatchedLoneCR(text, configuration.delimiters.row) && moreRowsWith(text, configuration, U"\r");
}

bool loneLFEndsRows(std::string_view text, const CSVReader::Configuration& configuration) {
  if (configuration.delimiters.row.scalars.contains(U"\n")) return false;
  bool lone = false;
  for (std::size_t at = text.find('\n'); at != std::string_view::npos && !lone; at = text.find('\n', at + 1))
    lone = at == 0 || text[at - 1] != '\r';
  return lone && moreRowsWith(text, configuration, U"\n");
}

std::optional<std::int64_t> rowsCutForHeader(std::string_view text, const CSVReader::Configuration& configuration) {
  try {
    return readerOf(text, configuration).rowsCut();
  } catch (const RecordCSV::CSVReaderError&) {
    return std::nullopt;
  }
}

bool holdsOnlyBlankLines(std::string_view text, const CSVReader::Configuration& configuration) {
  if (text.empty()) return false;
  CSVReader::Configuration withoutHeader = configuration;
  withoutHeader.headerStrategy = RecordCSV::Strategy::Header::none();
  try {
    return !readerOf(text, withoutHeader).readRow();
  } catch (const RecordCSV::CSVReaderError&) {
    return false;
  }
}

}  // namespace Pelmora_Zava::cli
