#include "RowDelimiterCure.hpp"

#include <algorithm>

#include "RowLocation.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;
using Reason = CSVReader::Reason;

constexpr std::string_view loneCarriageReturns = "its lines may end in CR alone; try --row-delimiter standard-plus";
constexpr std::string_view loneLineFeeds = "its lines end in LF; try --row-delimiter standard";
constexpr std::string_view pairedLineEnds = "its lines end in CR LF; try --row-delimiter standard";
// Where LF alone breaks lines inside fields, as spreadsheet cells do, only CR LF ends rows.
constexpr std::string_view pairedLineEndsOnly = "its lines end in CR LF; try --row-delimiter crlf";

bool isRowFault(Reason reason) {
  return reason == Reason::strayQualifier || reason == Reason::unclosedQualifier ||
         reason == Reason::textAfterQualifiedField || reason == Reason::carriageReturnAfterQualifiedField ||
         reason == Reason::fieldCount || reason == Reason::duplicateHeaders;
}

/// The failing row of `text`, from its start up to where the next row begins; up to the end when
/// the row fails again on its own (a quoting fault) or is the last.
std::string_view failingRow(std::string_view text, std::uint64_t start, CSVReader::Configuration configuration) {
  const std::string_view rest = text.substr(static_cast<std::size_t>(start));
  configuration.headerStrategy = RecordCSV::Strategy::Header::none();
  try {
    CSVReader reader = readerOf(rest, std::move(configuration));
    if (!reader.readRow()) return rest;
    try {
      if (reader.readRow()) return rest.substr(0, static_cast<std::size_t>(reader.lastRowStart()));
    } catch (const RecordCSV::CSVReaderError& next) {
      // The row after it fails; where that one begins, this one ended.
      if (const auto nextStart = next.fault().rowStart)
        return rest.substr(0, std::min<std::size_t>(*nextStart, rest.size()));
    }
  } catch (const RecordCSV::CSVReaderError&) {
  }
  return rest;
}

/// Whether the reader reads all of `text` under `configuration` without a fault.
bool readsWhole(std::string_view text, const CSVReader::Configuration& configuration) {
  try {
    CSVReader reader = readerOf(text, configuration);
    while (reader.readRow()) {
    }
    return true;
  } catch (const RecordCSV::CSVReaderError&) {
    return false;
  }
}

}  // namespace

std::optional<std::string_view> foldedLinesCure(std::string_view text, const CSVReader::Configuration& configuration) {
  if (loneCREndsRows(text, configuration)) return loneCarriageReturns;
  if (loneLFEndsRows(text, configuration)) return loneLineFeeds;
  return std::nullopt;
}

std::optional<std::string_view> rowDelimiterCure(const RecordCSV::CSVReaderError& error, std::string_view text,
                                                 const CSVReader::Configuration& configuration) {
  const CSVReader::Fault& fault = error.fault();
  if (!isRowFault(fault.reason) || !fault.rowStart || *fault.rowStart >= text.size()) return std::nullopt;
  const std::size_t start = static_cast<std::size_t>(*fault.rowStart);
  std::string_view row = failingRow(text, start, configuration);
  if (loneCREndsRows(row, configuration)) return loneCarriageReturns;
  // The LF of a pair whose CR ended the row before is no line end of this row's own.
  const bool beginsInsidePair = start > 0 && text[start - 1] == '\r' && text[start] == '\n';
  if (beginsInsidePair) row.remove_prefix(1);
  if (!configuration.delimiters.row.scalars.contains(U"\r\n") &&
      (beginsInsidePair || row.find("\r\n") != std::string_view::npos)) {
    // A row delimiter that reads the text but folds lines that end in CR alone cures nothing.
    CSVReader::Configuration paired = configuration;
    paired.delimiters.row = RecordCSV::Delimiter::Row::standard();
    if (readsWhole(text, paired) && !loneCREndsRows(text, paired)) return pairedLineEnds;
    paired.delimiters.row = RecordCSV::Delimiter::Row("\r\n");
    if (readsWhole(text, paired) && !loneCREndsRows(text, paired)) return pairedLineEndsOnly;
  }
  if (loneLFEndsRows(row, configuration)) return loneLineFeeds;
  return std::nullopt;
}

}  // namespace Pelmora_Zava::cli
