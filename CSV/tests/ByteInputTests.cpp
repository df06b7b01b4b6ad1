#include <gtest/gtest.h>

#include <tuple>

#include "CSV/BinaryReader.hpp"
#include "CSV/UnicodeIterator.hpp"
#include "TestSupport.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace CSV {
namespace {

using Kind = CSVError::Kind;
using testing::streamOf;
using testing::thrownKind;
using namespace std::string_literals;

TEST(ModuleError, CasesAreNamedAndNumberedInOrder) {
  const std::vector<std::pair<CSVError, std::string>> cases = {
      {CSVError::streamErrorHasOccurred(platform::scriptedStreamError()), "streamErrorHasOccurred"},
      {CSVError::cannotOpenFile(), "cannotOpenFile"},
      {CSVError::cannotReadFile(), "cannotReadFile"},
      {CSVError::cannotWriteStream(), "cannotWriteStream"},
      {CSVError::unicodeDecoding(), "unicodeDecoding"},
      {CSVError::cannotReadHeaderRow(), "cannotReadHeaderRow"},
      {CSVError::stringEncodingMismatch(), "stringEncodingMismatch"},
      {CSVError::stringEndianMismatch(), "stringEndianMismatch"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const CSVError& error = cases[i].first;
    EXPECT_EQ(error.domain(), "CSV.CSVError");
    EXPECT_EQ(error.code(), static_cast<std::int64_t>(i));
    EXPECT_EQ(std::string(error.what()), cases[i].second);
    EXPECT_EQ(error.underlyingError() != nullptr, i == 0) << cases[i].second;
  }
  EXPECT_EQ(cases[0].first.streamError(), platform::scriptedStreamError());
}

TEST(ByteOrderMark, DetectionFollowsTheTableAndEachWidthSeesOnlyItsOwnMarks) {
  using Mark = std::optional<DetectedByteOrderMark>;
  const Mark none;
  // bytes, any width, then widths 1, 2 and 4
  const std::vector<std::tuple<std::string, Mark, Mark, Mark, Mark>> cases = {
      {"\xEF\xBB\xBF" "a", Mark({Endian::unknown, 3}), Mark({Endian::unknown, 3}), none, none},
      {"\xFE\xFF", Mark({Endian::big, 2}), none, Mark({Endian::big, 2}), none},
      {"\xFF\xFE" "a", Mark({Endian::little, 2}), none, Mark({Endian::little, 2}), none},
      {"\x00\x00\xFE\xFF"s, Mark({Endian::big, 4}), none, none, Mark({Endian::big, 4})},
      {"\xFF\xFE\x00\x00"s, Mark({Endian::little, 4}), none, Mark({Endian::little, 2}),
       Mark({Endian::little, 4})},
      {"\xFF\xFE\x01\x00"s, Mark({Endian::little, 2}), none, Mark({Endian::little, 2}), none},
      {"\xEF\xBB", none, none, none, none},
      {"\xFE", none, none, none, none},
      {"", none, none, none, none},
      {"abcd", none, none, none, none},
  };
  for (const auto& [bytes, any, width1, width2, width4] : cases) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(detectByteOrderMark(data, bytes.size()), any);
    EXPECT_EQ(detectByteOrderMark(data, bytes.size(), 1), width1);
    EXPECT_EQ(detectByteOrderMark(data, bytes.size(), 2), width2);
    EXPECT_EQ(detectByteOrderMark(data, bytes.size(), 4), width4);
  }
}

/// The units of a whole input, with the errors their handler got.
template <typename Iterator>
std::pair<std::vector<typename Iterator::CodeUnit>, std::vector<Kind>> drain(Iterator& units) {
  std::vector<Kind> errors;
  units.setErrorHandler([&](const CSVError& error) { errors.push_back(error.kind()); });
  std::vector<typename Iterator::CodeUnit> result;
  while (auto unit = units.next()) result.push_back(*unit);
  return {result, errors};
}

TEST(BinaryReader, ConstructionOpensFindsTheMarkAndChecksTheByteOrder) {
  struct Case {
    std::string bytes;
    Endian expected;
    std::size_t unitSize;
    std::size_t maxRead;
    std::optional<Kind> failure;
    Endian endian;
    std::size_t markLength;
  };
  const std::vector<Case> cases = {
      {"", Endian::unknown, 0, 99, {}, Endian::unknown, 0},
      {"\xEF\xBB\xBF" "a", Endian::unknown, 1, 99, {}, Endian::unknown, 3},
      {"\xFE\xFF\x00\x41"s, Endian::little, 2, 99, Kind::stringEndianMismatch, {}, 0},
      {"\xFE\xFF\x00\x41"s, Endian::unknown, 2, 99, {}, Endian::big, 2},
      {"\xEF\xBB\xBF\x00\x41"s, Endian::big, 0, 99, Kind::stringEndianMismatch, {}, 0},
      {"\xEF\xBB\xBF" "a", Endian::unknown, 1, 1, {}, Endian::unknown, 3},  // the mark in three reads
      {"\xFF\xFE\x00\x00"s, Endian::unknown, 0, 1, {}, Endian::little, 4},
      {"\xFF\xFE\x00\x00"s, Endian::little, 2, 3, {}, Endian::little, 2},
      {"\xFF\xFE\x00\x00"s, Endian::big, 4, 99, Kind::stringEndianMismatch, {}, 0},
      {"ab", Endian::big, 2, 1, {}, Endian::big, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes) + " read at most " + std::to_string(c.maxRead));
    auto stream = streamOf(c.bytes, platform::InputStreamScript().readingAtMost(c.maxRead));
    std::shared_ptr<BinaryReader> reader;
    const auto failure = thrownKind(
        [&] { reader = std::make_shared<BinaryReader>(stream, c.expected, true, 16, c.unitSize); });
    EXPECT_EQ(failure, c.failure);
    if (failure) {
      EXPECT_EQ(stream->closeCalls(), 0u);  // a failed construction leaves the stream open
      continue;
    }
    EXPECT_EQ(reader->endian(), c.endian);
    BinaryReader::UInt8Iterator bytes(reader);
    const auto [read, errors] = drain(bytes);
    EXPECT_EQ(std::string(read.begin(), read.end()), c.bytes.substr(c.markLength));
    EXPECT_TRUE(errors.empty());
    reader.reset();
  }
}

