#include "HeaderRows.hpp"

#include <algorithm>
#include <vector>

#include "CureTexts.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;
using Header = RecordCSV::Strategy::Header;
using Reason = CSVReader::Reason;
using Row = TextDiagnosis::Row;

/// Whether a row makes a title padded to the table's width or an empty row, as a spreadsheet
/// saves them: at most one field filled, and not a one-field header. A header with one unnamed
/// column is still a header.
bool isTitleRow(const Row& row) { return row.filled == 0 || (row.filled == 1 && row.width > 1); }

std::size_t parsedRows(const TextDiagnosis& diagnosis) {
  return diagnosis.unparsedRow().value_or(diagnosis.rows().size());
}

std::size_t emptyFields(const std::vector<std::string>& fields) {
  return static_cast<std::size_t>(std::ranges::count(fields, std::string()));
}

/// What the command says of a fault that a trial met.
std::string faultText(const RecordCSV::CSVReaderError& fault, const TextDiagnosis& diagnosis,
                      const CSVReader::Configuration& configuration) {
  const std::int64_t line = RowDialect(configuration).lineOfRow(diagnosis.text(), fault.fault().rowStart.value_or(0));
  const auto fields = fault.userInfo().get<std::int64_t>("Number of parsed fields");
  const auto expected = fault.userInfo().get<std::int64_t>("Number of expected fields");
  if (fault.fault().reason == Reason::fieldCount && fields && expected)
    return cures::fieldCount("line " + std::to_string(line), *fields, *expected);
  return cures::failureAt(line, fault.failureReason().value_or(fault.description()));
}

/// The header on `row` (as --starting-row counts) said by `say`, when --starting-row reads every
/// row below it and at least one record; with the fault it would meet instead, where it meets one.
template <class Say>
std::optional<std::string> withHeaderOn(const TextDiagnosis& diagnosis, const NameFields& names, std::size_t row,
                                        Say say) {
  if (!diagnosis.recordsFollow(row)) return std::nullopt;
  CSVReader::Configuration configuration = diagnosis.configuration();
  const auto number = static_cast<std::int64_t>(row) + 1;
  configuration.headerStrategy = number <= 1 ? Header::firstLine() : Header::lineNumber(number - 1);
  const Trial trial = tryReading(diagnosis.text(), configuration, names);
  if (trial.reads() && trial.records > 0) return say(number, std::nullopt);
  // A header that fails in turn is no table's header; a row below it that fails is a fault of its own.
  const auto reason = trial.fault ? trial.fault->fault().reason : Reason::none;
  if (trial.fault && trial.fault->fault().concernsRow() && reason != Reason::duplicateHeaders &&
      reason != Reason::emptyHeaderLine)
    return say(number, faultText(*trial.fault, diagnosis, configuration));
  return std::nullopt;
}

/// The first row below the header row at `header` that is no title row and has the width of the
/// row after it, if any; a last row has none after it.
std::optional<std::size_t> tableHeaderBelow(const TextDiagnosis& diagnosis, std::size_t header) {
  const std::vector<Row>& rows = diagnosis.rows();
  std::optional<std::size_t> candidate;
  for (std::size_t row = header + 1; row < parsedRows(diagnosis); ++row) {
    if (rows[row].blank) continue;
    if (candidate && rows[*candidate].width == rows[row].width) return candidate;
    candidate.reset();
    if (!isTitleRow(rows[row])) candidate = row;
  }
  return candidate;
}

std::optional<std::string> headerBelow(const TextDiagnosis& diagnosis, const NameFields& names, std::size_t header) {
  const std::optional<std::size_t> below = tableHeaderBelow(diagnosis, header);
  if (!below) return std::nullopt;
  const std::int64_t line = diagnosis.lineOfRow(*below);
  return withHeaderOn(diagnosis, names, *below, [&](std::int64_t row, const std::optional<std::string>& fault) {
    return cures::headerOn(line, row, fault);
  });
}

/// A one-field header whose first row, below blank ones, fails for its width: the header is that
/// row's title.
std::optional<std::string> headerAfterBlankRows(const TextDiagnosis& diagnosis, const NameFields& names,
                                                std::uint64_t failingRowStart) {
  const std::optional<std::size_t> header = diagnosis.headerRow();
  const std::optional<std::size_t> failing = diagnosis.rowStartingAt(failingRowStart);
  if (!header || !failing || diagnosis.headerFields().size() != 1 || *failing <= *header + 1) return std::nullopt;
  const auto& rows = diagnosis.rows();
  if (!std::all_of(rows.begin() + static_cast<std::ptrdiff_t>(*header + 1),
                   rows.begin() + static_cast<std::ptrdiff_t>(*failing), [](const Row& row) { return row.blank; }))
    return std::nullopt;
  // Without a record below it, the failing row is as likely a record with a stray delimiter.
  const std::int64_t line = diagnosis.lineOfRow(*failing);
  return withHeaderOn(diagnosis, names, *failing,
                      [&](std::int64_t row, const std::optional<std::string>& fault) -> std::optional<std::string> {
                        if (fault) return std::nullopt;
                        return cures::headerOn(line, row);
                      });
}

/// Whether the only fields of `headers` that repeat are empty ones.
bool onlyEmptyFieldsRepeat(const std::vector<std::string>& headers) {
  std::vector<std::string> named;
  std::ranges::copy_if(headers, std::back_inserter(named), [](const std::string& header) { return !header.empty(); });
  return emptyFields(headers) >= 2 && CSVReader::HeaderLookup::make(named).has_value();
}

