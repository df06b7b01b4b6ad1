#include "HeaderRows.hpp"

#include <algorithm>
#include <vector>

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;
using Header = RecordCSV::Strategy::Header;
using Reason = CSVReader::Reason;

struct CutRow {
  std::vector<std::string> fields;
  std::uint64_t start;
  std::int64_t number;  // as --starting-row counts it
};

/// Whether `fields` make a title padded to the table's width or an empty row, as a spreadsheet
/// saves them: at most one field filled, and not a one-field header. A header with one unnamed
/// column is still a header.
bool isTitleRow(const std::vector<std::string>& fields) {
  const auto filled =
      std::count_if(fields.begin(), fields.end(), [](const std::string& field) { return !field.empty(); });
  return filled == 0 || (filled == 1 && fields.size() > 1);
}

std::int64_t rowsAboveHeader(const Header& header) {
  return header.kind() == Header::Kind::lineNumber ? header.line() : 0;
}

/// Calls `visit` with each row of `text` from `from` on that is not blank, of whatever width, until
/// it returns false, the text ends or a row cannot be read; `rowsBefore` rows lie above `from`.
template <class Visit>
void forEachRow(std::string_view text, CSVReader::Configuration configuration, std::uint64_t from,
                std::int64_t rowsBefore, Visit visit) {
  configuration.headerStrategy = Header::none();
  for (;;) {
    CSVReader reader = readerOf(text, configuration, from);
    try {
      while (auto row = reader.readRow())
        if (!visit(CutRow{std::move(*row), from + reader.lastRowStart(), rowsBefore + reader.rowsCut()})) return;
      return;
    } catch (const RecordCSV::CSVReaderError& error) {
      // A reader keeps to the width of its first row: a row of another width starts the next one.
      const CSVReader::Fault& fault = error.fault();
      if (fault.reason != Reason::fieldCount || !fault.rowStart || *fault.rowStart == 0) return;
      rowsBefore += reader.rowsCut();
      from += *fault.rowStart;
    }
  }
}

/// How many records the datasource gives with the header on `row`; nothing when it fails: a cure
/// is only named when it cures.
std::optional<std::int64_t> recordsWithHeaderOn(std::string_view text, CSVReader::Configuration configuration,
                                                std::int64_t row) {
  configuration.headerStrategy = row <= 1 ? Header::firstLine() : Header::lineNumber(row - 1);
  try {
    CSVReader reader = readerOf(text, std::move(configuration));
    std::int64_t records = 0;
    while (reader.readRecord()) ++records;
    return records;
  } catch (const RecordCSV::CSVReaderError&) {
    return std::nullopt;
  }
}

/// The first row below the header row at `headerStart` that is no title row and has the width of
/// the row after it, if any.
std::optional<FilledRow> tableHeaderBelow(std::string_view text, const CSVReader::Configuration& configuration,
                                          std::uint64_t headerStart) {
  std::optional<CutRow> candidate;
  std::optional<CutRow> found;
  forEachRow(text, configuration, headerStart, rowsAboveHeader(configuration.headerStrategy), [&](CutRow row) {
    if (row.start == headerStart) return true;  // the failing header itself, when it is not blank
    if (candidate && candidate->fields.size() == row.fields.size()) {
      found = std::move(candidate);
      return false;
    }
    candidate.reset();
    if (!isTitleRow(row.fields)) candidate = std::move(row);
    return true;
  });
  // A last row has no row after it to differ from: a header without records.
  if (!found) found = std::move(candidate);
  if (!found || !recordsWithHeaderOn(text, configuration, found->number)) return std::nullopt;
  return FilledRow{found->number, lineAt(text, found->start)};
}