TEST(BinaryReader, FailuresToOpenAndToReadFirstBytes) {
  const std::vector<std::pair<platform::InputStreamScript, Kind>> cases = {
      {platform::InputStreamScript().failingToOpen(), Kind::cannotOpenFile},
      {platform::InputStreamScript().failingOnRead(1), Kind::cannotReadFile},
      {platform::InputStreamScript().failingOnRead(1, false), Kind::cannotReadFile},
      {platform::InputStreamScript().readingAtMost(1).failingOnRead(2), Kind::cannotReadFile},
  };
  for (const auto& [script, kind] : cases) {
    auto stream = streamOf("\xEF\xBB\xBF" "abc", script);
    EXPECT_EQ(thrownKind([&] { BinaryReader reader(stream, Endian::unknown, true, 16); }), kind);
    EXPECT_EQ(stream->closeCalls(), 0u);
  }
}

TEST(BinaryReader, ClosesTheStreamOnlyWhenAsked) {
  for (bool close : {true, false}) {
    auto stream = streamOf("abc");
    { BinaryReader reader(stream, Endian::unknown, close, 16); }
    EXPECT_EQ(stream->closeCalls(), close ? 1u : 0u);
  }
  auto closed = streamOf("abc");
  {
    BinaryReader reader(closed, Endian::unknown, true, 16);
    closed->close();
  }
  EXPECT_EQ(closed->closeCalls(), 1u);
}

