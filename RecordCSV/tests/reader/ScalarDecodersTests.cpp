// Decoders over bytes that arrive in pieces, as streams deliver them.

#include <gtest/gtest.h>

#include "RecordCSV/UTF8Source.hpp"
#include "reader/ReaderTestSupport.hpp"

namespace RecordCSV {
namespace {

using platform::TextEncoding;
using testing::Failure;
using testing::ChoppedBytes;
using testing::Rows;

const Failure streamFailure{4, "read failed", "check the stream", {}};
const Failure utf8Failure{2, "Some input bytes couldn't be decoded as UTF8 characters",
                          "Make sure the CSV only contains UTF8 characters or select a different encoding.", {}};
const Failure utf16Incomplete{
    2, "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).",
    "Check the last UTF16 character of your input data/file.", {}};

struct ChoppedCase {
  const char* name;
  std::string bytes;
  TextEncoding encoding;
  std::size_t blockSize;
  bool endFailure;
  Rows rows;
  std::optional<Failure> failure;
};

TEST(ReaderDecoder, PiecesDecodeAsOneBlock) {
  const std::string text = "name,note\n\"\u00E9\U0001F600, x\",\u4E2D\n";
  const ChoppedCase cases[] = {
      {"UTF-8 one byte at a time", text, TextEncoding::utf8(), 1, false,
       {{"name", "note"}, {"\u00E9\U0001F600, x", "\u4E2D"}}, {}},
      {"UTF-8 in threes", text, TextEncoding::utf8(), 3, false, {{"name", "note"}, {"\u00E9\U0001F600, x", "\u4E2D"}},
       {}},
      {"ASCII", "a,b\nc,d", TextEncoding::ascii(), 2, false, {{"a", "b"}, {"c", "d"}}, {}},
      {"UTF-16LE split units", std::string("a\0,\0b\0\n\0\x3D\xD8\x00\xDE,\0c\0", 16), TextEncoding::utf16LittleEndian(),
       1, false, {{"a", "b"}, {"\U0001F600", "c"}}, {}},
      {"UTF-32BE", std::string("\0\0\0a\0\0\0\n\0\0\0b", 12), TextEncoding::utf32(), 5, false, {{"a"}, {"b"}}, {}},
      {"rows before a failed read", "a\nb\nc", TextEncoding::utf8(), 2, true, {{"a"}, {"b"}}, streamFailure},
      {"failed read before an incomplete unit", std::string("a\0\n\0b", 5), TextEncoding::utf16LittleEndian(), 2,
       true, {{"a"}}, streamFailure},
      {"incomplete unit", std::string("a\0\n\0b", 5), TextEncoding::utf16LittleEndian(), 2, false, {{"a"}},
       utf16Incomplete},
      {"cut-off UTF-8 before a failed read", "a\n\xE2\x82", TextEncoding::utf8(), 1, true, {{"a"}}, streamFailure},
      {"cut-off UTF-8 at the end", "a\n\xE2\x82", TextEncoding::utf8(), 1, false, {{"a"}}, utf8Failure},
      {"bad UTF-8 continuation", "a\n\xE2(", TextEncoding::utf8(), 4, false, {{"a"}}, utf8Failure},
      {"not ASCII", "a\n\xC3\xA9", TextEncoding::ascii(), 4, false, {{"a"}},
       Failure{2, "The decoded byte is not an ASCII character.",
               "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. UTF8).",
               {}}},
  };
  for (const ChoppedCase& c : cases) {
    SCOPED_TRACE(c.name);
    ChoppedBytes::endChecks = 0;
    const testing::Outcome outcome = testing::readAll([&] {
      return CSVReader(CSVReader::Configuration(),
                       CSVReader::makeDecoder(std::make_unique<ChoppedBytes>(c.bytes, c.blockSize, c.endFailure),
                                              c.encoding));
    });
    EXPECT_EQ(outcome.rows, c.rows);
    EXPECT_EQ(outcome.failure, c.failure);
    EXPECT_LE(ChoppedBytes::endChecks, 1);
  }
}

TEST(ReaderDecoder, EncodingsWithoutADecoderAreRefused) {
  try {
    (void)CSVReader::makeDecoder(ByteSource::overBytes({}), *TextEncoding::named("windows-1252"));
    ADD_FAILURE() << "decoder made";
  } catch (const CSVReaderError& error) {
    EXPECT_EQ(error.failureReason(), "The given encoding is not yet supported by this library");
    EXPECT_EQ(error.helpAnchor(), "Contact the library maintainer");
    EXPECT_EQ(error.userInfo().get<TextEncoding>("Encoding"), TextEncoding::named("windows-1252"));
  }
}

struct InferenceCase {
  const char* name;
  std::string bytes;
  std::optional<TextEncoding> provided;
  std::optional<TextEncoding> encoding;
  std::size_t markLength;
};

TEST(ReaderDecoder, MarkInference) {
  const InferenceCase cases[] = {
      {"none", "abcd", {}, {}, 0},
      {"UTF-8", "\xEF\xBB\xBF" "a", {}, TextEncoding::utf8(), 3},
      {"short UTF-8", "\xEF\xBB", {}, {}, 0},
      {"UTF-16BE", "\xFE\xFF", {}, TextEncoding::utf16BigEndian(), 2},
      {"UTF-32BE", std::string("\0\0\xFE\xFF", 4), {}, TextEncoding::utf32BigEndian(), 4},
      {"FF FE 00 00", std::string("\xFF\xFE\0\0", 4), {}, TextEncoding::utf32LittleEndian(), 4},
      {"FF FE 00 00 for UTF-16", std::string("\xFF\xFE\0\0", 4), TextEncoding::utf16(),
       TextEncoding::utf16LittleEndian(), 2},
      {"FF FE 00 00 for UTF-16LE", std::string("\xFF\xFE\0\0", 4), TextEncoding::utf16LittleEndian(),
       TextEncoding::utf16LittleEndian(), 2},
      {"FF FE 00 00 for UTF-32", std::string("\xFF\xFE\0\0", 4), TextEncoding::utf32(),
       TextEncoding::utf32LittleEndian(), 4},
      {"FF FE 00", std::string("\xFF\xFE\0", 3), {}, TextEncoding::utf16LittleEndian(), 2},
  };
  for (const InferenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    const CSVReader::Inference inference = CSVReader::inferEncoding({bytes, c.bytes.size()}, c.provided);
    EXPECT_EQ(inference.encoding, c.encoding);
    EXPECT_EQ(inference.markLength, c.markLength);
  }
}

}  // namespace
}  // namespace RecordCSV
