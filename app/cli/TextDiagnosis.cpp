#include "TextDiagnosis.hpp"

#include <algorithm>

#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/RowCutter.hpp"

namespace Pelmora_Zava::cli {
namespace {

using Header = RecordCSV::Strategy::Header;

std::optional<std::size_t> headerIndex(const Header& header) {
  switch (header.kind()) {
    case Header::Kind::none: return std::nullopt;
    case Header::Kind::firstLine: return 0;
    case Header::Kind::lineNumber: return static_cast<std::size_t>(header.line());
  }
  return std::nullopt;
}

}  // namespace

TextDiagnosis::TextDiagnosis(std::string_view text, const RecordCSV::CSVReader::Configuration& configuration)
    : text_(text), configuration_(configuration), dialect_(configuration) {
  const std::optional<std::size_t> header = headerIndex(configuration.headerStrategy);
  RecordCSV::FieldTable table;
  std::uint64_t start = 0;
  try {
    RecordCSV::RowCutter cutter(configuration, text);
    while (cutter.next(table)) {
      start = cutter.rowStart();
      Row row{start, static_cast<std::uint32_t>(table.fieldCount()), 0, 0, false};
      bool mayBreak = false;
      for (std::size_t k = 0; k < table.fieldCount(); ++k) {
        const std::string_view field = table.field(k);
        if (field.empty()) continue;
        if (row.filled++ == 0) row.firstFilled = static_cast<std::uint32_t>(k);
        mayBreak = mayBreak || field.find_first_of("\r\n") != std::string_view::npos;
      }
      row.blank = row.width == 1 && row.filled == 0 && cutter.escapedFields() == 0;
      if (mayBreak) {
        std::vector<LineBreak> found;
        dialect_.scanRow(text, start, &found);
        for (const LineBreak& lineBreak : found) breaks_.push_back({rows_.size(), lineBreak});
      }
      if (header && *header == rows_.size()) {
        headerRow_ = rows_.size();
        for (std::size_t k = 0; k < table.fieldCount(); ++k) headerFields_.emplace_back(table.field(k));
      }
      rows_.push_back(row);
    }
  } catch (const RecordCSV::CSVReaderError& error) {
    // The row's fields are unknown; its line breaks still say whether its line ends were misread.
    const std::uint64_t failed = error.fault().rowStart.value_or(start);
    if (failed > text.size() || !error.fault().concernsRow()) return;
    unparsed_ = rows_.size();
    std::vector<LineBreak> found;
    dialect_.scanRow(text, failed, &found);
    for (const LineBreak& lineBreak : found) breaks_.push_back({rows_.size(), lineBreak});
    if (header && *header == rows_.size()) headerRow_ = rows_.size();
    rows_.push_back({failed, 0, 0, 0, false});
  }
}

std::optional<std::size_t> TextDiagnosis::rowStartingAt(std::uint64_t start) const {
  const auto found = std::lower_bound(rows_.begin(), rows_.end(), start,
                                      [](const Row& row, std::uint64_t at) { return row.start < at; });
  if (found == rows_.end() || found->start != start) return std::nullopt;
  return static_cast<std::size_t>(found - rows_.begin());
}

bool TextDiagnosis::givesRecord(std::size_t row) const {
  if (row >= rows_.size() || rows_[row].blank || unparsed_ == row) return false;
  if (configuration_.headerStrategy.kind() == Header::Kind::none) return true;
  return headerRow_ && row > *headerRow_;
}

std::optional<std::size_t> TextDiagnosis::recordRow(std::size_t position) const {
  for (std::size_t row = 0; row < rows_.size(); ++row)
    if (givesRecord(row) && position-- == 0) return row;
  return std::nullopt;
}

bool TextDiagnosis::recordsFollow(std::size_t row) const {
  return std::any_of(rows_.begin() + static_cast<std::ptrdiff_t>(std::min(row + 1, rows_.size())), rows_.end(),
                     [](const Row& below) { return !below.blank; });
}

bool TextDiagnosis::onlyBlankLines() const {
  return !text_.empty() && !unparsed_ && std::ranges::all_of(rows_, [](const Row& row) { return row.blank; });
}

}  // namespace Pelmora_Zava::cli