TEST(BinaryReader, DirectReadsFollowTheFailureTable) {
  {
    BinaryReader reader(streamOf("\x12\x34\x56"), Endian::big, true, 2);
    EXPECT_EQ(reader.readUInt16(), 0x1234);
    EXPECT_TRUE(reader.hasBytesAvailable());
    EXPECT_EQ(thrownKind([&] { reader.readUInt16(); }), Kind::stringEncodingMismatch);
    EXPECT_EQ(thrownKind([&] { reader.readUInt8(); }), Kind::cannotReadFile);
    EXPECT_FALSE(reader.hasBytesAvailable());
  }
  {
    BinaryReader reader(streamOf("\x12\x34\x56\x78\x9A\xBC\xDE\xF0"), Endian::little, true, 3);
    EXPECT_EQ(reader.readUInt32(), 0x78563412u);
    EXPECT_EQ(reader.readUInt16(), 0xBC9A);
    EXPECT_EQ(reader.readUInt8(), 0xDE);
    EXPECT_EQ(thrownKind([&] { reader.readUInt16(); }), Kind::stringEncodingMismatch);
  }
  {
    BinaryReader reader(streamOf("\x12\x34\x56"), Endian::unknown, true, 16);
    EXPECT_EQ(thrownKind([&] { reader.readUInt16(); }), Kind::stringEndianMismatch);
    EXPECT_EQ(reader.readUInt8(), 0x56);  // the unit's bytes were consumed
  }
}

TEST(BinaryReader, CodeUnitIteratorsEndCleanlyAndReportFailures) {
  struct Case {
    std::string bytes;
    platform::InputStreamScript script;
    Endian endian;
    std::size_t width;
    std::vector<std::uint32_t> units;
    std::vector<Kind> errors;
  };
  using Script = platform::InputStreamScript;
  const std::vector<Case> cases = {
      {"ab", Script(), Endian::unknown, 1, {'a', 'b'}, {}},
      {"ab", Script().readingAtMost(1), Endian::unknown, 1, {'a', 'b'}, {}},
      {"\x00\x41\x00"s, Script(), Endian::big, 2, {0x41}, {Kind::stringEncodingMismatch}},
      {"\x00\x41\x00\x42"s, Script().readingAtMost(3), Endian::big, 2, {0x41, 0x42}, {}},
      {"\x41\x00"s, Script(), Endian::unknown, 2, {}, {Kind::stringEndianMismatch}},
      {"\xFF\xFE\x41\x00"s, Script(), Endian::unknown, 2, {0x41}, {}},
      {"\x41\x00\x00\x00\x42\x00\x00"s, Script().readingAtMost(5), Endian::little, 4, {0x41},
       {Kind::stringEncodingMismatch}},
      {"abcdef", Script().readingAtMost(4).failingOnRead(2), Endian::unknown, 1, {'a', 'b', 'c', 'd'},
       {Kind::streamErrorHasOccurred}},
      {"abcdef", Script().readingAtMost(4).failingOnRead(2, false), Endian::unknown, 1, {'a', 'b', 'c', 'd'},
       {Kind::cannotReadFile}},
      {"\x00\x41\x00\x42\x00\x43"s, Script().readingAtMost(5).failingOnRead(2), Endian::big, 2, {0x41, 0x42},
       {Kind::streamErrorHasOccurred}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    auto reader = std::make_shared<BinaryReader>(streamOf(c.bytes, c.script), c.endian, true, 16, c.width);
    std::vector<std::uint32_t> units;
    std::vector<Kind> errors;
    auto collect = [&](auto iterator) {
      auto [read, kinds] = drain(iterator);
      units.assign(read.begin(), read.end());
      errors = kinds;
    };
    if (c.width == 1) collect(BinaryReader::UInt8Iterator(reader));
    if (c.width == 2) collect(BinaryReader::UInt16Iterator(reader));
    if (c.width == 4) collect(BinaryReader::UInt32Iterator(reader));
    EXPECT_EQ(units, c.units);
    EXPECT_EQ(errors, c.errors);
  }
}

TEST(BinaryReader, StreamErrorIsKeptAndTheOneBufferIsReused) {
  auto stream = streamOf(std::string(40, 'x'), platform::InputStreamScript().readingAtMost(7).failingOnRead(4));
  auto reader = std::make_shared<BinaryReader>(stream, Endian::unknown, true, 10);
  BinaryReader::UInt8Iterator bytes(reader);
  std::optional<CSVError> failure;
  bytes.setErrorHandler([&](const CSVError& error) { failure = error; });
  std::size_t count = 0;
  while (bytes.next()) ++count;
  EXPECT_EQ(count, 21u);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), Kind::streamErrorHasOccurred);
  EXPECT_EQ(failure->streamError(), platform::scriptedStreamError());
  EXPECT_EQ(stream->requestedLengths(), (std::vector<std::size_t>{10, 10, 10, 10}));
}

