#include <gtest/gtest.h>

#include "platform/core/Unicode.hpp"
#include "reader/ReaderTestSupport.hpp"

namespace RecordCSV {
namespace {

using testing::Failure;
using testing::readText;
using testing::Rows;

const std::string unescapedReason =
    "The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.";
const std::string unescapedHelp =
    "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar "
    "found within the field.";
const std::string unclosedReason =
    "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End of File) "
    "was encountered before the field matched at the end with the closing escaping scalar.";
const std::string unclosedHelp = "End the targeted field with the scaping scalar (double quotes by default).";
const std::string afterReason =
    "The targeted field parsed successfully. However, the character right after it was not a field nor row "
    "delimiter.";
const std::string crlfHelp = "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for \"\\r\".";
const std::string afterHelp =
    "There seems to be some characters after the escaping character and before the next field or the end of the "
    "row. Please remove those.";
const std::string countReason = "The number of fields is not constant between rows.";
const std::string countHelp =
    "Make sure the CSV file has always the same amount of fields per row (including the header row).";

struct Dialect {
  std::string field = ",";
  std::vector<std::string> rows = {"\n"};
  std::optional<char32_t> escape = U'"';
  Strategy::Header header = Strategy::Header::none();
  std::u32string trim;

  CSVReader::Configuration configuration() const {
    CSVReader::Configuration configuration;
    configuration.delimiters.field = Delimiter::Field(field);
    configuration.delimiters.row = *Delimiter::Row::fromTexts(rows);
    configuration.escapingStrategy = escape ? Strategy::Escaping::scalar(*escape) : Strategy::Escaping::none();
    configuration.headerStrategy = header;
    configuration.trimStrategy = platform::CharacterSet::fromScalars(trim);
    return configuration;
  }
};

Dialect withRows(std::vector<std::string> rows) {
  Dialect dialect;
  dialect.rows = std::move(rows);
  return dialect;
}
Dialect withField(std::string field) {
  Dialect dialect;
  dialect.field = std::move(field);
  return dialect;
}
Dialect withTrim(std::u32string trim) {
  Dialect dialect;
  dialect.trim = std::move(trim);
  return dialect;
}
Dialect withHeader(Strategy::Header header) {
  Dialect dialect;
  dialect.header = header;
  return dialect;
}

struct ParseCase {
  const char* name;
  std::string input;
  Dialect dialect;
  std::vector<std::string> headers;
  Rows rows;
  std::optional<Failure> failure;
};

TEST(ReaderParse, RowsFieldsAndErrors) {
  const Failure unclosed0{2, unclosedReason, unclosedHelp, 0};
  const ParseCase cases[] = {
      {"two rows", "a,b\n1,2", {}, {}, {{"a", "b"}, {"1", "2"}}, {}},
      {"final line feed", "a,b\n1,2\n", {}, {}, {{"a", "b"}, {"1", "2"}}, {}},
      {"trailing delimiter", "a,b,", {}, {}, {{"a", "b", ""}}, {}},
      {"only delimiters", ",,\n,,", {}, {}, {{"", "", ""}, {"", "", ""}}, {}},
      {"doubled escape", "\"x\"\"\"", {}, {}, {{"x\""}}, {}},
      {"escaped delimiters", "\"a,b\nc\",d\n", {}, {}, {{"a,b\nc", "d"}}, {}},
      {"escaped empty field", "\"\",a", {}, {}, {{"", "a"}}, {}},
      {"escape in unescaped", "ab,c\"d", {}, {}, {}, Failure{2, unescapedReason, unescapedHelp, 0}},
      {"cr after escaped", "\"x\"\r\n", {}, {}, {}, Failure{2, afterReason, crlfHelp, 0}},
      {"letter after escaped", "a\n\"x\"y", {}, {}, {{"a"}}, Failure{2, afterReason, afterHelp, 1}},
      {"unclosed", "\"abc", {}, {}, {}, unclosed0},
      {"unclosed after doubled", "\"abc\"\"", {}, {}, {}, unclosed0},
      {"trim", "  a ,b", withTrim(U" "), {}, {{"a", "b"}}, {}},
      {"trim after escaped", "\"a\"  ,b  \n", withTrim(U" "), {}, {{"a", "b"}}, {}},
      {"trim keeps inner", " a b ", withTrim(U" "), {}, {{"a b"}}, {}},
      {"trim to end", "\"a\"   ", withTrim(U" "), {}, {{"a"}}, {}},
      {"trim only", "   ", withTrim(U" "), {}, {}, {}},
      {"trim non-ASCII", "\u00A0a\u00A0\u00A0,\u3000b", withTrim(U"\u00A0\u3000"), {}, {{"a", "b"}}, {}},
      {"empty lines", "a\nb\n\n\nc\n\n", {}, {}, {{"a"}, {"b"}, {"c"}}, {}},
      {"empty line after first row", "a,b\n\n1,2", {}, {}, {{"a", "b"}, {"1", "2"}}, {}},
      {"an escaped empty field is a value, not an empty line", "a\n\"\"\nb", {}, {}, {{"a"}, {""}, {"b"}}, {}},
      {"field count", "a,b\n1,2,3", {}, {}, {{"a", "b"}}, Failure{2, countReason, countHelp, 2}},
      {"CR row delimiter with CRLF", "a,b\r\n1,2\r\n", withRows({"\n", "\r"}), {}, {{"a", "b"}, {"1", "2"}}, {}},
      {"CRLF", "a\r\nb", withRows({"\n", "\r\n"}), {}, {{"a"}, {"b"}}, {}},
      {"lone CR is text", "a\rb\n", withRows({"\n", "\r\n"}), {}, {{"a\rb"}}, {}},
      {"CR at end", "a\r", withRows({"\n", "\r\n"}), {}, {{"a\r"}}, {}},
      {"lone CR delimits", "a\rb", withRows({"\n", "\r", "\r\n"}), {}, {{"a"}, {"b"}}, {}},
      {"two-colon field", "a:b::c", withField("::"), {}, {{"a:b", "c"}}, {}},
      {"two-colon at end", "a:", withField("::"), {}, {{"a:"}}, {}},
      {"long row delimiter", "a<br>b<bx", withRows({"<br>"}), {}, {{"a"}, {"b<bx"}}, {}},
      {"longest wins later", "a<b<br>c", withRows({"<br>", "\n", "<bz>"}), {}, {{"a<b"}, {"c"}}, {}},
      {"no escaping", "a\"b,c", [] { Dialect d; d.escape.reset(); return d; }(), {}, {{"a\"b", "c"}}, {}},
      {"non-ASCII field delimiter", "a\u00E9b\u00E8c", withField("\u00E9"), {}, {{"a", "b\u00E8c"}}, {}},
      {"astral delimiter", "a\U0001F600b", withField("\U0001F600"), {}, {{"a", "b"}}, {}},
      {"escape is a letter", "xa,bx,c", [] { Dialect d; d.escape = U'x'; return d; }(), {}, {{"a,b", "c"}}, {}},
      {"header first line", "h1,h2\na,b\n\nc,d", withHeader(Strategy::Header::firstLine()), {"h1", "h2"},
       {{"a", "b"}, {"c", "d"}}, {}},
      {"header then wrong count", "h1,h2\na", withHeader(Strategy::Header::firstLine()), {"h1", "h2"}, {},
       Failure{2, countReason, countHelp, 2}},
      {"header then escape error", "h\n\"x\"y", withHeader(Strategy::Header::firstLine()), {"h"}, {},
       Failure{2, afterReason, afterHelp, 1}},
      {"header line 1", "skip\nh1,h2\na,b", withHeader(Strategy::Header::lineNumber(1)), {"h1", "h2"},
       {{"a", "b"}}, {}},
      {"header line 0", "h1,h2\na,b,c", withHeader(Strategy::Header::lineNumber(0)), {"h1", "h2"}, {},
       Failure{2, countReason, countHelp, 2}},
      {"header past the end", "a\nb", withHeader(Strategy::Header::lineNumber(5)), {}, {}, {}},
      {"header skips empty lines as rows", "\nh\nx", withHeader(Strategy::Header::lineNumber(1)), {"h"}, {{"x"}}, {}},
      {"header empty line after", "h\n\nx", withHeader(Strategy::Header::firstLine()), {"h"}, {{"x"}}, {}},
      {"header CRLF with CR delimiter", "h1,h2\r\na,b\r\n", [] { auto d = withRows({"\r", "\n"}); d.header = Strategy::Header::firstLine(); return d; }(),
       {"h1", "h2"}, {{"a", "b"}}, {}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::Outcome outcome = readText(c.input, c.dialect.configuration());
    EXPECT_FALSE(outcome.failedOnCreation);
    EXPECT_EQ(outcome.headers, c.headers);
    EXPECT_EQ(outcome.rows, c.rows);
    EXPECT_EQ(outcome.failure, c.failure);
  }
}

struct HeaderErrorCase {
  const char* name;
  std::string input;
  Strategy::Header header;
  Failure failure;
};

TEST(ReaderParse, HeaderFailuresEndCreation) {
  const HeaderErrorCase cases[] = {
      {"empty header line", "\na,b", Strategy::Header::firstLine(),
       {1, "A header line was expected, but an empty line was found instead.",
        "Make sure there is a header line at the very beginning of the file or mark the configuration as 'no "
        "header'.",
        {}}},
      {"bad skipped row", "\"x\"y\nh", Strategy::Header::lineNumber(1), {2, afterReason, afterHelp, 0}},
      {"bad header row", "a\n\"x", Strategy::Header::lineNumber(1), {2, unclosedReason, unclosedHelp, 1}},
      {"negative line", "a", Strategy::Header::lineNumber(-1),
       {1, "The header line number cannot be negative.",
        "Set the number of rows before the header line (zero or more) or mark the configuration as 'no header'.",
        {}}},
  };
  for (const HeaderErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::Outcome outcome = readText(c.input, withHeader(c.header).configuration());
    EXPECT_TRUE(outcome.failedOnCreation);
    EXPECT_EQ(outcome.failure, c.failure);
  }
}

struct CountCase {
  const char* name;
  std::string input;
  Strategy::Header header;
  CSVReader::Count afterCreation;
  std::int64_t rowIndex;
  CSVReader::Count afterOneRow;
};

TEST(ReaderParse, CountsAndRowIndex) {
  const CountCase cases[] = {
      {"no header", "a,b\nc,d", Strategy::Header::none(), {0, 0}, 0, {1, 2}},
      {"first line", "h,i\nc,d", Strategy::Header::firstLine(), {1, 2}, 0, {2, 2}},
      {"line 0", "h,i\nc,d", Strategy::Header::lineNumber(0), {1, 2}, 0, {2, 2}},
      {"line 2", "x\ny\nh,i\nc,d", Strategy::Header::lineNumber(2), {1, 2}, 0, {2, 2}},
      {"empty input with header", "", Strategy::Header::firstLine(), {0, 0}, 0, {0, 0}},
  };
  for (const CountCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader reader = CSVReader::initWithString(c.input, withHeader(c.header).configuration());
    EXPECT_EQ(reader.count(), c.afterCreation);
    EXPECT_EQ(reader.rowIndex(), c.rowIndex);
    (void)reader.readRow();
    EXPECT_EQ(reader.count(), c.afterOneRow);
  }
}

TEST(ReaderParse, StatusKeepsTheFirstFailure) {
  CSVReader reader = CSVReader::initWithString("a\nb,c\nd", CSVReader::Configuration());
  EXPECT_EQ(reader.status().kind(), CSVReader::Status::Kind::active);
  EXPECT_EQ(reader.readRow(), std::vector<std::string>{"a"});
  EXPECT_THROW(reader.readRow(), CSVReaderError);
  ASSERT_EQ(reader.status().kind(), CSVReader::Status::Kind::failed);
  EXPECT_EQ(reader.status().error()->userInfo().get<std::int64_t>("Number of parsed fields"), 2);
  EXPECT_EQ(reader.status().error()->userInfo().get<std::int64_t>("Number of expected fields"), 1);
  try {
    (void)reader.readRow();
    ADD_FAILURE() << "a failed reader reads on";
  } catch (const CSVReaderError& error) {
    EXPECT_EQ(error.failureReason(), countReason);
  }

  CSVReader empty = CSVReader::initWithString("", [](CSVReader::Configuration& c) {
    c.headerStrategy = Strategy::Header::firstLine();
  });
  EXPECT_EQ(empty.status().kind(), CSVReader::Status::Kind::finished);
  EXPECT_TRUE(empty.headers().empty());
  EXPECT_FALSE(empty.readRow());

  // A decoder reading through the reader may end it early.
  CSVReader ended = CSVReader::initWithString("a\nb", CSVReader::Configuration());
  ended.setStatus(CSVReader::Status::finished());
  EXPECT_FALSE(ended.readRow());
}

TEST(ReaderParse, RecordsLoseNoRowToADuplicateHeader) {
  CSVReader reader = CSVReader::initWithString("a,a\n1,2\n", [](CSVReader::Configuration& c) {
    c.headerStrategy = Strategy::Header::firstLine();
  });
  try {
    (void)reader.readRecord();
    ADD_FAILURE() << "duplicate headers accepted";
  } catch (const CSVReaderError& error) {
    EXPECT_EQ(error.failureReason(), "The header row contain two fields with the same value.");
    EXPECT_EQ(error.helpAnchor(), "Request a row instead of a record.");
    EXPECT_TRUE(error.userInfo().empty());
  }
  EXPECT_EQ(reader.status().kind(), CSVReader::Status::Kind::active);
  EXPECT_EQ(reader.readRow(), (std::vector<std::string>{"1", "2"}));

  CSVReader named = CSVReader::initWithString("name,size\na.jpg,12\n", [](CSVReader::Configuration& c) {
    c.headerStrategy = Strategy::Header::firstLine();
  });
  std::optional<CSVReader::Record> record = named.readRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ((*record)["size"], "12");
  EXPECT_EQ((*record)["Size"], std::nullopt);
  EXPECT_FALSE(named.readRecord());
}

TEST(ReaderParse, SequenceEndsAtTheFirstFailure) {
  CSVReader reader = CSVReader::initWithString("a\nb\n\"c", CSVReader::Configuration());
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : reader) rows.push_back(row);
  EXPECT_EQ(rows, (Rows{{"a"}, {"b"}}));
  EXPECT_EQ(reader.status().kind(), CSVReader::Status::Kind::failed);
}

}  // namespace
}  // namespace RecordCSV

namespace RecordCSV {
namespace {

TEST(ReaderParse, CharacterAfterAnEscapedFieldNamesTheField) {
  struct Case {
    std::string input;
    std::string field;
    std::int64_t rowIndex;
  };
  const Case cases[] = {{"\"a\"\"b\"x", "a\"b", 0}, {"h\n\"\u00E9,\n\"\r\n", "\u00E9,\n", 1}, {"\"\"?", "", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    CSVReader reader = CSVReader::initWithString(c.input, CSVReader::Configuration());
    try {
      while (reader.readRow()) {
      }
      ADD_FAILURE() << "no failure";
    } catch (const CSVReaderError& error) {
      EXPECT_EQ(error.userInfo().get<std::string>("Field"), c.field);
      EXPECT_EQ(error.userInfo().get<std::int64_t>("Row index"), c.rowIndex);
    }
  }
}

}  // namespace
}  // namespace RecordCSV
