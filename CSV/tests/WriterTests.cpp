#include <gtest/gtest.h>

#include "CSV/CSVWriter.hpp"
#include "TestSupport.hpp"

namespace CSV {
namespace {

using Kind = CSVError::Kind;
using Script = platform::OutputStreamScript;
using testing::thrownKind;
using namespace std::string_literals;

std::string written(const platform::ScriptedOutputStream& stream) { return std::string(stream.written().view()); }

TEST(DelimitedTextWriter, WritesRowsAndQuotesWhatNeedsIt) {
  struct Case {
    std::vector<std::vector<std::string>> rows;
    std::string delimiter;
    CSVWriter::Newline newline;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{{"a", "b"}, {"c", "d"}}, ",", CSVWriter::Newline::lf, "a,b\nc,d"},
      {{{"a", "b"}, {"c", "d"}}, ",", CSVWriter::Newline::crlf, "a,b\r\nc,d"},
      {{{"x,y", "say \"hi\"", "cr\r", "lf\n", "plain"}}, ",", CSVWriter::Newline::lf,
       "\"x,y\",\"say \"\"hi\"\"\",\"cr\r\",\"lf\n\",plain"},
      {{{"a,b", "c;d"}}, ";", CSVWriter::Newline::lf, "a,b;\"c;d\""},
      {{{"a", "b"}}, "::", CSVWriter::Newline::lf, "a::b"},
      {{{"a", "b"}}, "", CSVWriter::Newline::lf, "ab"},
      {{{"a:", ":b", "a::b"}}, "::", CSVWriter::Newline::lf, "a::::b::\"a::b\""},
      {{{"", ""}, {"x"}}, ",", CSVWriter::Newline::lf, ",\nx"},
      {{{"a"}, {}, {"b"}}, ",", CSVWriter::Newline::lf, "a\nb"},
      {{{"\u00E9\xFF"}}, "\u00E9", CSVWriter::Newline::lf, "\"\u00E9\uFFFD\""},
  };
  for (const Case& c : cases) {
    auto stream = platform::ScriptedOutputStream::make();
    CSVWriter writer(stream, c.delimiter, c.newline);
    for (const auto& row : c.rows) {
      writer.beginRow();
      for (const auto& field : row) writer.writeField(field);
    }
    EXPECT_EQ(written(*stream), c.output);
  }
}

TEST(DelimitedTextWriter, ForcedQuotesAndTheEmptyOnlyFieldOfWriteRow) {
  auto stream = platform::ScriptedOutputStream::make();
  CSVWriter writer(stream);
  EXPECT_TRUE(writer.isFirstRow());
  writer.writeField("", true);
  writer.writeField("a", true);
  writer.writeRow({"b", "", "c"}, [](std::size_t index) { return index == 2; });
  writer.writeRow(std::vector<std::string>{""});
  writer.writeRow({"", ""});
  writer.writeRow(std::vector<std::string>{});
  writer.writeRow({"z"});
  EXPECT_EQ(written(*stream), "\"\",\"a\"\nb,,\"c\"\n\"\"\n,\nz");
}

TEST(DelimitedTextWriter, EncodingFormsWriteEachUnitOnItsOwn) {
  struct Case {
    int width;
    Endian endian;
    std::string output;
  };
  const std::vector<Case> cases = {
      {1, Endian::unknown, "A\u00E9\U0001F600"},
      {2, Endian::big, "\x00" "A\x00\xE9\xD8\x3D\xDE\x00"s},
      {2, Endian::little, "A\x00\xE9\x00\x3D\xD8\x00\xDE"s},
      {2, Endian::unknown, "A\x00\xE9\x00\x3D\xD8\x00\xDE"s},
      {4, Endian::big, "\x00\x00\x00" "A\x00\x00\x00\xE9\x00\x01\xF6\x00"s},
      {4, Endian::little, "A\x00\x00\x00\xE9\x00\x00\x00\x00\xF6\x01\x00"s},
  };
  for (const Case& c : cases) {
    auto stream = platform::ScriptedOutputStream::make();
    std::optional<CSVWriter> writer;
    if (c.width == 1) writer.emplace(stream, UTF8{});
    if (c.width == 2) writer.emplace(stream, UTF16{}, c.endian);
    if (c.width == 4) writer.emplace(stream, UTF32{}, c.endian);
    writer->writeField("A\u00E9\U0001F600");
    EXPECT_EQ(written(*stream), c.output);
    EXPECT_EQ(stream->writeCalls(), c.width == 1 ? 7u : c.width == 2 ? 4u : 3u);
  }
}

TEST(DelimitedTextWriter, FailedWritesLeaveTheFlagsWhereTheyGot) {
  {  // the newline fails: the next field writes it again
    auto stream = platform::ScriptedOutputStream::make(Script().takingNothingOnWrites({2}));
    CSVWriter writer(stream);
    writer.writeField("a");
    writer.beginRow();
    EXPECT_EQ(thrownKind([&] { writer.writeField("b"); }), Kind::cannotWriteStream);
    EXPECT_TRUE(writer.isFirstField());
    writer.writeField("c");
    EXPECT_EQ(written(*stream), "a\nc");
  }
  {  // the delimiter fails: the field counts as written
    auto stream = platform::ScriptedOutputStream::make(Script().failingOnWrite(2));
    CSVWriter writer(stream);
    writer.writeField("a");
    EXPECT_EQ(thrownKind([&] { writer.writeField("b"); }), Kind::cannotWriteStream);
    EXPECT_FALSE(writer.isFirstField());
    EXPECT_FALSE(writer.isFirstRow());
  }
  {  // a short unit: every unit of the scalar is still tried, and the field stops there
    auto stream = platform::ScriptedOutputStream::make(Script().takingNothingOnWrites({1}));
    CSVWriter writer(stream);
    EXPECT_EQ(thrownKind([&] { writer.writeField("\u00E9x"); }), Kind::cannotWriteStream);
    EXPECT_EQ(stream->writeCalls(), 2u);
    EXPECT_EQ(written(*stream), "\xA9");
    EXPECT_FALSE(writer.isFirstField());
    writer.writeField("y");
    EXPECT_EQ(written(*stream), "\xA9,y");
  }
  {  // a 16-bit unit taken in part fails too
    auto stream = platform::ScriptedOutputStream::make(Script().takingAtMost(1));
    CSVWriter writer(stream, UTF16{}, Endian::big);
    EXPECT_EQ(thrownKind([&] { writer.writeField("ab"); }), Kind::cannotWriteStream);
    EXPECT_EQ(stream->writeCalls(), 1u);
  }
  {  // writeRow stops at the first failure
    auto stream = platform::ScriptedOutputStream::make(Script().failingOnWrite(3));
    CSVWriter writer(stream);
    EXPECT_EQ(thrownKind([&] { writer.writeRow({"a", "b", "c"}); }), Kind::cannotWriteStream);
    EXPECT_EQ(written(*stream), "a,");
  }
}

TEST(DelimitedTextWriter, OpensAndClosesTheStream) {
  auto failing = platform::ScriptedOutputStream::make(Script().failingToOpen());
  EXPECT_EQ(thrownKind([&] { CSVWriter writer(failing); }), Kind::cannotOpenFile);
  EXPECT_EQ(failing->closeCalls(), 0u);
  EXPECT_EQ(thrownKind([&] { CSVWriter writer(platform::OutputStream::toFile("", false)); }), Kind::cannotOpenFile);

  auto stream = platform::ScriptedOutputStream::make();
  {
    CSVWriter writer(stream, ";", CSVWriter::Newline::crlf);
    EXPECT_EQ(writer.configuration().delimiter, ";");
    EXPECT_EQ(writer.configuration().newline, "\r\n");
    EXPECT_EQ(stream->status(), platform::StreamStatus::open);
  }
  EXPECT_EQ(stream->closeCalls(), 1u);
  EXPECT_EQ(thrownKind([&] { CSVWriter writer(stream); }), Kind::cannotOpenFile) << "a closed stream";
  EXPECT_EQ(CSVWriter::defaultDelimiter, ",");
}

}  // namespace
}  // namespace CSV