TEST(BinaryReader, TheEndOfAFileIsNoFailure) {
  platform::TemporaryDirectory folder;
  const auto path = folder.path() / "units.txt";
  {
    auto out = platform::OutputStream::toFile(path, false);
    out->open();
    out->write(reinterpret_cast<const std::uint8_t*>("\x00\x41\x00\x42"), 4);
    out->close();
  }
  auto reader = std::make_shared<BinaryReader>(platform::InputStream::withFile(path), Endian::big, true, 3);
  BinaryReader::UInt16Iterator units(reader);
  const auto [read, errors] = drain(units);
  EXPECT_EQ(read, (std::vector<std::uint16_t>{0x41, 0x42}));
  EXPECT_TRUE(errors.empty());
}

/// The scalars of a byte text decoded in `Codec`, with the errors reported on the way.
template <typename Codec, typename Units>
std::pair<std::u32string, std::vector<Kind>> decodeAll(std::string bytes, Endian endian) {
  auto reader = std::make_shared<BinaryReader>(streamOf(bytes), endian, true, 16, sizeof(typename Codec::CodeUnit));
  std::vector<Kind> errors;
  Units units(reader);
  units.setErrorHandler([&](const CSVError& error) { errors.push_back(error.kind()); });
  UnicodeIterator<Units, Codec> scalars(std::move(units));
  scalars.setErrorHandler([&](const CSVError& error) { errors.push_back(error.kind()); });
  std::u32string text;
  // Pulled on after each failure, until a clean end: the decoder resumes after an ill-formed sequence.
  for (;;) {
    const std::size_t reported = errors.size();
    if (auto scalar = scalars.next())
      text += *scalar;
    else if (errors.size() == reported)
      break;
  }
  return {text, errors};
}

TEST(UnicodeIterator, DecodesEachFormAndReportsIllFormedSequences) {
  using Result = std::pair<std::u32string, std::vector<Kind>>;
  const Kind bad = Kind::unicodeDecoding;
  EXPECT_EQ((decodeAll<UTF8, BinaryReader::UInt8Iterator>("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", Endian::unknown)),
            Result(U"a\u00E9\u20AC\U0001F600", {}));
  EXPECT_EQ((decodeAll<UTF8, BinaryReader::UInt8Iterator>("\x80" "a", Endian::unknown)), Result(U"a", {bad}));
  EXPECT_EQ((decodeAll<UTF8, BinaryReader::UInt8Iterator>("\xC3" "a\xE2\x82", Endian::unknown)),
            Result(U"a", {bad, bad}));
  EXPECT_EQ((decodeAll<UTF8, BinaryReader::UInt8Iterator>("\xED\xA0\x80\xF4\x90\x80\x80\xC0\xAF", Endian::unknown)),
            Result(U"", std::vector<Kind>(9, bad)));
  EXPECT_EQ((decodeAll<UTF16, BinaryReader::UInt16Iterator>("\xD8\x3D\xDE\x00\x00\x41"s, Endian::big)),
            Result(U"\U0001F600A", {}));
  EXPECT_EQ((decodeAll<UTF16, BinaryReader::UInt16Iterator>("\xDC\x00\xD8\x00\x00\x41\xD8\x00"s,
                                                              Endian::big)),
            Result(U"A", {bad, bad, bad}));
  EXPECT_EQ((decodeAll<UTF32, BinaryReader::UInt32Iterator>("\x00\xD8\x00\x00\x41\x00\x00\x00\x00\x00\x11\x00"s,
                                                              Endian::little)),
            Result(U"A", {bad, bad}));
}

}  // namespace
}  // namespace CSV
