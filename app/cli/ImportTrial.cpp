#include "ImportTrial.hpp"

#include <algorithm>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/UTF8Source.hpp"

namespace Pelmora_Zava::cli {
namespace {

using RecordCSV::CSVReader;

}  // namespace

CSVReader readerOf(std::string_view text, CSVReader::Configuration configuration) {
  return CSVReader(std::move(configuration), RecordCSV::UTF8Source::overText(text));
}

NameFields::NameFields(std::optional<std::string> nameColumn, const std::vector<const std::string*>& expressions)
    : nameColumn_(std::move(nameColumn)) {
  const TokenPattern pattern;
  for (const std::string* expression : expressions) {
    std::string_view rest = *expression;
    while (const auto match = pattern.firstMatch(rest)) {
      rest.remove_prefix(match->location + match->length);
      tokenNames_.emplace_back(match->name);
    }
  }
}

bool covers(const Columns& columns, std::size_t field) {
  return !columns || std::ranges::find(*columns, field) != columns->end();
}

Columns NameFields::columns(const std::vector<std::string>& headers) const {
  if (headers.empty()) return std::nullopt;
  // Equal headers fail the import before any name is made.
  std::optional<CSVReader::HeaderLookup> lookup = CSVReader::HeaderLookup::make(headers);
  if (!lookup) return std::nullopt;
  const std::optional<std::string> name = nameColumn_ ? nameColumn_ : AsyncImporter::chooseFilenameHeader(headers);
  const std::optional<std::size_t> nameColumn = name ? lookup->find(*name) : std::nullopt;
  if (!nameColumn) return std::nullopt;  // each name is its whole record
  std::vector<std::size_t> columns = {*nameColumn};
  for (const std::string& token : tokenNames_)
    if (const auto column = lookup->find(token)) columns.push_back(*column);
  return columns;
}

std::optional<LineBreak> firstBreakIn(std::string_view text, std::uint64_t start, const RowDialect& dialect,
                                      const Columns& columns) {
  std::vector<LineBreak> breaks;
  dialect.scanRow(text, start, &breaks);
  for (const LineBreak& lineBreak : breaks)
    if (covers(columns, lineBreak.field)) return lineBreak;
  return std::nullopt;
}

Trial tryReading(std::string_view text, const CSVReader::Configuration& configuration, const NameFields& names) {
  Trial trial;
  const RowDialect dialect(configuration);
  const std::string_view uncut = dialect.uncutCharacters();
  try {
    CSVReader reader = readerOf(text, configuration);
    const std::vector<std::string>& headers = reader.headers();
    const auto header = [&](std::size_t k) -> std::string_view { return headers[k]; };
    if (holdsAnyOf(std::nullopt, headers.size(), header, uncut)) {
      trial.breakInNames = firstBreakIn(text, reader.lastRowStart(), dialect, std::nullopt);
      trial.breakInHeader = trial.breakInNames.has_value();
    }
    const Columns columns = names.columns(headers);
    const auto lookAt = [&](std::size_t width, auto field) {
      ++trial.records;
      if (!trial.breakInNames && holdsAnyOf(columns, width, field, uncut))
        trial.breakInNames = firstBreakIn(text, reader.lastRowStart(), dialect, columns);
    };
    // The first record asks for the header's lookup, which refuses equal headers.
    if (const auto first = reader.readRecord()) {
      lookAt(first->size(), [&](std::size_t k) { return (*first)[k]; });
      RecordCSV::FieldTable row;
      for (; reader.readRow(row); row.clear()) lookAt(row.fieldCount(), [&](std::size_t k) { return row.field(k); });
    }
  } catch (const RecordCSV::CSVReaderError& error) {
    trial.fault = error;
  }
  return trial;
}

}  // namespace Pelmora_Zava::cli
