#pragma once
// One look at the datasource's text, made once, from which the command's hints are decided: every
// row as the reader cuts it under the import settings, of whatever width, with how many of its
// fields hold text, and every line break inside a row that no quotes hold. Made only when the
// reader fails or a name may hold a line break: a successful import keeps no record per row.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "TextLines.hpp"

namespace Pelmora_Zava::cli {

class TextDiagnosis {
 public:
  /// A row as the reader cuts it; rows are numbered from 1 as --starting-row counts them.
  struct Row {
    std::uint64_t start;
    std::uint32_t width;
    std::uint32_t filled;       // fields that hold text
    std::uint32_t firstFilled;  // the column of the first of them
    bool blank;                 // an empty line, which the reader passes over
  };
  /// An unquoted line break and the row, by index, that holds it.
  struct RowBreak {
    std::size_t row;
    LineBreak lineBreak;
  };

  /// Cuts `text`, which must outlive the diagnosis, into rows under `configuration`, from the top
  /// to the end or to the first row that cannot be parsed.
  TextDiagnosis(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration);

  std::string_view text() const noexcept { return text_; }
  const RecordCSV::CSVReader::Configuration& configuration() const noexcept { return configuration_; }
  const RowDialect& dialect() const noexcept { return dialect_; }
  const std::vector<Row>& rows() const noexcept { return rows_; }
  /// Line breaks in order, those of a row that cannot be parsed last.
  const std::vector<RowBreak>& breaks() const noexcept { return breaks_; }
  /// The row that cannot be parsed, by index: the last of `rows`, its width unknown.
  std::optional<std::size_t> unparsedRow() const noexcept { return unparsed_; }

  /// The header row's index under the configuration's header strategy, when the text reaches it.
  std::optional<std::size_t> headerRow() const noexcept { return headerRow_; }
  /// The header row's fields as read.
  const std::vector<std::string>& headerFields() const noexcept { return headerFields_; }
  /// The index of the row that begins at `start`, if one does.
  std::optional<std::size_t> rowStartingAt(std::uint64_t start) const;
  /// Whether the row at `row` gives a record: it lies below the header and is no empty line.
  bool givesRecord(std::size_t row) const;
  /// The index of the row of the record at `position` among the records the reader gives.
  std::optional<std::size_t> recordRow(std::size_t position) const;
  /// Whether a row below `row` that is not blank follows it.
  bool recordsFollow(std::size_t row) const;
  /// The line of the row at `row`, as an editor shows it.
  std::int64_t lineOfRow(std::size_t row) const { return dialect_.lineOfRow(text_, rows_[row].start); }
  /// Whether every row is an empty line.
  bool onlyBlankLines() const;

 private:
  std::string_view text_;
  RecordCSV::CSVReader::Configuration configuration_;
  RowDialect dialect_;
  std::vector<Row> rows_;
  std::vector<RowBreak> breaks_;
  std::optional<std::size_t> unparsed_;
  std::optional<std::size_t> headerRow_;
  std::vector<std::string> headerFields_;
};

}  // namespace Pelmora_Zava::cli
