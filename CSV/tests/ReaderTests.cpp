#include <gtest/gtest.h>

#include "CSV/CSVReader.hpp"
#include "TestSupport.hpp"

namespace CSV {
namespace {

using Kind = CSVError::Kind;
using Rows = std::vector<CSVReader::Row>;
using testing::kindOf;
using testing::streamOf;
using testing::thrownKind;
using namespace std::string_literals;

Rows readAll(CSVReader& reader) {
  Rows rows;
  for (const CSVReader::Row& row : reader) rows.push_back(row);
  EXPECT_FALSE(reader.currentRow());
  EXPECT_FALSE(reader.next()) << "a finished reader stays finished";
  return rows;
}

TEST(DelimitedTextReader, SplitsRowsAndFieldsFromTextAndFromBytesInAnyPieces) {
  struct Case {
    std::string input;
    Rows rows;
    bool trim = false;
    char32_t delimiter = U',';
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a,b", {{"a", "b"}}},
      {"a,b\n", {{"a", "b"}}},
      {"a,\n", {{"a", ""}}},
      {"a,", {{"a", ""}}},
      {"\n", {{""}}},
      {"\n\n", {{""}, {""}}},
      {"a\r\nb\rc\n", {{"a"}, {"b"}, {"c"}}},
      {"\r\r\n\n", {{""}, {""}, {""}}},
      {"a,b,c\nd\n", {{"a", "b", "c"}, {"d"}}},
      {"\"a\"\"b\",c", {{"a\"b", "c"}}},
      {"\"x,\ny\r\nz\",w", {{"x,\ny\r\nz", "w"}}},
      {"\"cut,off", {{"cut,off"}}},
      {"\"q\"\r\nx", {{"q"}, {"x"}}},
      {"\"q\"\rx", {{"q"}, {"x"}}},
      {"\"\"", {{""}}},
      {"\"\",\"\"\n", {{"", ""}}},
      {"a\"b,c", {{"a\"b", "c"}}},
      {" \"a\" , b ", {{" \"a\" ", " b "}}},
      {" \"a\" , b ", {{"a", "b"}}, true},
      {" \" a \" ,\t b \t\n", {{" a ", "b"}}, true},
      {"  ,  \n  ", {{"", ""}, {""}}, true},
      {"\"a\" \r\n\"b\"  ", {{"a"}, {"b"}}, true},
      {"a\tb\t\n", {{"a", "b", ""}}, true, U'\t'},
      {" a \t b ", {{"a", "b"}}, true, U'\t'},
      {"a;b,c", {{"a", "b,c"}}, false, U';'},
      {"a\u2003b\u2003 c\u00A0", {{"a", "b", "c"}}, true, U'\u2003'},
      {"\u00E9\u20AC,\U0001F600\n", {{"\u00E9\u20AC", "\U0001F600"}}},
      // A stray quote in a quoted field stays, with what followed it, and the field goes on as quoted.
      {"\"ab\"c,d\ne", {{"ab\"c,d\ne"}}},
      {"\"ab\" c,d", {{"ab\"c,d"}}, true},
      {"1,2\n3\n4,5,6", {{"1", "2"}, {"3"}, {"4", "5", "6"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input) + (c.trim ? " trimmed" : ""));
    CSVReader text(c.input, false, c.trim, c.delimiter);
    EXPECT_EQ(readAll(text), c.rows);
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
      CSVReader bytes(streamOf(c.input, platform::InputStreamScript().readingAtMost(piece)), false, c.trim,
                      c.delimiter);
      EXPECT_EQ(readAll(bytes), c.rows) << piece << " bytes per read";
      EXPECT_FALSE(bytes.error());
    }
  }
}

TEST(DelimitedTextReader, HeaderRowAndLookupByName) {
  CSVReader reader("name,age,name\nAnn,42,Bob\nCid\n", true);
  ASSERT_TRUE(reader.headerRow());
  EXPECT_EQ(*reader.headerRow(), (CSVReader::Row{"name", "age", "name"}));
  EXPECT_FALSE(reader["name"]) << "before the first row";
  EXPECT_EQ(reader.next(), (CSVReader::Row{"Ann", "42", "Bob"}));
  EXPECT_EQ(reader["name"], "Ann");
  EXPECT_EQ(reader["age"], "42");
  EXPECT_FALSE(reader["Name"]);
  EXPECT_EQ(reader.next(), (CSVReader::Row{"Cid"}));
  EXPECT_EQ(reader["age"], "");
  EXPECT_FALSE(reader.next());
  EXPECT_FALSE(reader["name"]);

  CSVReader plain("a,b\n");
  plain.next();
  EXPECT_FALSE(plain["a"]);

  // Header texts are equal as texts are: canonically equivalent spellings are one name, and
  // the first of them wins.
  CSVReader spelled("Cafe\u0301,\u00C5r,Caf\u00E9,\u212A\nx,y,z,k\n", true);
  spelled.next();
  EXPECT_EQ(spelled["Caf\u00E9"], "x");
  EXPECT_EQ(spelled["Cafe\u0301"], "x");
  EXPECT_EQ(spelled["A\u030Ar"], "y");
  EXPECT_EQ(spelled["K"], "k");
  EXPECT_FALSE(spelled["Cafe"]);

  EXPECT_EQ(thrownKind([] { CSVReader empty("", true); }), Kind::cannotReadHeaderRow);
  EXPECT_EQ(thrownKind([] { CSVReader empty(streamOf(""), true); }), Kind::cannotReadHeaderRow);
  CSVReader onlyHeader(streamOf("h\n"), true);
  EXPECT_FALSE(onlyHeader.next());
}

TEST(DelimitedTextReader, DelimiterIsNeverWhiteSpace) {
  platform::CharacterSet given{U' ', U';', U'\u2003', U'\u2004'};
  given.insert(0x2000, 0x200A);
  CSVReader reader("x", false, true, U'\u2005', given);
  EXPECT_FALSE(reader.configuration().whitespaces.contains(U'\u2005'));
  EXPECT_TRUE(reader.configuration().whitespaces.contains(U'\u2004'));
  EXPECT_TRUE(reader.configuration().whitespaces.contains(U'\u2006'));
  CSVReader semicolons(" a ; b ;", false, true, U';', given);
  EXPECT_FALSE(semicolons.configuration().whitespaces.contains(U';'));
  EXPECT_EQ(readAll(semicolons), (Rows{{"a", "b", ""}}));
  CSVReader tabs("a", false, true, U'\t');
  EXPECT_FALSE(tabs.configuration().whitespaces.contains(U'\t'));
  EXPECT_TRUE(tabs.configuration().whitespaces.contains(U'\u00A0'));
}

TEST(DelimitedTextReader, TextInputReadsIllFormedBytesAsReplacementAndKeepsAMark) {
  CSVReader reader("\xEF\xBB\xBF" "a,\xFF\xC3\n\xE2\x82,b");
  EXPECT_EQ(readAll(reader), (Rows{{"\uFEFF" "a", "\uFFFD\uFFFD"}, {"\uFFFD\uFFFD", "b"}}));
  EXPECT_FALSE(reader.error());
}

TEST(DelimitedTextReader, EachEncodingFindsOnlyAMarkOfItsOwnWidth) {
  struct Case {
    std::string bytes;
    int width;
    Endian endian;
    std::optional<Kind> failure;
    Rows rows;
    std::optional<Kind> error;
  };
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBF" "a,b", 1, Endian::unknown, {}, {{"a", "b"}}, {}},
      {"\xFF\xFE" "a\x00,\x00"s, 1, Endian::unknown, {}, {}, Kind::unicodeDecoding},
      {"\xFE\xFF\x00" "a\x00,\x00\xE9"s, 2, Endian::unknown, {}, {{"a", "\u00E9"}}, {}},
      {"\xFF\xFE" "a\x00\n\x00"s, 2, Endian::little, {}, {{"a"}}, {}},
      {"\xFF\xFE\x00\x00" "a\x00"s, 2, Endian::little, {}, {{"\0a"s}}, {}},
      {"\x00\x00\xFE\xFF\x00" "a"s, 2, Endian::big, {}, {{"\0\uFEFF" "a"s}}, {}},
      {"\xFE\xFF\x00" "a"s, 2, Endian::little, Kind::stringEndianMismatch, {}, {}},
      {"\xEF\xBB\xBF\x00\x00" "a"s, 2, Endian::big, {}, {{"\uEFBB\uBF00" "a"}}, {}},
      {"\x00" "a\x00,\x00"s, 2, Endian::unknown, {}, {}, Kind::stringEndianMismatch},
      {"\x00" "a\x00"s, 2, Endian::big, {}, {{"a"}}, Kind::stringEncodingMismatch},
      {"\x00\x00\xFE\xFF\x00\x00\x00" "a"s, 4, Endian::unknown, {}, {{"a"}}, {}},
      {"\xFF\xFE\x00\x00" "a\x00\x00\x00"s, 4, Endian::unknown, {}, {{"a"}}, {}},
      {"\xFF\xFE\x01\x00"s, 4, Endian::little, {}, {{"\U0001FEFF"}}, {}},
      {"\x00\x00\xFE\xFF"s, 4, Endian::little, Kind::stringEndianMismatch, {}, {}},
      {"\x00\x00\xD8\x00"s, 4, Endian::big, {}, {}, Kind::unicodeDecoding},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    for (std::size_t piece : {std::size_t{1}, std::size_t{100}}) {
      const auto stream = streamOf(c.bytes, platform::InputStreamScript().readingAtMost(piece));
      std::optional<CSVReader> reader;
      const auto failure = thrownKind([&] {
        if (c.width == 1) reader.emplace(stream, UTF8{});
        if (c.width == 2) reader.emplace(stream, UTF16{}, c.endian);
        if (c.width == 4) reader.emplace(stream, UTF32{}, c.endian);
      });
      EXPECT_EQ(failure, c.failure);
      if (failure) continue;
      EXPECT_EQ(readAll(*reader), c.rows);
      EXPECT_EQ(kindOf(reader->error()), c.error);
    }
  }
}

TEST(DelimitedTextReader, StopsAtTheFirstInputFailure) {
  using Script = platform::InputStreamScript;
  // A failing read ends the row at hand; nothing after it comes back as a row.
  CSVReader reader(streamOf("a,b\nc,dd,e\nf\n", Script().readingAtMost(6).failingOnRead(2)));
  EXPECT_EQ(reader.next(), (CSVReader::Row{"a", "b"}));
  EXPECT_FALSE(reader.error());
  EXPECT_EQ(reader.next(), (CSVReader::Row{"c", ""}));
  ASSERT_TRUE(reader.error());
  EXPECT_EQ(reader.error()->kind(), Kind::streamErrorHasOccurred);
  EXPECT_EQ(reader.error()->streamError(), platform::scriptedStreamError());
  EXPECT_FALSE(reader.next());
  EXPECT_FALSE(reader.next());
  EXPECT_EQ(kindOf(reader.error()), Kind::streamErrorHasOccurred);

  // Cut inside a scalar: the decoder's report comes last.
  CSVReader cut(streamOf("abc\xC3\xA9", Script().readingAtMost(4).failingOnRead(2, false)));
  EXPECT_EQ(cut.next(), (CSVReader::Row{"abc"}));
  EXPECT_EQ(kindOf(cut.error()), Kind::unicodeDecoding);

  CSVReader illFormed(streamOf("a\nb\xFF" "c\nd\n"));
  EXPECT_EQ(readAll(illFormed), (Rows{{"a"}, {"b"}}));
  EXPECT_EQ(kindOf(illFormed.error()), Kind::unicodeDecoding);

  // The look-ahead after a CR meets the failure while the row before it is read.
  CSVReader afterCR(streamOf("a\r\xFF"));
  EXPECT_EQ(afterCR.next(), (CSVReader::Row{"a"}));
  EXPECT_EQ(kindOf(afterCR.error()), Kind::unicodeDecoding);
  EXPECT_FALSE(afterCR.next());
}

TEST(DelimitedTextReader, ConstructionFailures) {
  using Script = platform::InputStreamScript;
  auto failingOpen = streamOf("a", Script().failingToOpen());
  EXPECT_EQ(thrownKind([&] { CSVReader reader(failingOpen); }), Kind::cannotOpenFile);
  EXPECT_EQ(failingOpen->closeCalls(), 0u);
  EXPECT_EQ(thrownKind([&] { CSVReader reader(streamOf("a", Script().failingOnRead(1))); }), Kind::cannotReadFile);
  EXPECT_EQ(thrownKind([&] { CSVReader reader(platform::InputStream::withFile("")); }), Kind::cannotOpenFile);
  // A failure while the header row is read fails construction with that failure.
  EXPECT_EQ(thrownKind([&] { CSVReader reader(streamOf("name,ag", Script().readingAtMost(5).failingOnRead(2)), true); }),
            Kind::streamErrorHasOccurred);
  EXPECT_EQ(thrownKind([&] { CSVReader reader(streamOf("na\xFFme\nx"), true); }), Kind::unicodeDecoding);
  EXPECT_EQ(thrownKind([&] { CSVReader reader(streamOf("\xFF"), true); }), Kind::unicodeDecoding);
}

TEST(DelimitedTextReader, ReleasingTheReaderClosesTheStream) {
  auto stream = streamOf("a\nb\n");
  {
    CSVReader reader(stream);
    CSVReader moved(std::move(reader));
    EXPECT_EQ(moved.next(), (CSVReader::Row{"a"}));
    EXPECT_EQ(stream->closeCalls(), 0u);
    EXPECT_EQ(stream->requestedLengths(), (std::vector<std::size_t>{65535})) << "one buffer of 65,535 bytes";
  }
  EXPECT_EQ(stream->closeCalls(), 1u);
}

}  // namespace
}  // namespace CSV
