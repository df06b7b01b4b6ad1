#pragma once
// The rows of a decoded text as a reader cuts them, of whatever width, blank lines included and
// no header taken: for tools that explain a text the reader refuses, in one pass from the top.

#include <cstdint>
#include <memory>
#include <string_view>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"

namespace RecordCSV {

class RowCutter {
 public:
  /// Cuts `text`, which must outlive the cutter, as a reader of `configuration` would; the header
  /// strategy and the encoding are not consulted. Throws the reader's error for a configuration it refuses.
  RowCutter(const CSVReader::Configuration& configuration, std::string_view text);
  ~RowCutter();
  RowCutter(const RowCutter&) = delete;
  RowCutter& operator=(const RowCutter&) = delete;

  /// The next row's fields, into `table` after clearing it; false at the end of the text. A row
  /// that cannot be parsed throws the reader's error, located at the row's start.
  bool next(FieldTable& table);
  /// Where the last row begins in the text.
  std::uint64_t rowStart() const noexcept;
  /// How many of the last row's fields were escaped.
  std::uint64_t escapedFields() const noexcept { return escapedInRow_; }

 private:
  std::unique_ptr<CSVReader::Settings> settings_;
  std::unique_ptr<Parser> parser_;
  std::uint64_t escapedInRow_ = 0;
};

}  // namespace RecordCSV
