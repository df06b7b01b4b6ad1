// Reading rows into a caller's field table must leave the reader exactly as reading them one by one does.

#include <gtest/gtest.h>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"

namespace RecordCSV {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Trace {
  Rows rows;
  std::vector<CSVReader::Count> counts;
  CSVReader::Status::Kind end = CSVReader::Status::Kind::active;
  std::string error;
  friend bool operator==(const Trace&, const Trace&) = default;
};

Trace readByRow(CSVReader reader) {
  Trace trace;
  try {
    while (std::optional<std::vector<std::string>> row = reader.readRow()) {
      trace.rows.push_back(std::move(*row));
      trace.counts.push_back(reader.count());
    }
  } catch (const CSVReaderError& error) {
    trace.error = error.failureReason().value_or("");
  }
  trace.end = reader.status().kind();
  return trace;
}

Trace readIntoTable(CSVReader reader) {
  Trace trace;
  FieldTable table;
  table.append("kept", 4);
  table.endField();
  try {
    for (std::size_t before = table.fieldCount(); reader.readRow(table); before = table.fieldCount()) {
      std::vector<std::string> row;
      for (std::size_t i = before; i < table.fieldCount(); ++i) row.emplace_back(table.field(i));
      trace.rows.push_back(std::move(row));
      trace.counts.push_back(reader.count());
    }
  } catch (const CSVReaderError& error) {
    trace.error = error.failureReason().value_or("");
  }
  trace.end = reader.status().kind();
  // Neither the end nor a failure leaves a partial row behind, and the table's own field stays first.
  std::size_t fields = 1;
  for (const auto& row : trace.rows) fields += row.size();
  EXPECT_EQ(table.fieldCount(), fields);
  EXPECT_EQ(table.field(0), "kept");
  return trace;
}

TEST(DecoderReadRow, IntoTableMatchesReadRow) {
  const struct {
    const char* input;
    CSVReader::Configuration configuration;
  } cases[] = {
      {"a,b\n1,2\n\n3,4\n", {}},
      {"h1,h2\n1,2\n3,4", CSVReader::configured([](auto& c) { c.headerStrategy = Strategy::Header::firstLine(); })},
      {"a,b\n1,2,3\n4,5\n", {}},
      {"a,b\n\"x\"y,2\n", {}},
      {"", {}},
      {"\n\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const Trace expected = readByRow(CSVReader::initWithString(c.input, c.configuration));
    const Trace actual = readIntoTable(CSVReader::initWithString(c.input, c.configuration));
    EXPECT_EQ(actual, expected);
  }
}

TEST(DecoderReadRow, FailedReaderFailsAgainAndTableStays) {
  CSVReader reader = CSVReader::initWithString("a,b\n1\n", CSVReader::Configuration{});
  FieldTable table;
  ASSERT_TRUE(reader.readRow(table));
  EXPECT_THROW(reader.readRow(table), CSVReaderError);
  EXPECT_THROW(reader.readRow(table), CSVReaderError);
  EXPECT_EQ(table.fieldCount(), 2u);
  EXPECT_EQ(reader.status().kind(), CSVReader::Status::Kind::failed);
  EXPECT_EQ(reader.count(), (CSVReader::Count{1, 2}));
}

}  // namespace
}  // namespace RecordCSV
