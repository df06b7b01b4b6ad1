#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/StreamDoubles.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace RecordCSV {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
using Configure = std::function<void(CSVWriter::Configuration&)>;

std::string bytesOf(const platform::Data& data) { return std::string(data.view()); }

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

platform::TextEncoding encodingNamed(const char* name) { return *platform::TextEncoding::named(name); }

TEST(CSVWriter, EscapesOnlyWhatMustBeEscapedAndKeepsRowsEven) {
  struct Case {
    const char* name;
    Configure configure;
    Rows rows;
    std::string expected;
  };
  const Case cases[] = {
      {"default dialect", {}, {{"a", "b"}, {"c", "d"}}, "a,b\nc,d\n"},
      {"a lone quotation mark", {}, {{"\""}}, "\"\"\"\"\n"},
      {"comma, line feed and quote inside", {}, {{"x,y", "l1\nl2", "say \"hi\""}},
       "\"x,y\",\"l1\nl2\",\"say \"\"hi\"\"\"\n"},
      {"white space and carriage returns stay bare", {}, {{" a ", "\tb", "c\rd"}}, " a ,\tb,c\rd\n"},
      {"CR LF rows: a lone LF is bare, CR LF is wrapped",
       [](auto& c) { c.delimiters.row = "\r\n"; },
       {{"a\nb", "a\r\nb"}},
       "a\nb,\"a\r\nb\"\r\n"},
      {"the shortest row delimiter is written; a field holding another is escaped too",
       [](auto& c) { c.delimiters.row = *Delimiter::Row::fromTexts({"\r", "\n"}); },
       {{"a\rb", "c\nd"}},
       "\"a\rb\",\"c\nd\"\n"},
      {"LF, CR and CR LF: a lone CR is escaped",
       [](auto& c) { c.delimiters.row = *Delimiter::Row::fromTexts({"\n", "\r", "\r\n"}); },
       {{"a\rb"}},
       "\"a\rb\"\n"},
      {"LF and CR LF: a field ending in CR is escaped, one holding it inside is not",
       [](auto& c) { c.delimiters.row = Delimiter::Row::standard(); },
       {{"a\rb", "a\r"}},
       "a\rb,\"a\r\"\n"},
      {"a field ending with the start of the field delimiter is escaped",
       [](auto& c) { c.delimiters.field = "||"; },
       {{"|", "x|y", "z"}},
       "\"|\"||x|y||z\n"},
      {"short rows are filled with empty fields", {}, {{"a", "b", "c"}, {"v"}}, "a,b,c\nv,,\n"},
      {"an empty field writes nothing", {}, {{"", "a"}, {"b", ""}}, ",a\nb,\n"},
      {"a row of one empty field is two escaping scalars", {}, {{""}, {"a"}, {""}}, "\"\"\na\n\"\"\n"},
      {"headers fix the count; a row without fields is empty",
       [](auto& c) { c.headers = {"A", "B"}; },
       {{}, {"x"}},
       "A,B\n,\nx,\n"},
      {"multi-scalar field delimiter",
       [](auto& c) { c.delimiters.field = "::"; },
       {{"a:b", "a::b"}, {"c", "d"}},
       "a:b::\"a::b\"\nc::d\n"},
      {"a row delimiter that starts with the field delimiter",
       [](auto& c) { c.delimiters.row = ",\n"; },
       {{"a", "b,\nc"}},
       "a,\"b,\nc\",\n"},
      {"another escaping scalar",
       [](auto& c) { c.escapingStrategy = Strategy::Escaping::scalar(U'\''); },
       {{"it's", "\"q\"", "x,y"}},
       "'it''s',\"q\",'x,y'\n"},
      {"no escaping and nothing to escape",
       [](auto& c) { c.escapingStrategy = Strategy::Escaping::none(); },
       {{"a\"b", "c"}},
       "a\"b,c\n"},
      {"non-ASCII text and delimiters",
       [](auto& c) {
         c.delimiters.field = "\u2192";
         c.delimiters.row = "\u00B6";
       },
       {{"\u00E9t\u00E9", "a\u2192b"}, {"\U0001F600", "\u00B6"}},
       "\u00E9t\u00E9\u2192\"a\u2192b\"\u00B6\U0001F600\u2192\"\u00B6\"\u00B6"},
      {"ill-formed UTF-8 reads as replacement characters", {}, {{"a\xFF", "\xC3"}}, "a\uFFFD,\uFFFD\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVWriter::Configuration configuration;
    if (c.configure) c.configure(configuration);
    EXPECT_EQ(bytesOf(CSVWriter::serialize(c.rows, configuration)), c.expected);
    // Other encodings escape scalar by scalar rather than byte by byte; the text must not differ.
    configuration.encoding = platform::TextEncoding::utf16BigEndian();
    EXPECT_EQ(CSVWriter::serializeToString(c.rows, configuration), c.expected);
  }
}

TEST(CSVWriter, EncodesEveryEncodingWithTheMarkItsStrategyAsksFor) {
  struct Case {
    const char* encoding;  // nullptr: none configured
    Strategy::BOM bom;
    std::string field;
    std::vector<std::uint8_t> expected;  // the field followed by a line feed
  };
  using B = Strategy::BOM;
  const Case cases[] = {
      {nullptr, B::convention, "a", {'a', '\n'}},
      {nullptr, B::always, "a", {0xEF, 0xBB, 0xBF, 'a', '\n'}},
      {"utf-8", B::never, "\u00E9", {0xC3, 0xA9, '\n'}},
      {"utf-16", B::convention, "a", {0xFE, 0xFF, 0, 'a', 0, '\n'}},
      {"utf-16", B::never, "a", {0, 'a', 0, '\n'}},
      {"utf-16be", B::convention, "a", {0, 'a', 0, '\n'}},
      {"utf-16be", B::always, "a", {0xFE, 0xFF, 0, 'a', 0, '\n'}},
      {"utf-16le", B::convention, "\U0001F600", {0x3D, 0xD8, 0x00, 0xDE, '\n', 0}},
      {"utf-16le", B::always, "a", {0xFF, 0xFE, 'a', 0, '\n', 0}},
      {"utf-32", B::convention, "a", {0, 0, 0xFE, 0xFF, 0, 0, 0, 'a', 0, 0, 0, '\n'}},
      {"utf-32be", B::convention, "\U0001F600", {0, 0x01, 0xF6, 0x00, 0, 0, 0, '\n'}},
      {"utf-32le", B::always, "a", {0xFF, 0xFE, 0, 0, 'a', 0, 0, 0, '\n', 0, 0, 0}},
      {"ascii", B::always, "a", {'a', '\n'}},
      {"shift_jis", B::always, "\u3042a", {0x82, 0xA0, 'a', '\n'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding ? c.encoding : "none") + " " + c.field);
    CSVWriter::Configuration configuration;
    if (c.encoding) configuration.encoding = encodingNamed(c.encoding);
    configuration.bomStrategy = c.bom;
    const platform::Data data = CSVWriter::serialize(Rows{{c.field}}, configuration);
    EXPECT_EQ(data.bytes(), c.expected);
    // The text comes back the same in every encoding.
    EXPECT_EQ(CSVWriter::serializeToString(Rows{{c.field}}, configuration), c.field + "\n");
    // No rows at all, with or without a mark: empty text, not a failure.
    EXPECT_EQ(CSVWriter::serializeToString(Rows{}, configuration), "");
  }
}

struct ExpectedError {
  CSVWriter::Error type;
  std::string reason;
  std::string help;
  std::vector<std::pair<std::string, std::string>> userInfo;  // key and text
  bool underlying = false;                                     // whether it wraps the stream's error
};

void expectError(const std::function<void()>& action, const ExpectedError& expected) {
  try {
    action();
    ADD_FAILURE() << "no error; expected " << expected.reason;
  } catch (const CSVWriterError& error) {
    EXPECT_EQ(error.type(), expected.type);
    EXPECT_EQ(error.domain(), "RecordCSV.Writer");
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(expected.type));
    EXPECT_EQ(error.failureReason(), expected.reason);
    EXPECT_EQ(error.helpAnchor(), expected.help);
    EXPECT_FALSE(error.recoverySuggestion());
    std::vector<std::pair<std::string, std::string>> info;
    for (const auto& entry : error.userInfo()) info.emplace_back(entry.key, entry.text);
    EXPECT_EQ(info, expected.userInfo);
    EXPECT_EQ(error.underlyingError() != nullptr, expected.underlying);
  }
}

