#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/StreamDoubles.hpp"
#include "reader/ReaderTestSupport.hpp"

namespace RecordCSV {
namespace {

using testing::Rows;

struct Dialect {
  std::string field;
  std::vector<std::string> rows;  // the set; the writer writes the shortest
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
  // No field delimiter starts with a row delimiter (such as CR | with CR rows): a row ending before a
  // field that starts with the rest of it would read as a field delimiter, which no escaping rule
  // of a field's own text can prevent.
  static const std::vector<std::string> fields = {",", ";", "\t", "|", "::", "||", "\u2192", ":\u2192", "|\r"};
  // Every set of the usual line ends, and sets whose members start alike or hold the field delimiter.
  static const std::vector<std::vector<std::string>> rows = {
      {"\n"}, {"\r\n"}, {"\r"}, {"\u00B6"}, {"\n", "\r\n"}, {"\r", "\r\n"}, {"\n", "\r"}, {"\n", "\r", "\r\n"},
      {"\r\n", "\u00B6"}, {"\r\n", "\r\r"}, {"\n", ":\n"}};
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

/// Text made of pieces that matter to the dialect: the delimiters and their first scalars, both
/// quotes, line breaks, spaces and scalars of every UTF-8 length.
std::string randomField(std::mt19937& random, const Dialect& dialect) {
  std::vector<std::string> pieces = {"a", "Z", "0", " ", "\u00E9", "\u20AC", "\U0001F600", "\"", "'", "\r", "\n",
                                     ":", "|", "\u2192", dialect.field};
  pieces.insert(pieces.end(), dialect.rows.begin(), dialect.rows.end());
  std::string text;
  const int count = std::uniform_int_distribution<int>(0, 6)(random);
  for (int i = 0; i < count; ++i) text += pick(random, pieces);
  return text;
}

Rows randomRows(std::mt19937& random, const Dialect& dialect) {
  const std::size_t fields = std::uniform_int_distribution<std::size_t>(1, 5)(random);
  const std::size_t count = std::uniform_int_distribution<std::size_t>(1, 8)(random);
  Rows rows(count);
  for (auto& row : rows)
    for (std::size_t i = 0; i < fields; ++i) row.push_back(randomField(random, dialect));
  return rows;
}

TEST(RoundTrip, RowsWrittenWithADialectReadBackUnchanged) {
  std::mt19937 random(20261207);
  for (int trial = 0; trial < 1500; ++trial) {
    const Dialect dialect = randomDialect(random);
    const Rows rows = randomRows(random, dialect);
    SCOPED_TRACE("trial " + std::to_string(trial) + ", encoding " + dialect.encoding.name());

    CSVWriter::Configuration writing;
    writing.delimiters.field = Delimiter::Field(dialect.field);
    writing.delimiters.row = *Delimiter::Row::fromTexts(dialect.rows);
    writing.escapingStrategy = Strategy::Escaping::scalar(dialect.escaping);
    writing.encoding = dialect.encoding;
    writing.bomStrategy = dialect.bom;
    Rows body = rows;
    if (dialect.headers) {
      writing.headers = rows.front();
      body.erase(body.begin());
    }
    const platform::Data bytes = CSVWriter::serialize(body, writing);
    SCOPED_TRACE(::testing::PrintToString(std::string(bytes.view())) + " with field delimiter " +
                 ::testing::PrintToString(dialect.field) + " and rows " + ::testing::PrintToString(dialect.rows));

    CSVReader::Configuration reading;
    reading.delimiters.field = Delimiter::Field(dialect.field);
    reading.delimiters.row = *Delimiter::Row::fromTexts(dialect.rows);
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