/// A one-field header whose first row, below a blank one, fails for its width: the header is
/// that row's title.
std::optional<FilledRow> headerAfterBlankRow(std::string_view text, const CSVReader::Configuration& configuration,
                                             std::uint64_t failingRowStart) {
  if (configuration.headerStrategy.kind() == Header::Kind::none) return std::nullopt;
  CSVReader reader = readerOf(text, configuration);
  if (reader.headers().size() != 1) return std::nullopt;
  const std::int64_t rowsToHeader = reader.rowsCut();
  try {
    reader.readRow();
    return std::nullopt;  // the first row reads, so the failing one lies further down
  } catch (const RecordCSV::CSVReaderError& error) {
    if (error.fault().rowStart != failingRowStart || reader.rowsCut() == rowsToHeader) return std::nullopt;
  }
  // Without a record below it, the failing row is as likely a record with a stray delimiter.
  const std::int64_t row = reader.rowsCut() + 1;
  if (recordsWithHeaderOn(text, configuration, row).value_or(0) == 0) return std::nullopt;
  return FilledRow{row, lineAt(text, failingRowStart)};
}

/// Whether a header field holds a delimiter the command reads other than the one in use. Never
/// a space: a header's words hold spaces whatever the delimiter.
bool holdsOtherDelimiter(const std::vector<std::string>& headers, const CSVReader::Configuration& configuration) {
  for (const char delimiter : {'\t', ',', ';'}) {
    if (configuration.delimiters.field.scalars == std::u32string(1, static_cast<char32_t>(delimiter))) continue;
    for (const std::string& header : headers)
      if (header.find(delimiter) != std::string::npos) return true;
  }
  return false;
}

/// Whether the first line of the row at `rowStart` holds a double quote or the qualifier in use.
bool holdsQuote(std::string_view text, std::uint64_t rowStart, const CSVReader::Configuration& configuration) {
  std::string_view row = text.substr(std::min<std::uint64_t>(rowStart, text.size()));
  row = row.substr(0, row.find_first_of("\r\n"));
  const std::optional<char32_t> qualifier = configuration.escapingStrategy.scalar();
  return std::any_of(row.begin(), row.end(), [&](char c) {
    return c == '"' || (qualifier && static_cast<char32_t>(static_cast<unsigned char>(c)) == *qualifier);
  });
}

}  // namespace

std::optional<FilledRow> headerBelow(const RecordCSV::CSVReaderError& error, std::string_view text,
                                     const CSVReader::Configuration& configuration) {
  const CSVReader::Fault& fault = error.fault();
  if (!fault.rowStart || *fault.rowStart > text.size()) return std::nullopt;
  try {
    switch (fault.reason) {
      case Reason::emptyHeaderLine: return tableHeaderBelow(text, configuration, *fault.rowStart);
      case Reason::duplicateHeaders:
        if (!isTitleRow(readerOf(text, configuration).headers())) return std::nullopt;
        return tableHeaderBelow(text, configuration, *fault.rowStart);
      case Reason::fieldCount: return headerAfterBlankRow(text, configuration, *fault.rowStart);
      default: return std::nullopt;
    }
  } catch (const RecordCSV::CSVReaderError&) {
    return std::nullopt;
  }
}

std::optional<std::string> widthCure(const RecordCSV::CSVReaderError& error, std::string_view text,
                                     const CSVReader::Configuration& configuration, std::int64_t line) {
  const CSVReader::Fault& fault = error.fault();
  if (fault.reason != Reason::fieldCount || !fault.rowStart) return std::nullopt;
  if (configuration.headerStrategy.kind() == Header::Kind::none) return std::nullopt;
  const auto fields = error.userInfo().get<std::int64_t>("Number of parsed fields");
  const auto expected = error.userInfo().get<std::int64_t>("Number of expected fields");
  if (!fields || !expected || *expected < 2 || *fields == *expected) return std::nullopt;
  try {
    if (holdsOtherDelimiter(readerOf(text, configuration).headers(), configuration)) return std::nullopt;
  } catch (const RecordCSV::CSVReaderError&) {
    return std::nullopt;
  }
  if (holdsQuote(text, *fault.rowStart, configuration)) return std::nullopt;
  const std::string row = "line " + std::to_string(line) + " has " + std::to_string(*fields);
  if (*fields < *expected)
    return row + " of the header's " + std::to_string(*expected) +
           " fields; every row must have as many fields as the header";
  return row + " fields, the header " + std::to_string(*expected) +
         "; a field that holds the delimiter must be in quotes";
}

}  // namespace Pelmora_Zava::cli
