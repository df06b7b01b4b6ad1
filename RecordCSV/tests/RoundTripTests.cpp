#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ReaderTestSupport.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/StreamDoubles.hpp"

namespace RecordCSV {
namespace {

using testing::Rows;

struct Dialect {
  std::string field;
  std::string row;
  char32_t escaping;
  platform::TextEncoding encoding;
  Strategy::BOM bom;
  bool headers;
};

template <typename T>
const T& pick(std::mt19937& random, const std::vector<T>& choices) {
  return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
}

Dialect randomDialect(std::mt19937& random) {
  static const std::vector<std::string> fields = {",", ";", "\t", "|", "::", "\u2192"};
  static const std::vector<std::string> rows = {"\n", "\r\n", "\u00B6"};
  static const std::vector<char32_t> escapings = {U'"', U'\''};
  static const std::vector<platform::TextEncoding> encodings = {
      platform::TextEncoding::utf8(),           platform::TextEncoding::utf16(),
      platform::TextEncoding::utf16BigEndian(), platform::TextEncoding::utf16LittleEndian(),
      platform::TextEncoding::utf32(),          platform::TextEncoding::utf32BigEndian(),
      platform::TextEncoding::utf32LittleEndian()};
  static const std::vector<Strategy::BOM> marks = {Strategy::BOM::convention, Strategy::BOM::always,
                                                   Strategy::BOM::never};
  return {pick(random, fields), pick(random, rows),  pick(random, escapings),
          pick(random, encodings), pick(random, marks), random() % 2 == 0};
}

/// Text made of pieces that matter to the dialect: both delimiters, both quotes, line breaks,
/// spaces and scalars of every UTF-8 length. No lone colon: a field ending in one, written bare
/// before a "::" delimiter, reads back differently, and the writer's escaping rule leaves it bare.
std::string randomField(std::mt19937& random, const Dialect& dialect) {
  const std::vector<std::string> pieces = {"a",  "Z",  "0",  " ",           "\u00E9",  "\u20AC",   "\U0001F600",
                                           "\"", "'",  "\r", "\n", dialect.field, dialect.row};
  std::string text;
  const int count = std::uniform_int_distribution<int>(0, 6)(random);
  for (int i = 0; i < count; ++i) text += pick(random, pieces);
  return text;
}

Rows randomRows(std::mt19937& random, const Dialect& dialect) {
  const std::size_t fields = std::uniform_int_distribution<std::size_t>(2, 5)(random);
  const std::size_t count = std::uniform_int_distribution<std::size_t>(1, 8)(random);
  Rows rows(count);
  for (auto& row : rows)
    for (std::size_t i = 0; i < fields; ++i) row.push_back(randomField(random, dialect));
  return rows;
}

TEST(RoundTrip, RowsWrittenWithADialectReadBackUnchanged) {
  std::mt19937 random(20261207);
  for (int trial = 0; trial < 400; ++trial) {
    const Dialect dialect = randomDialect(random);
    const Rows rows = randomRows(random, dialect);
    SCOPED_TRACE("trial " + std::to_string(trial) + ", encoding " + dialect.encoding.name());

    CSVWriter::Configuration writing;
    writing.delimiters.field = Delimiter::Field(dialect.field);
    writing.delimiters.row = Delimiter::Row(dialect.row);
    writing.escapingStrategy = Strategy::Escaping::scalar(dialect.escaping);
    writing.encoding = dialect.encoding;
    writing.bomStrategy = dialect.bom;
    Rows body = rows;
    if (dialect.headers) {
      writing.headers = rows.front();
      body.erase(body.begin());
    }
    const platform::Data bytes = CSVWriter::serialize(body, writing);

    CSVReader::Configuration reading;
    reading.delimiters.field = Delimiter::Field(dialect.field);
    reading.delimiters.row = Delimiter::Row(dialect.row);
    reading.escapingStrategy = Strategy::Escaping::scalar(dialect.escaping);
    reading.encoding = dialect.encoding;
    if (dialect.headers) reading.headerStrategy = Strategy::Header::firstLine();

    // From memory, and from a stream that hands out a few bytes at a time.
    const auto stream = platform::ScriptedInputStream::make(bytes, platform::InputStreamScript().readingAtMost(7));
    for (const testing::Outcome& outcome :
         {testing::readAll([&] { return CSVReader::initWithData(bytes, reading); }),
          testing::readAll([&] { return CSVReader::initWithInputStream(stream, reading); })}) {
      ASSERT_FALSE(outcome.failure) << outcome.failure->reason;
      EXPECT_EQ(outcome.headers, dialect.headers ? rows.front() : std::vector<std::string>());
      EXPECT_EQ(outcome.rows, body);
    }
  }
}

}  // namespace
}  // namespace RecordCSV
