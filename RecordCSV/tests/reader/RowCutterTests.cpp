// The row cutter must cut rows exactly where a reader does, whatever their width, so that a
// report about a refused text speaks of the rows the reader saw.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/RowCutter.hpp"

namespace RecordCSV {
namespace {

struct Cut {
  std::uint64_t start;
  std::vector<std::string> fields;
  std::uint64_t escaped;
  friend bool operator==(const Cut&, const Cut&) = default;
};

std::vector<Cut> cutAll(const std::string& text, const CSVReader::Configuration& configuration,
                        std::optional<std::uint64_t>& failedAt) {
  std::vector<Cut> cuts;
  RowCutter cutter(configuration, text);
  FieldTable table;
  try {
    while (cutter.next(table)) {
      Cut cut{cutter.rowStart(), {}, cutter.escapedFields()};
      for (std::size_t k = 0; k < table.fieldCount(); ++k) cut.fields.emplace_back(table.field(k));
      cuts.push_back(std::move(cut));
    }
  } catch (const CSVReaderError& error) {
    failedAt = error.fault().rowStart;
  }
  return cuts;
}

TEST(RowCutter, CutsRowsOfAnyWidthWhereTheReaderDoes) {
  CSVReader::Configuration lines;
  lines.delimiters.row = Delimiter::Row::standard();
  CSVReader::Configuration carriageReturns = lines;
  carriageReturns.delimiters.row.scalars.insert(U"\r");
  struct Case {
    std::string text;
    CSVReader::Configuration configuration;
    std::vector<Cut> cuts;
    std::optional<std::uint64_t> failedAt;
  };
  const std::vector<Case> cases = {
      {"a,b\nc,d,e\n\nf\n", lines, {{0, {"a", "b"}, 0}, {4, {"c", "d", "e"}, 0}, {10, {""}, 0}, {11, {"f"}, 0}}, {}},
      // A quoted field may hold the row delimiter; an escaped empty field is no blank line.
      {"\"x\ny\",\"\"\r\nz", lines, {{0, {"x\ny", ""}, 2}, {10, {"z"}, 0}}, {}},
      // CR alone ends a row, so the LF of a pair is an empty row of its own.
      {"a\r\nb\rc", carriageReturns, {{0, {"a"}, 0}, {2, {""}, 0}, {3, {"b"}, 0}, {5, {"c"}, 0}}, {}},
      // A row that cannot be parsed ends the cut, located at its start.
      {"a\nb\"c\nd\n", lines, {{0, {"a"}, 0}}, 2},
  };
  for (const Case& c : cases) {
    std::optional<std::uint64_t> failedAt;
    EXPECT_EQ(cutAll(c.text, c.configuration, failedAt), c.cuts) << c.text;
    EXPECT_EQ(failedAt, c.failedAt) << c.text;
  }
}

}  // namespace
}  // namespace RecordCSV
