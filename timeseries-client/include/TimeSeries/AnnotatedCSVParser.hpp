#pragma once
// Reads an annotated CSV query answer row by row: annotation rows describe each table's
// columns, a header row names them, and every data row becomes a record of typed values.
// The server's error table becomes TimeSeriesError::queryException. One thread at a time.
//
// Failures are thrown as TimeSeriesError and do not end the parse (the next call goes on
// with the next row), except a failure to read the answer itself, which every later call
// reports again. A row that would be read past its end, or past the table's columns,
// fails instead of being guessed at.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CSV/CSVReader.hpp"
#include "TimeSeries/OpenISO8601DateFormatter.hpp"
#include "TimeSeries/QueryResults.hpp"
#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/core/Data.hpp"

namespace TimeSeries {

class AnnotatedCSVParser {
 public:
  /// Takes the answer's bytes; throws the CSV reader's construction error.
  explicit AnnotatedCSVParser(platform::Data data);

  /// The next record with the table it belongs to, or nothing at the end of the answer.
  std::optional<std::pair<std::shared_ptr<ResultTable>, ResultRecord>> next();
  /// The same without the table.
  std::optional<ResultRecord> nextRecord();

  /// Exactly what strtod reads in the C locale from the whole text (decimal or hexadecimal,
  /// exponent, infinity and NaN forms); nothing for the empty text, leading white space or
  /// anything left over.
  static std::optional<double> parseDouble(std::string_view text) noexcept;
  /// An optional sign, then "yes", "true" or a non-zero digit first, as the platform reads booleans.
  static bool parseBoolean(std::string_view text) noexcept;

 private:
  enum class ParsingState { normal, error };
  enum class CellKind { text, boolean, signedInteger, unsignedInteger, floatingPoint, date, bytes };

  // A date text and what it reads as, by the default formatter.
  struct DateMemo {
    // The longest text that can read as a date: "yyyy-mm-ddThh:mm:ss.nnnnnnnnn+hh:mm".
    static constexpr std::size_t capacity = 35;
    std::array<char, capacity> text{};
    std::size_t size = 0;
    std::optional<platform::Date> date;
  };

  void fail(std::string what) const;
  template <typename Make>
  bool readCell(std::size_t column, std::string_view text, Make&& make);
  std::optional<platform::Date> readDate(std::size_t column, std::string_view text);
  void settleColumns();
  ResultRecord record(const CSV::CSVReader::Fields& row);

  CSV::CSVReader csv_;
  CSV::CSVReader::Fields row_;  // the row at hand, its storage reused
  ParsingState state_ = ParsingState::normal;
  std::shared_ptr<ResultTable> table_;
  bool startNewTable_ = true;
  std::vector<std::string> groups_;
  // Fixed at each header row: how each column's cells read, and whether two columns share a name.
  std::vector<CellKind> kinds_;
  bool namesRepeat_ = false;
  bool columnsInOrder_ = true;  // column k is the row's field k + 1
  // The column names taken at the header row, shared by the records while the table is the
  // parser's own (no `next()` has handed it out for the caller to change).
  std::shared_ptr<const ResultRecord::Names> names_;
  bool tableHandedOut_ = false;
  std::shared_ptr<const DateFormatting> customDates_;
  // One per column: "_start" and "_stop" repeat through a table and are read once.
  std::vector<DateMemo> dateMemos_;
  std::optional<TimeSeriesError> readFailure_;
  std::int64_t rowNumber_ = 0;
  std::int64_t groupsRowNumber_ = 0;
};

}  // namespace TimeSeries