const ExpectedError overflow{CSVWriter::Error::invalidOperation,
                             "A field cannot be added to a row that has already the expected amount of fields. All "
                             "CSV rows must have the same amount of fields.",
                             "Always write the same amount of fields per row.",
                             {{"Number of expected fields per row", "2"}}};
const ExpectedError emptyRow{CSVWriter::Error::invalidOperation,
                             "An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown.",
                             "Write a headers row or a row with content before writing an empty row.",
                             {}};
const ExpectedError delimiterInField{CSVWriter::Error::invalidInput,
                                     "A field cannot include a delimiter if escaping strategy is disabled.",
                                     "Remove delimiter from field or set an escaping strategy.",
                                     {{"Field", "x,y"}}};
const ExpectedError notASCII{CSVWriter::Error::invalidInput, "The Unicode Scalar is not an ASCII character.",
                             "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. "
                             "UTF8).",
                             {{"Unicode scalar", "\u00E9"}}};

TEST(CSVWriter, RefusesWhatItCannotWriteAndKeepsWhatWasSent) {
  struct Case {
    const char* name;
    Configure configure;
    std::function<void(CSVWriter&)> before;  // succeeds
    std::function<void(CSVWriter&)> failing;
    ExpectedError error;
    std::string output;  // after endEncoding()
    std::int64_t fieldIndex;
  };
  auto noEscaping = [](CSVWriter::Configuration& c) { c.escapingStrategy = Strategy::Escaping::none(); };
  auto ascii = [](CSVWriter::Configuration& c) { c.encoding = platform::TextEncoding::ascii(); };
  const Case cases[] = {
      {"a third field in a row of two", {}, [](CSVWriter& w) { w.writeRow({"a", "b"}); w.writeFields({"c", "d"}); },
       [](CSVWriter& w) { w.writeField("e"); }, overflow, "a,b\nc,d\n", 2},
      {"fields that would overflow write nothing", {}, [](CSVWriter& w) { w.writeRow({"a", "b"}); w.writeField("c"); },
       [](CSVWriter& w) { w.writeFields({"d", "e"}); }, overflow, "a,b\nc,\n", 1},
      {"an empty row before the count is known", {}, {}, [](CSVWriter& w) { w.writeEmptyRow(); }, emptyRow, "", 0},
      {"ending a row without fields before the count is known", {}, {}, [](CSVWriter& w) { w.endRow(); }, emptyRow,
       "", 0},
      {"a delimiter in a field without escaping: the field delimiter stays", noEscaping,
       [](CSVWriter& w) { w.writeField("a"); }, [](CSVWriter& w) { w.writeField("x,y"); }, delimiterInField, "a,\n",
       1},
      {"a row delimiter in a field without escaping", noEscaping, {},
       [](CSVWriter& w) { w.writeField("x\ny"); },
       {CSVWriter::Error::invalidInput, delimiterInField.reason, delimiterInField.help, {{"Field", "x\ny"}}}, "", 0},
      {"another row delimiter of the set in a field without escaping",
       [](CSVWriter::Configuration& c) {
         c.escapingStrategy = Strategy::Escaping::none();
         c.delimiters.row = *Delimiter::Row::fromTexts({"\n", "\r"});
       },
       {}, [](CSVWriter& w) { w.writeRow({"x\ry"}); },
       {CSVWriter::Error::invalidInput, delimiterInField.reason, delimiterInField.help, {{"Field", "x\ry"}}}, "", 0},
      {"a field ending with a delimiter's start without escaping",
       [](CSVWriter::Configuration& c) {
         c.escapingStrategy = Strategy::Escaping::none();
         c.delimiters.row = Delimiter::Row::standard();
       },
       [](CSVWriter& w) { w.writeField("a"); }, [](CSVWriter& w) { w.writeField("b\r"); },
       {CSVWriter::Error::invalidInput, delimiterInField.reason, delimiterInField.help, {{"Field", "b\r"}}}, "a,\n",
       1},
      {"a non-ASCII scalar: the scalars before it are written", ascii, [](CSVWriter& w) { w.writeField("a"); },
       [](CSVWriter& w) { w.writeField("ab\u00E9c"); }, notASCII, "a,ab\n", 1},
      {"a non-ASCII field delimiter fails when it is first needed",
       [](CSVWriter::Configuration& c) {
         c.encoding = platform::TextEncoding::ascii();
         c.delimiters.field = "\u00E9";
       },
       [](CSVWriter& w) { w.writeField("a"); }, [](CSVWriter& w) { w.writeField("b"); }, notASCII, "a\n", 1},
      {"a scalar without a Shift-JIS form",
       [](CSVWriter::Configuration& c) { c.encoding = encodingNamed("shift_jis"); }, {},
       [](CSVWriter& w) { w.writeField("x\U0001F600"); },
       {CSVWriter::Error::invalidInput, "The Unicode Scalar couldn't be encoded to multibyte Shift-JIS",
        "Make sure the CSV only contains Shift-JIS characters.", {{"Unicode scalar", "\U0001F600"}}},
       "x", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVWriter::Configuration configuration;
    if (c.configure) c.configure(configuration);
    CSVWriter writer(configuration);
    if (c.before) c.before(writer);
    expectError([&] { c.failing(writer); }, c.error);
    EXPECT_EQ(writer.fieldIndex(), c.fieldIndex);
    // A failed call undoes nothing; the pending row is completed at the end.
    writer.endEncoding();
    EXPECT_EQ(bytesOf(writer.data()), c.output);
  }
}

TEST(CSVWriter, RefusesBadConfigurationsBeforeTouchingTheOutput) {
  platform::TemporaryDirectory folder;
  const fs::path existing = folder.path() / "existing.csv";
  const ExpectedError badDelimiters{CSVWriter::Error::invalidConfiguration,
                                    "The field and/or row delimiters are invalid.",
                                    "Both delimiters must contain at least contain a unicode scalar/character and they "
                                    "must be different to each other.",
                                    {}};
  const ExpectedError unsupported{CSVWriter::Error::invalidConfiguration,
                                  "The given encoding is not yet supported by this library",
                                  "Contact the library maintainer",
                                  {{"Encoding", encodingNamed("latin1").description()}}};
  struct Case {
    const char* name;
    Configure configure;
    ExpectedError error;
  };
  const Case cases[] = {
      {"field delimiter equal to a row delimiter",
       [](auto& c) { c.delimiters.row = *Delimiter::Row::fromTexts({"\n", ","}); }, badDelimiters},
      {"no field delimiter", [](auto& c) { c.delimiters.field = Delimiter::Field(); }, badDelimiters},
      {"no row delimiter", [](auto& c) { c.delimiters.row = Delimiter::Row(); }, badDelimiters},
      {"an encoding the writer does not know", [](auto& c) { c.encoding = encodingNamed("latin1"); }, unsupported},
      {"a header row that cannot be written",
       [](auto& c) {
         c.escapingStrategy = Strategy::Escaping::none();
         c.headers = {"a", "x,y"};
       },
       delimiterInField},
      {"a header the encoding cannot write",
       [](auto& c) {
         c.encoding = platform::TextEncoding::ascii();
         c.headers = {"\u00E9"};
       },
       notASCII},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(existing, std::ios::binary) << "keep me\n";
    expectError([&] { CSVWriter writer(c.configure); }, c.error);
    expectError([&] { CSVWriter writer(existing, false, c.configure); }, c.error);
    EXPECT_EQ(fileText(existing), "keep me\n");
  }
}

TEST(CSVWriter, StreamFaultsAreReportedNeverSwallowed) {
  using Script = platform::OutputStreamScript;
  const ExpectedError attempts{CSVWriter::Error::streamFailure,
                               "Several attempts were made to write on the stream, but they were unsuccessful.",
                               "Review the underlying error (if any) and try again.",
                               {{"Stream status", "open"}, {"Attempts", "2"}}};
  const ExpectedError writeError{CSVWriter::Error::streamFailure,
                                 "The output stream encountered an error while trying to write encoded bytes",
                                 "Review the underlying error and make sure you have access to the output data (if it "
                                 "is a file)",
                                 {{"Stream status", "error"}},
                                 true};
  struct Case {
    const char* name;
    Script script;
    Rows rows;
    std::optional<ExpectedError> error;  // from writing the rows and ending
    std::string written;
    std::int64_t rowIndex, fieldIndex, expectedFields;  // afterwards: only what went out counts
  };
  // Taking a byte per write, the calls count the bytes.
  const Script bytewise = Script().takingAtMost(1);
  const Case cases[] = {
      {"a byte at a time", bytewise, {{"\u00E9a", "b"}, {"c", "d"}}, std::nullopt, "\u00E9a,b\nc,d\n", 2, 0, 2},
      {"nothing taken once per scalar", Script(bytewise).takingNothingOnWrites({1, 3, 5}), {{"ab"}}, std::nullopt,
       "ab\n", 1, 0, 1},
      {"nothing taken twice within one two-byte scalar", Script(bytewise).takingNothingOnWrites({1, 3}),
       {{"\u00E9"}}, attempts, "\xC3", 0, 0, 0},
      {"nothing taken twice for the field delimiter", Script(bytewise).takingNothingOnWrites({2, 3}), {{"a", "b"}},
       attempts, "a", 0, 1, 0},
      {"a failing write inside the second field", Script(bytewise).failingOnWrite(4), {{"ab", "cd"}}, writeError,
       "ab,", 0, 1, 0},
      {"a failing write at the row delimiter", Script(bytewise).failingOnWrite(4), {{"a", "b"}}, writeError, "a,b", 0,
       2, 2},
      {"a failing write while padding", Script(bytewise).failingOnWrite(7), {{"a", "b"}, {"c"}}, writeError,
       "a,b\nc,", 1, 2, 2},
      {"a failing close", Script().failingOnClose(), {{"a"}}, writeError, "a\n", 1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = platform::ScriptedOutputStream::make(c.script);
    CSVWriter writer(stream, CSVWriter::Configuration());
    auto run = [&] {
      for (const auto& row : c.rows) writer.writeRow(row);
      writer.endEncoding();
    };
    if (c.error)
      expectError(run, *c.error);
    else
      run();
    EXPECT_EQ(bytesOf(stream->written()), c.written);
    EXPECT_EQ(writer.rowIndex(), c.rowIndex);
    EXPECT_EQ(writer.fieldIndex(), c.fieldIndex);
    EXPECT_EQ(writer.expectedFields(), c.expectedFields);
  }

  // A stream that cannot be opened.
  expectError([] { CSVWriter writer(platform::ScriptedOutputStream::make(Script().failingToOpen()), {}); },
              {CSVWriter::Error::streamFailure, "The output stream is not open.",
               "Check you have priviledge to open the output stream.", {{"Stream status", "error"}}, true});
}

TEST(CSVWriter, FilesAreCreatedReplacedOrAppendedTo) {
  platform::TemporaryDirectory folder;
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    bool append;
    Configure configure;
    Rows rows;
    std::string after;
  };
  const Case cases[] = {
      {"created", nullptr, false, {}, {{"a", "b"}}, "a,b\n"},
      {"replaced, with the mark", "old,text\n", false, [](auto& c) { c.bomStrategy = Strategy::BOM::always; },
       {{"a"}}, "\xEF\xBB\xBF" "a\n"},
      {"appended without a mark", "old\n", true, [](auto& c) { c.bomStrategy = Strategy::BOM::always; }, {{"new"}},
       "old\nnew\n"},
      {"appended in another encoding to a file without a mark", "old\n", true,
       [](auto& c) { c.encoding = platform::TextEncoding::utf16LittleEndian(); }, {{"n"}},
       std::string("old\nn\0\n\0", 8)},
      {"headers written at creation", nullptr, false, [](auto& c) { c.headers = {"H1", "H2"}; }, {{"a"}},
       "H1,H2\na,\n"},
      {"more than the stream's buffer", nullptr, false, {}, Rows(20000, {"0123456789", "abcdefghij"}), ""},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = folder.path() / ("out" + std::to_string(index++) + ".csv");
    if (c.before) std::ofstream(file, std::ios::binary) << c.before;
    CSVWriter::serialize(c.rows, file, c.append, c.configure);
    std::string expected = c.after;
    if (expected.empty())
      for (std::size_t i = 0; i < c.rows.size(); ++i) expected += "0123456789,abcdefghij\n";
    EXPECT_EQ(fileText(file), expected);
  }

  // A writer that is released without endEncoding() still completes its file.
  const fs::path released = folder.path() / "released.csv";
  {
    CSVWriter writer(released, false);
    writer.writeField("a");
  }
  EXPECT_EQ(fileText(released), "a\n");

  // A file writer has no memory data.
  CSVWriter fileWriter(folder.path() / "nodata.csv", false);
  fileWriter.endEncoding();
  expectError([&] { (void)fileWriter.data(); },
              {CSVWriter::Error::streamFailure, "The stream failed to returned the encoded data.",
               "Call endEncoding() before accessing the data. Also remember, that only Data and String initializers "
               "can access memory data.",
               {}});

  expectError([&] { CSVWriter writer(fs::path(), false); },
              {CSVWriter::Error::streamFailure, "The output stream couldn't be initialized with the given URL.",
               "Make sure you have access to the targeted file.", {{"File URL", ""}}});
  expectError([&] { CSVWriter writer(folder.path() / "missing" / "out.csv", false); },
              {CSVWriter::Error::streamFailure, "The output stream is not open.",
               "Check you have priviledge to open the output stream.", {{"Stream status", "error"}}, true});
}

TEST(CSVWriter, AppendsOnlyInTheEncodingOfTheFilesMark) {
  platform::TemporaryDirectory folder;
  using platform::TextEncoding;
  struct Case {
    const char* name;
    std::string before;
    std::optional<TextEncoding> encoding;
    std::optional<TextEncoding> detected;  // absent: the file agrees
  };
  const std::string utf8Mark = "\xEF\xBB\xBF", utf16LE = "\xFF\xFE", utf16BE = "\xFE\xFF";
  const std::string utf32LE("\xFF\xFE\0\0", 4);
  const Case cases[] = {
      {"UTF-8 onto UTF-8", utf8Mark + "old\n", std::nullopt, std::nullopt},
      {"UTF-16LE onto UTF-8", utf8Mark + "old\n", TextEncoding::utf16LittleEndian(), TextEncoding::utf8()},
      {"ASCII onto a marked file", utf8Mark + "old\n", TextEncoding::ascii(), TextEncoding::utf8()},
      {"Shift-JIS onto a marked file", utf8Mark, encodingNamed("shift_jis"), TextEncoding::utf8()},
      {"UTF-16 onto big-endian UTF-16", utf16BE + std::string("\0o\0\n", 4), TextEncoding::utf16(), std::nullopt},
      {"UTF-16 onto little-endian UTF-16", utf16LE + std::string("o\0\n\0", 4), TextEncoding::utf16(),
       TextEncoding::utf16LittleEndian()},
      {"UTF-8 onto a mark that starts both little-endian marks", utf32LE, std::nullopt,
       TextEncoding::utf32LittleEndian()},
      // A reader with no configured encoding reads FF FE 00 00 as UTF-32LE, whatever the writer asks.
      {"UTF-16LE onto FF FE 00 00", utf32LE + std::string("a\0\0\0\n\0\0\0", 8), TextEncoding::utf16LittleEndian(),
       TextEncoding::utf32LittleEndian()},
      {"UTF-16 onto FF FE 00 00", utf32LE, TextEncoding::utf16(), TextEncoding::utf32LittleEndian()},
      {"UTF-32LE onto FF FE 00 00", utf32LE + std::string("a\0\0\0\n\0\0\0", 8), TextEncoding::utf32LittleEndian(),
       std::nullopt},
      {"UTF-32LE onto little-endian UTF-16", utf16LE + "o", TextEncoding::utf32LittleEndian(),
       TextEncoding::utf16LittleEndian()},
      {"UTF-32 onto big-endian UTF-32", std::string("\0\0\xFE\xFF", 4), TextEncoding::utf32(), std::nullopt},
      {"UTF-16 onto an empty file", "", TextEncoding::utf16(), std::nullopt},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = folder.path() / ("append" + std::to_string(index++) + ".csv");
    std::ofstream(file, std::ios::binary) << c.before;
    const auto configure = [&](CSVWriter::Configuration& configuration) { configuration.encoding = c.encoding; };
    if (!c.detected) {
      CSVWriter::serialize(Rows{{"n"}}, file, true, configure);
      const platform::Data row = CSVWriter::serialize(Rows{{"n"}}, [&](CSVWriter::Configuration& configuration) {
        configure(configuration);
        configuration.bomStrategy = Strategy::BOM::never;
      });
      EXPECT_EQ(fileText(file), c.before + bytesOf(row));
      continue;
    }
    try {
      CSVWriter writer(file, true, configure);
      ADD_FAILURE() << "appended in another encoding";
    } catch (const CSVWriterError& error) {
      EXPECT_EQ(error.type(), CSVWriter::Error::invalidConfiguration);
      EXPECT_EQ(error.failureReason(), "The encoding provided was different than the encoding detected on the file.");
      EXPECT_EQ(error.helpAnchor(), "Append with the encoding of the existing file.");
      EXPECT_EQ(error.userInfo().get<std::string>("File URL"), file.string());
      EXPECT_EQ(error.userInfo().get<TextEncoding>("Provided encoding"), c.encoding.value_or(TextEncoding::utf8()));
      EXPECT_EQ(error.userInfo().get<TextEncoding>("Detected encoding"), c.detected);
    }
    EXPECT_EQ(fileText(file), c.before) << "nothing was written";
  }
}

TEST(CSVWriter, AFailedFlushAtTheEndIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no full device";
  CSVWriter writer("/dev/full", false);
  writer.writeRow({"a", "b"});
  try {
    writer.endEncoding();
    ADD_FAILURE() << "the lost bytes were reported as written";
  } catch (const CSVWriterError& error) {
    EXPECT_EQ(error.type(), CSVWriter::Error::streamFailure);
    EXPECT_EQ(error.failureReason(), "The output stream encountered an error while trying to write encoded bytes");
    EXPECT_TRUE(error.underlyingError());
  }
  EXPECT_NO_THROW(writer.endEncoding()) << "a second call does nothing";
}

TEST(CSVWriter, CountersFollowRowsAndTheEndIsReachedOnce) {
  CSVWriter writer([](CSVWriter::Configuration& c) { c.headers = {"A", "B", "C"}; });
  EXPECT_EQ(writer.rowIndex(), 0);
  EXPECT_EQ(writer.fieldIndex(), 0);
  EXPECT_EQ(writer.expectedFields(), 3);
  writer.writeField("x");
  EXPECT_EQ(writer.fieldIndex(), 1);
  writer.endRow();
  EXPECT_EQ(writer.rowIndex(), 1);
  writer.writeEmptyRow();
  writer.writeField("y");
  expectError([&] { (void)writer.data(); },
              {CSVWriter::Error::invalidOperation, "The memory stream must be closed before the data can be accessed.",
               "Call endEncoding() before accessing the data. Also remember, that only Data and String initializers "
               "can access memory data.",
               {{"Stream status", "open"}}});
  writer.endEncoding();
  writer.endEncoding();
  EXPECT_EQ(writer.rowIndex(), 3);
  EXPECT_EQ(bytesOf(writer.data()), "A,B,C\nx,,\n,,\ny,,\n");
  EXPECT_EQ(bytesOf(writer.data()), "A,B,C\nx,,\n,,\ny,,\n");

  // Without headers the first completed row fixes the count.
  CSVWriter plain;
  plain.writeRow({"a", "b"});
  EXPECT_EQ(plain.expectedFields(), 2);
  plain.writeEmptyRow();
  plain.endEncoding();
  EXPECT_EQ(bytesOf(plain.data()), "a,b\n,\n");

}

TEST(CSVWriter, ARowOfOneEmptyFieldIsNotAnEmptyLine) {
  struct Case {
    const char* name;
    Configure configure;
    std::function<void(CSVWriter&)> write;
    std::string expected;
  };
  const auto single = [](CSVWriter::Configuration& c) { c.headers = {"h"}; };
  const auto noEscaping = [](CSVWriter::Configuration& c) {
    c.headers = {"h"};
    c.escapingStrategy = Strategy::Escaping::none();
  };
  const Case cases[] = {
      {"writeRow", {}, [](CSVWriter& w) { w.writeRow({""}); }, "\"\"\n"},
      {"writeRow after a header", single, [](CSVWriter& w) { w.writeRow({""}); }, "h\n\"\"\n"},
      {"an empty header", [](auto& c) { c.headers = {""}; }, [](CSVWriter& w) { w.writeRow({"a"}); },
       "\"\"\na\n"},
      {"writeField then endRow", {}, [](CSVWriter& w) { w.writeField(""); w.endRow(); }, "\"\"\n"},
      {"writeFields then endRow", single, [](CSVWriter& w) { w.writeFields({""}); w.endRow(); }, "h\n\"\"\n"},
      {"writeField then an empty writeRow", {}, [](CSVWriter& w) { w.writeField(""); w.writeRow({}); },
       "\"\"\n"},
      {"writeField, then the end", {}, [](CSVWriter& w) { w.writeField(""); }, "\"\"\n"},
      {"endRow without a field", single, [](CSVWriter& w) { w.endRow(); }, "h\n\"\"\n"},
      {"writeEmptyRow", single, [](CSVWriter& w) { w.writeEmptyRow(); }, "h\n\"\"\n"},
      {"another escaping scalar in another encoding",
       [](CSVWriter::Configuration& c) {
         c.headers = {"h"};
         c.escapingStrategy = Strategy::Escaping::scalar(U'\'');
         c.encoding = platform::TextEncoding::utf16LittleEndian();
       },
       [](CSVWriter& w) { w.writeRow({""}); }, std::string("h\0\n\0'\0'\0\n\0", 10)},
      {"two fields stay bare", {}, [](CSVWriter& w) { w.writeRow({"", ""}); w.writeEmptyRow(); }, ",\n,\n"},
      {"without escaping it is an empty line", noEscaping,
       [](CSVWriter& w) { w.writeRow({""}); w.writeEmptyRow(); }, "h\n\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVWriter::Configuration configuration;
    if (c.configure) c.configure(configuration);
    CSVWriter writer(configuration);
    c.write(writer);
    writer.endEncoding();
    EXPECT_EQ(bytesOf(writer.data()), c.expected);
  }
}

}  // namespace
}  // namespace RecordCSV
