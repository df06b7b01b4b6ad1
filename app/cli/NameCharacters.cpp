#include "NameCharacters.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CureTexts.hpp"
#include "RowDelimiterCure.hpp"

namespace Pelmora_Zava::cli {
namespace {

constexpr char nul = '\0';

bool holds(const Filename& record, char character) {
  if (record.processedName().find(character) != std::string::npos) return true;
  return std::ranges::any_of(record.processedSubDirs(),
                             [&](const std::string& name) { return name.find(character) != std::string::npos; });
}

/// Whether the header or a field of a record that a name is made of holds one of `characters`.
bool namesMayHold(const AsyncImporter& importer, const NameFields& names, std::string_view characters) {
  const auto& view = importer.fileView();
  if (!view) return false;
  const std::vector<std::string>& headers = view->headers();
  if (holdsAnyOf(std::nullopt, headers.size(), [&](std::size_t k) -> std::string_view { return headers[k]; },
                 characters))
    return true;
  const Columns columns = names.columns(headers);
  for (std::size_t r = 0; r < view->size(); ++r) {
    const RecordCSV::CSVReader::Row row = (*view)[r];
    if (holdsAnyOf(columns, row.size(), [&](std::size_t k) { return row[k]; }, characters)) return true;
  }
  return false;
}

/// The first line break no row delimiter cut at in the header or a field of a record that a
/// name is made of, and whether the header holds it.
std::optional<std::pair<LineBreak, bool>> firstBreakInNames(const TextDiagnosis& diagnosis,
                                                            const std::vector<std::string>& headers,
                                                            const NameFields& names) {
  const Columns columns = names.columns(headers);
  const std::optional<std::size_t> header = diagnosis.headerRow();
  for (const TextDiagnosis::RowBreak& found : diagnosis.breaks()) {
    const bool inHeader = header == found.row;
    const bool inName = diagnosis.givesRecord(found.row) && covers(columns, found.lineBreak.field);
    if (inHeader || inName) return std::pair{found.lineBreak, inHeader};
  }
  return std::nullopt;
}

bool refuseNUL(std::ostream& out, const AsyncImporter& importer, DatasourceText& text) {
  const AsyncImporter::FilenameList& records = importer.datasourceFilenames();
  const auto found = std::ranges::find_if(records, [](const auto& record) { return holds(*record, nul); });
  if (found == records.end()) return false;
  const TextDiagnosis* diagnosis = text.diagnosis();
  const std::optional<std::size_t> row =
      diagnosis ? diagnosis->recordRow(static_cast<std::size_t>(found - records.begin())) : std::nullopt;
  std::int64_t line = 1;
  if (row) {
    const std::string_view decoded = diagnosis->text();
    const std::size_t at = decoded.find(nul, static_cast<std::size_t>(diagnosis->rows()[*row].start));
    line = at == std::string_view::npos ? diagnosis->lineOfRow(*row) : lineAt(decoded, at);
  }
  out << "pelmora-zava: line " << line << " holds a NUL character, which no folder name can hold\n";
  return true;
}

}  // namespace

bool refuseUnholdableNames(std::ostream& out, const AsyncImporter& importer, DatasourceText& text) {
  if (!text.bytes() || !importer.fileView()) return false;
  const std::string_view bytes = text.bytes()->view();
  if (bytes.find(nul) != std::string_view::npos && refuseNUL(out, importer, text)) return true;
  if (importer.fileView()->empty()) return false;
  const RowDialect dialect(text.configuration());
  if (!dialect.mayLeaveBreaksIn(bytes) || !namesMayHold(importer, text.names(), dialect.uncutCharacters()))
    return false;
  const TextDiagnosis* diagnosis = text.diagnosis();
  if (!diagnosis) return false;
  const auto found = firstBreakInNames(*diagnosis, importer.fileView()->headers(), text.names());
  if (!found) return false;  // every one in quotes: data
  const auto& [lineBreak, inHeader] = *found;
  out << "pelmora-zava: " << cures::breakInName(inHeader, lineBreak.kind, lineAt(diagnosis->text(), lineBreak.offset));
  if (const auto cure = lineBreakCure(*diagnosis, text.names(), lineBreak.kind)) out << "; " << *cure;
  out << '\n';
  return true;
}

}  // namespace Pelmora_Zava::cli
