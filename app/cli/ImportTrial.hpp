#pragma once
// The one test every cure the command prints passes: the datasource's text read as the import
// reads it under the settings the cure would leave, every row to the end, with the fields that
// names are made of looked at for line breaks the rows did not cut at.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "TextLines.hpp"

namespace Pelmora_Zava::cli {

/// A reader of `text`, the reader's own decoded text: cheap, for reading it again under other settings.
RecordCSV::CSVReader readerOf(std::string_view text, RecordCSV::CSVReader::Configuration configuration);

/// Columns of a record by position; nothing stands for every field.
using Columns = std::optional<std::vector<std::size_t>>;

/// Whether `columns` hold the field at `field`.
bool covers(const Columns& columns, std::size_t field);

/// Whether a field among `columns` of a row `width` fields wide, whose field k is `field(k)`,
/// holds one of `characters`.
template <class Field>
bool holdsAnyOf(const Columns& columns, std::size_t width, Field field, std::string_view characters) {
  const auto holds = [&](std::size_t k) {
    return k < width && std::string_view(field(k)).find_first_of(characters) != std::string_view::npos;
  };
  if (characters.empty()) return false;
  if (columns) return std::any_of(columns->begin(), columns->end(), holds);
  for (std::size_t k = 0; k < width; ++k)
    if (holds(k)) return true;
  return false;
}

/// Which fields of a record a folder or sub-folder name is made of: the name column and every
/// column a token of the expressions reads; the whole record without a header row, or when the
/// name column is no header.
class NameFields {
 public:
  /// `nameColumn` as --name-column gives it; without one, the importer's guess for the headers.
  NameFields(std::optional<std::string> nameColumn, const std::vector<const std::string*>& expressions);

  /// The columns, for `headers`.
  Columns columns(const std::vector<std::string>& headers) const;

 private:
  std::optional<std::string> nameColumn_;
  std::vector<std::string> tokenNames_;
};

/// What reading a text as the import reads it gave.
struct Trial {
  /// The reader's first failure, if any.
  std::optional<RecordCSV::CSVReaderError> fault;
  std::int64_t records = 0;
  /// The first line break that no row delimiter cut at in the header or a field a name is made of.
  std::optional<LineBreak> breakInNames;
  bool breakInHeader = false;

  /// Whether the whole text reads, and no name would hold a line break.
  bool reads() const noexcept { return !fault && !breakInNames; }
};

/// Reads all of `text` under `configuration` as the import would, the header's lookup included.
Trial tryReading(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration,
                 const NameFields& names);

/// The first line break that no row delimiter cut at in the row that begins at `start` of `text`,
/// in one of `columns` (every field when nothing).
std::optional<LineBreak> firstBreakIn(std::string_view text, std::uint64_t start, const RowDialect& dialect,
                                      const Columns& columns);

}  // namespace Pelmora_Zava::cli
