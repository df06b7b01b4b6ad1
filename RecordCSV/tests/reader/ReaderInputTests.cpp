#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/Unicode.hpp"
#include "platform/io/InputStream.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "reader/ReaderTestSupport.hpp"

namespace RecordCSV {
namespace {

using platform::TextEncoding;
using testing::Failure;
using testing::readBytes;
using testing::Rows;

const Failure utf8Failure{2, "Some input bytes couldn't be decoded as UTF8 characters",
                          "Make sure the CSV only contains UTF8 characters or select a different encoding.", {}};
const Failure utf16Failure{2, "Some input bytes couldn't be decoded as multibyte UTF16",
                           "Make sure the CSV only contains UTF16 characters.", {}};
const Failure utf32Failure{2, "Some input bytes couldn't be decoded as multibyte UTF32",
                           "Make sure the CSV only contains UTF32 characters.", {}};
const Failure utf16Incomplete{
    2, "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).",
    "Check the last UTF16 character of your input data/file.", {}};
const Failure utf32Incomplete{2, "The last input UTF32 character is incomplete (less than 4 bytes were found).",
                              "Check the last UTF32 character of your input data/file.", {}};
const Failure asciiFailure{2, "The decoded byte is not an ASCII character.",
                           "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. "
                           "UTF8).",
                           {}};
const Failure conflict{1,
                       "The encoding passed in the configuration doesn't match the Byte Order Mark (BOM) from the "
                       "input data",
                       "Set the appropriate encoding for the reader configuration or don't set any at all (pass nil)",
                       {}};
const Failure unsupported{1, "The given encoding is not yet supported by this library",
                          "Contact the library maintainer", {}};
const Failure mismatch{1, "The data blob didn't match the given string encoding.",
                       "Let the reader infer the encoding or make sure the data blob is correctly formatted.", {}};

struct BlobCase {
  const char* name;
  std::string bytes;
  std::optional<TextEncoding> encoding;
  bool presample;
  Rows rows;
  std::optional<Failure> failure;
};

TEST(ReaderInput, EncodingsMarksAndDecoders) {
  const auto latin1 = TextEncoding::named("latin1");
  ASSERT_TRUE(latin1);
  const BlobCase cases[] = {
      {"empty", "", {}, false, {}, {}},
      {"UTF-8 mark", "\xEF\xBB\xBF" "a,b", {}, false, {{"a", "b"}}, {}},
      {"UTF-8 mark configured", "\xEF\xBB\xBF" "a,b", TextEncoding::utf8(), false, {{"a", "b"}}, {}},
      {"UTF-16LE mark under UTF-16", std::string("\xFF\xFE" "a\0,\0b\0", 8), TextEncoding::utf16(), false,
       {{"a", "b"}}, {}},
      {"UTF-16LE mark under UTF-8", std::string("\xFF\xFE" "a\0", 4), TextEncoding::utf8(), false, {}, conflict},
      {"UTF-16BE mark configured", std::string("\xFE\xFF\0a", 4), TextEncoding::utf16BigEndian(), false, {{"a"}},
       {}},
      {"UTF-16BE mark under LE", std::string("\xFE\xFF\0a", 4), TextEncoding::utf16LittleEndian(), false, {},
       conflict},
      {"UTF-8 mark under ASCII", "\xEF\xBB\xBF" "a", TextEncoding::ascii(), false, {}, conflict},
      {"UTF-16 without mark is big-endian", std::string("\0a\0,\0b", 6), TextEncoding::utf16(), false,
       {{"a", "b"}}, {}},
      {"only a mark", "\xFE\xFF", {}, false, {}, {}},
      {"cut-off mark", "\xEF\xBB", {}, false, {}, utf8Failure},
      {"FF FE 00 00 is UTF-32LE", std::string("\xFF\xFE\0\0" "a\0\0\0", 8), {}, false, {{"a"}}, {}},
      {"FF FE 00 00 under UTF-16", std::string("\xFF\xFE\0\0" "a\0", 6), TextEncoding::utf16(), false,
       {{std::string("\0a", 2)}}, {}},
      {"FF FE 00 00 under UTF-16LE", std::string("\xFF\xFE\0\0" "a\0", 6), TextEncoding::utf16LittleEndian(), false,
       {{std::string("\0a", 2)}}, {}},
      {"FF FE 00 00 under UTF-8", std::string("\xFF\xFE\0\0", 4), TextEncoding::utf8(), false, {}, conflict},
      {"UTF-8", "a\xC3\xA9", {}, false, {{"a\u00E9"}}, {}},
      {"overlong", "\xC0\xAF", {}, false, {}, utf8Failure},
      {"surrogate", "\xED\xA0\x80", {}, false, {}, utf8Failure},
      {"cut short", "a\xE2\x82", {}, false, {}, utf8Failure},
      {"above U+10FFFF", "\xF4\x90\x80\x80", {}, false, {}, utf8Failure},
      {"ASCII", "a,b", TextEncoding::ascii(), false, {{"a", "b"}}, {}},
      {"not ASCII", "a\n\x80", TextEncoding::ascii(), false, {{"a"}}, asciiFailure},
      {"UTF-16BE pair", std::string("\xD8\x3D\xDE\x00", 4), TextEncoding::utf16BigEndian(), false, {{"\U0001F600"}}, {}},
      {"UTF-16BE broken pair", std::string("\xD8\x3D\0A", 4), TextEncoding::utf16BigEndian(), false, {},
       utf16Failure},
      {"UTF-16BE lone low", std::string("\xDC\x00", 2), TextEncoding::utf16BigEndian(), false, {}, utf16Failure},
      {"UTF-16BE high at end", "\xD8\x3D", TextEncoding::utf16BigEndian(), false, {}, utf16Failure},
      {"UTF-16 odd byte", std::string("\0a\0\n\0", 5), TextEncoding::utf16BigEndian(), false, {{"a"}},
       utf16Incomplete},
      {"UTF-16LE", std::string("a\0", 2), TextEncoding::utf16LittleEndian(), false, {{"a"}}, {}},
      {"UTF-32BE", std::string("\0\0\0a", 4), TextEncoding::utf32BigEndian(), false, {{"a"}}, {}},
      {"UTF-32 without mark is big-endian", std::string("\0\0\0a", 4), TextEncoding::utf32(), false, {{"a"}}, {}},
      {"UTF-32BE beyond range", std::string("\0\x11\0\0", 4), TextEncoding::utf32BigEndian(), false, {},
       utf32Failure},
      {"UTF-32BE surrogate", std::string("\0\0\xD8\0", 4), TextEncoding::utf32BigEndian(), false, {},
       utf32Failure},
      {"UTF-32 three trailing bytes", std::string("\0\0\0a\0\0\0", 7), TextEncoding::utf32BigEndian(), false, {},
       utf32Incomplete},
      {"UTF-32LE", std::string("a\0\0\0", 4), TextEncoding::utf32LittleEndian(), false, {{"a"}}, {}},
      {"Latin-1 whole", "caf\xE9", latin1, true, {{"caf\u00E9"}}, {}},
      {"Latin-1 without presample", "caf\xE9", latin1, false, {}, unsupported},
      // Longer than one piece of the conversion, with a character across each piece's edge.
      {"Latin-1 whole, long", std::string(70000, '\xE9'), latin1, true, {{[] {
         std::string field;
         for (int i = 0; i < 70000; ++i) field += "\u00E9";
         return field;
       }()}},
       {}},
      {"presample bad byte late", std::string(70000, 'a') + "\xFF", TextEncoding::utf8(), true, {}, mismatch},
      {"presample bad UTF-8", "a\xFF", TextEncoding::utf8(), true, {}, mismatch},
      {"presample bad ASCII", "a\xC3\xA9", TextEncoding::ascii(), true, {}, mismatch},
      {"presample drops UTF-8 mark", "\xEF\xBB\xBF" "a", TextEncoding::utf8(), true, {{"a"}}, {}},
      {"presample drops UTF-16LE mark", std::string("\xFF\xFE" "a\0", 4), TextEncoding::utf16LittleEndian(), true,
       {{"a"}}, {}},
      {"presample UTF-16 reads the mark", std::string("\xFF\xFE" "a\0", 4), TextEncoding::utf16(), true, {{"a"}},
       {}},
      {"presample UTF-32BE mark", std::string("\0\0\xFE\xFF\0\0\0a", 8), TextEncoding::utf32BigEndian(), true,
       {{"a"}}, {}},
      {"presample UTF-32 reads the mark", std::string("\xFF\xFE\0\0" "a\0\0\0", 8), TextEncoding::utf32(), true,
       {{"a"}}, {}},
      {"presample odd UTF-16", std::string("a\0b", 3), TextEncoding::utf16LittleEndian(), true, {}, mismatch},
      {"presample without encoding infers", std::string("\xFF\xFE" "a\0", 4), {}, true, {{"a"}}, {}},
      {"rows before a bad byte", "a\nb\n\xFF", {}, false, {{"a"}, {"b"}}, utf8Failure},
      {"parse error before a bad byte", "a\"b\xFF", {}, false, {},
       Failure{2,
               "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
               "escaped.",
               "Add the escaping scalar at the very beginning and the very end of the field and escape the "
               "escaping scalar found within the field.",
               0}},
      {"bad UTF-16 after rows", std::string("\0a\0\n\xDC\0", 6), TextEncoding::utf16BigEndian(), false, {{"a"}},
       utf16Failure},
  };
  for (const BlobCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader::Configuration configuration;
    configuration.encoding = c.encoding;
    configuration.presample = c.presample;
    const testing::Outcome outcome = readBytes(c.bytes, configuration);
    EXPECT_EQ(outcome.rows, c.rows);
    EXPECT_EQ(outcome.failure, c.failure);
  }
}

TEST(ReaderInput, WholeConversionOfNoBytesIsEmptyText) {
  platform::TemporaryDirectory folder;
  const std::filesystem::path emptyFile = folder.path() / "empty.csv";
  std::ofstream(emptyFile).close();
  for (const TextEncoding& encoding : {TextEncoding::utf8(), TextEncoding::utf16LittleEndian(),
                                       *TextEncoding::named("windows-1252")}) {
    SCOPED_TRACE(encoding.name());
    EXPECT_EQ(CSVReader::convertWhole({}, encoding), "");
    CSVReader::Configuration configuration;
    configuration.encoding = encoding;
    configuration.presample = true;
    configuration.headerStrategy = Strategy::Header::firstLine();
    for (const CSVReader::FileView& view :
         {CSVReader::decode(platform::Data(), configuration),
          CSVReader::decode(platform::InputStream::withData(platform::Data()), configuration),
          CSVReader::decode(emptyFile, configuration)}) {
      EXPECT_TRUE(view.headers().empty());
      EXPECT_TRUE(view.empty());
    }
  }
}

TEST(ReaderInput, ErrorUserInformation) {
  auto failOn = [](const std::string& bytes, std::optional<TextEncoding> encoding, bool presample) {
    try {
      CSVReader reader = CSVReader::initWithData(platform::Data::fromString(bytes), [&](CSVReader::Configuration& c) {
        c.encoding = encoding;
        c.presample = presample;
      });
      while (reader.readRow()) {
      }
    } catch (const CSVReaderError& error) {
      return error.userInfo();
    }
    ADD_FAILURE() << "no failure";
    return platform::UserInfo();
  };
  const platform::UserInfo conflictInfo = failOn(std::string("\xFF\xFE" "a\0", 4), TextEncoding::utf8(), false);
  EXPECT_EQ(conflictInfo.get<TextEncoding>("Provided encoding"), TextEncoding::utf8());
  EXPECT_EQ(conflictInfo.get<TextEncoding>("Data BOM encoding"), TextEncoding::utf16LittleEndian());
  EXPECT_EQ(failOn("\x80", TextEncoding::ascii(), false).get<std::uint8_t>("Byte"), 128);
  EXPECT_EQ(failOn("x", TextEncoding::named("latin1"), false).get<TextEncoding>("Encoding"),
            TextEncoding::named("latin1"));
  EXPECT_EQ(failOn("\xFF", TextEncoding::utf8(), true).get<TextEncoding>("Encoding"), TextEncoding::utf8());
}

TEST(ReaderInput, ReadAheadMeetsUndecodableInputAsTheScalarReaderDoes) {
  // After a closing quote, a row matcher of one- and two-scalar delimiters reads one scalar
  // ahead before deciding; an undecodable byte there wins over the parse error.
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::string field;
    std::string reason;
  };
  const std::string afterReason =
      "The targeted field parsed successfully. However, the character right after it was not a field nor row "
      "delimiter.";
  const Case cases[] = {
      {"pairs read ahead", {"\n", "\r\n"}, ",", utf8Failure.reason},
      {"single does not", {"\n"}, ",", afterReason},
      {"long members only on their first scalar", {"\n", "<br>"}, ",", afterReason},
      {"field read-ahead", {"\n"}, "yy", utf8Failure.reason},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader::Configuration configuration;
    configuration.delimiters.row = *Delimiter::Row::fromTexts(c.rows);
    configuration.delimiters.field = Delimiter::Field(c.field);
    const testing::Outcome outcome = readBytes("\"x\"y\xFF", configuration);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->reason, c.reason);
  }
}

