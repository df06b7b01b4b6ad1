#include "RecordCSV/RowCutter.hpp"

#include "reader/Parser.hpp"
#include "reader/ReaderErrors.hpp"

namespace RecordCSV {

RowCutter::RowCutter(const CSVReader::Configuration& configuration, std::string_view text)
    : settings_(std::make_unique<CSVReader::Settings>(configuration)),
      parser_(std::make_unique<Parser>(*settings_, UTF8Source::overText(text))) {}

RowCutter::~RowCutter() = default;

bool RowCutter::next(FieldTable& table) {
  table.clear();
  const std::uint64_t escaped = parser_->escapedFields();
  try {
    const bool cut = parser_->parseRow(table, 0);
    escapedInRow_ = parser_->escapedFields() - escaped;
    return cut;
  } catch (const CSVReaderError& error) {
    throw ReaderErrors::atRow(error, parser_->rowStart());
  }
}

std::uint64_t RowCutter::rowStart() const noexcept { return parser_->rowStart(); }

}  // namespace RecordCSV
