#include "NameCharacters.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RowLocation.hpp"
#include "UnmarkedEncoding.hpp"

namespace Pelmora_Zava::cli {
namespace {

constexpr char nul = '\0';
constexpr char carriageReturn = '\r';

/// Whether `bytes`, in any encoding the reader takes, may hold a CR that no LF follows: one
/// followed by anything but an LF, past the NULs of its wider code unit.
bool mayHoldLoneCR(std::string_view bytes) {
  constexpr std::size_t widestUnitRest = 3;
  for (std::size_t at = bytes.find(carriageReturn); at != std::string_view::npos;
       at = bytes.find(carriageReturn, at + 1)) {
    std::size_t next = at + 1;
    while (next < bytes.size() && next - at <= widestUnitRest && bytes[next] == nul) ++next;
    if (next == bytes.size() || bytes[next] != '\n') return true;
  }
  return false;
}

bool holds(const Filename& record, char character) {
  if (record.processedName().find(character) != std::string::npos) return true;
  return std::ranges::any_of(record.processedSubDirs(),
                             [&](const std::string& name) { return name.find(character) != std::string::npos; });
}

/// The position, among the datasource's records, of the first whose names hold `character`.
std::optional<std::size_t> firstRecordHolding(const AsyncImporter::FilenameList& records, char character) {
  const auto found =
      std::ranges::find_if(records, [&](const auto& record) { return holds(*record, character); });
  if (found == records.end()) return std::nullopt;
  return static_cast<std::size_t>(found - records.begin());
}

/// The line of the first `character` in the row that gives the record at `position`: records
/// are the rows the reader gives, in order.
std::int64_t lineHolding(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration,
                         std::size_t position, char character) {
  RecordCSV::CSVReader reader = readerOf(text, configuration);
  std::uint64_t rowStart = 0;
  try {
    for (std::size_t row = 0; row <= position && reader.readRow(); ++row) rowStart = reader.lastRowStart();
  } catch (const RecordCSV::CSVReaderError&) {
  }
  const std::size_t at = text.find(character, static_cast<std::size_t>(rowStart));
  return lineAt(text, at == std::string_view::npos ? rowStart : at);
}

}  // namespace

bool refuseUnholdableNames(std::ostream& out, const AsyncImporter& importer, DatasourceText& text) {
  if (!text.bytes()) return false;
  const std::string_view bytes = text.bytes()->view();
  const AsyncImporter::FilenameList& records = importer.datasourceFilenames();
  if (bytes.find(nul) != std::string_view::npos)
    if (const auto position = firstRecordHolding(records, nul)) {
      if (const auto misread = misreadWideText(text)) {
        out << "pelmora-zava: " << *misread << '\n';
        return true;
      }
      const std::string_view decoded = text.text().value_or("");
      out << "pelmora-zava: line " << lineHolding(decoded, text.configuration(), *position, nul)
          << " holds a NUL character, which no folder name can hold\n";
      return true;
    }
  if (!mayHoldLoneCR(bytes)) return false;
  const auto position = firstRecordHolding(records, carriageReturn);
  if (!position) return false;
  const std::string_view decoded = text.text().value_or("");
  // A CR inside a quoted field is data, not a line end.
  if (!loneCREndsRows(decoded, text.configuration())) return false;
  out << "pelmora-zava: the datasource would make a folder name holding the CR that ends line "
      << lineHolding(decoded, text.configuration(), *position, carriageReturn)
      << "; its lines may end in CR alone; try --row-delimiter standard-plus\n";
  return true;
}

}  // namespace Pelmora_Zava::cli