TEST(ReaderInput, LargeInputsAcrossBlocksDecodeAlike) {
  std::string utf8;
  for (int i = 0; i < 30000; ++i)
    utf8 += "row " + std::to_string(i) + ",\"\u00E9\U0001F600,\"\"x\"\"\",\u4E2D" + std::to_string(i % 7) + "\n";
  const std::u32string scalars = platform::toScalars(utf8);
  std::string utf16le, utf32be;
  for (char32_t scalar : scalars) {
    auto unit16 = [&](char32_t unit) {
      utf16le += static_cast<char>(unit & 0xFF);
      utf16le += static_cast<char>(unit >> 8);
    };
    if (scalar >= 0x10000) {
      unit16(0xD800 + ((scalar - 0x10000) >> 10));
      unit16(0xDC00 + ((scalar - 0x10000) & 0x3FF));
    } else {
      unit16(scalar);
    }
    for (int shift = 24; shift >= 0; shift -= 8) utf32be += static_cast<char>((scalar >> shift) & 0xFF);
  }
  const CSVReader::FileView expected = CSVReader::decode(utf8, CSVReader::Configuration());
  ASSERT_EQ(expected.size(), 30000u);
  EXPECT_EQ(expected[29999][2], "\u4E2D4");
  EXPECT_EQ(expected[7][1], "\u00E9\U0001F600,\"x\"");
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
  };
  const Case cases[] = {{"UTF-8 blob", utf8, TextEncoding::utf8()},
                        {"UTF-16LE", utf16le, TextEncoding::utf16LittleEndian()},
                        {"UTF-32BE", utf32be, TextEncoding::utf32BigEndian()},
                        {"UTF-16LE whole", utf16le, TextEncoding::utf16LittleEndian()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader::Configuration configuration;
    configuration.encoding = c.encoding;
    configuration.presample = std::string_view(c.name).ends_with("whole");
    EXPECT_EQ(CSVReader::decode(platform::Data::fromString(c.bytes), configuration), expected);
  }
}