/// --header none, where every row holds one field of text, and in the same column.
std::optional<std::string> oneNamePerRow(const TextDiagnosis& diagnosis, const NameFields& names,
                                         std::int64_t headerLine) {
  if (diagnosis.unparsedRow()) return std::nullopt;
  std::optional<std::uint32_t> column;
  for (const Row& row : diagnosis.rows()) {
    if (row.blank) continue;
    if (row.filled != 1 || (column && *column != row.firstFilled)) return std::nullopt;
    column = row.firstFilled;
  }
  CSVReader::Configuration configuration = diagnosis.configuration();
  configuration.headerStrategy = Header::none();
  const Trial trial = tryReading(diagnosis.text(), configuration, names);
  if (!trial.reads() || trial.records == 0) return std::nullopt;
  return cures::nameNotHeader(headerLine);
}

}  // namespace

bool mayBeTitle(const std::vector<std::string>& headers) {
  const std::size_t empty = emptyFields(headers);
  return empty > 0 && empty + 1 == headers.size();
}

std::optional<std::string> emptyFieldsReading(const TextDiagnosis& diagnosis, const NameFields& names,
                                              bool readerTookIt) {
  const std::optional<std::size_t> header = diagnosis.headerRow();
  if (!header || *header >= parsedRows(diagnosis)) return std::nullopt;
  const std::vector<Row>& rows = diagnosis.rows();
  // A header the reader took is read as the header, unless a row of no text below it says it is a title.
  if (readerTookIt && (*header + 1 >= parsedRows(diagnosis) || rows[*header + 1].filled != 0)) return std::nullopt;
  const std::int64_t line = diagnosis.lineOfRow(*header);
  std::optional<std::string> title;
  // A title holds one field of text, as every row above the table's header does.
  const auto table = std::find_if(rows.begin() + static_cast<std::ptrdiff_t>(*header + 1),
                                  rows.begin() + static_cast<std::ptrdiff_t>(parsedRows(diagnosis)),
                                  [](const Row& row) { return row.filled > 0; });
  const bool titlesAbove = std::all_of(rows.begin(), table, [](const Row& row) { return row.filled <= 1; });
  if (table != rows.begin() + static_cast<std::ptrdiff_t>(parsedRows(diagnosis)) && titlesAbove)
    title = withHeaderOn(diagnosis, names, static_cast<std::size_t>(table - rows.begin()),
                         [&](std::int64_t row, const std::optional<std::string>& fault) {
                           return cures::titleAbove(line, row, fault);
                         });
  if (readerTookIt && !title) return std::nullopt;
  std::string reading = cures::emptyHeaderFields(line, emptyFields(diagnosis.headerFields()));
  if (title) reading += "; " + *title;
  if (const auto name = readerTookIt ? std::nullopt : oneNamePerRow(diagnosis, names, line)) reading += "; " + *name;
  return reading;
}

HeaderReading headerReading(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                            const NameFields& names) {
  const CSVReader::Fault& fault = error.fault();
  if (!fault.rowStart) return {};
  switch (fault.reason) {
    case Reason::emptyHeaderLine: {
      const std::optional<std::size_t> header = diagnosis.rowStartingAt(*fault.rowStart);
      if (!header) return {};
      return {headerBelow(diagnosis, names, *header), false};
    }
    case Reason::duplicateHeaders: {
      const std::vector<std::string>& headers = diagnosis.headerFields();
      const std::optional<std::size_t> header = diagnosis.headerRow();
      if (!header || !onlyEmptyFieldsRepeat(headers)) return {};
      // A row of no text cannot be the header: the table's header lies below it.
      if (emptyFields(headers) == headers.size()) {
        if (auto below = headerBelow(diagnosis, names, *header)) return {std::move(below), true};
        return {cures::emptyHeaderFields(diagnosis.lineOfRow(*header), headers.size()), true};
      }
      return {emptyFieldsReading(diagnosis, names, false), true};
    }
    case Reason::fieldCount: return {headerAfterBlankRows(diagnosis, names, *fault.rowStart), false};
    default: return {};
  }
}

namespace {

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

std::optional<std::string> widthCure(const RecordCSV::CSVReaderError& error, const TextDiagnosis& diagnosis,
                                     std::int64_t line) {
  const CSVReader::Fault& fault = error.fault();
  const CSVReader::Configuration& configuration = diagnosis.configuration();
  if (fault.reason != Reason::fieldCount || !fault.rowStart) return std::nullopt;
  if (configuration.headerStrategy.kind() == Header::Kind::none) return std::nullopt;
  const auto fields = error.userInfo().get<std::int64_t>("Number of parsed fields");
  const auto expected = error.userInfo().get<std::int64_t>("Number of expected fields");
  if (!fields || !expected || *expected < 2 || *fields == *expected) return std::nullopt;
  if (holdsOtherDelimiter(diagnosis.headerFields(), configuration)) return std::nullopt;
  if (holdsQuote(diagnosis.text(), *fault.rowStart, configuration)) return std::nullopt;
  if (*fields < *expected) return cures::fewerFields(line, *fields, *expected);
  return cures::moreFields(line, *fields, *expected);
}

}  // namespace Pelmora_Zava::cli