TEST(ReaderInput, TextKeepsALeadingByteOrderMark) {
  const CSVReader::FileView file = CSVReader::decode(std::string_view("\uFEFFa,b"), CSVReader::Configuration());
  EXPECT_EQ(file[0][0], "\uFEFFa");
}

}  // namespace
}  // namespace RecordCSV

namespace RecordCSV {
namespace {

TEST(ReaderInput, BlockBoundariesChangeNothing) {
  // Long inputs whose delimiters, quotes and trimmed runs fall across every block boundary:
  // the whole-file view must hold what row-by-row reading of the text gives.
  struct Case {
    const char* name;
    std::string field;
    std::vector<std::string> rows;
    std::u32string trim;
    std::optional<platform::TextEncoding> encoding;
  };
  const Case cases[] = {
      {"comma LF", ",", {"\n"}, U"", {}},
      {"two colons CRLF trimmed", "::", {"\n", "\r\n"}, U" ", {}},
      {"long row delimiter", ";", {"\n", "<br>\n"}, U"", {}},
      {"UTF-16LE", "::", {"\r\n"}, U" ", platform::TextEncoding::utf16LittleEndian()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string& row = c.rows.back();
    const std::string pad = c.trim.empty() ? "" : "  ";
    std::string text;
    for (int i = 0; i < 40000; ++i) {
      text += pad + "a" + std::to_string(i) + pad + c.field + "\"q" + c.field + "\"\"" + row + "\"" + pad + c.field;
      text += i % 3 ? "\u00E9" + pad : "";
      text += row;
      if (i % 5 == 0) text += row;  // an empty line, dropped
    }
    CSVReader::Configuration configuration;
    configuration.delimiters.field = Delimiter::Field(c.field);
    configuration.delimiters.row = *Delimiter::Row::fromTexts(c.rows);
    configuration.trimStrategy = platform::CharacterSet::fromScalars(c.trim);
    configuration.encoding = c.encoding;

    std::vector<std::vector<std::string>> expected;
    CSVReader reader = CSVReader::initWithString(text, configuration);
    while (auto fields = reader.readRow()) expected.push_back(std::move(*fields));
    ASSERT_EQ(expected.size(), 40000u);
    ASSERT_EQ(expected[1].size(), 3u);

    std::string bytes = text;
    if (c.encoding) {
      bytes.clear();
      for (char32_t scalar : platform::toScalars(text)) {
        bytes += static_cast<char>(scalar & 0xFF);
        bytes += static_cast<char>(scalar >> 8);
      }
    }
    EXPECT_EQ(CSVReader::decode(platform::Data::fromString(bytes), configuration).rows(), expected);
    EXPECT_EQ(CSVReader::decode(std::string_view(text), configuration).rows(), expected);
  }
}

}  // namespace
}  // namespace RecordCSV

namespace RecordCSV {
namespace {

TEST(ReaderInput, AnEmptyConfigureProcedureMeansTheDefaults) {
  const CSVReader::Configure none;
  EXPECT_EQ(CSVReader::decode(std::string_view("a,b"), none).size(), 1u);
  EXPECT_EQ(CSVReader::decode(platform::Data::fromString("a,b"), none).size(), 1u);
}

}  // namespace
}  // namespace RecordCSV
