// The decoding source: header lookup, reading forward, and the two row buffers.

#include "decoder/DecoderTestSupport.hpp"
#include "decoder/ShadowDecoderSource.hpp"

namespace RecordCSV {
namespace {

using platform::coding::CodingKey;
using platform::coding::CodingPath;
using testing::DecoderFailure;

ShadowDecoderSource makeSource(const std::string& text, bool header,
                               Strategy::DecodingBuffer buffering = Strategy::DecodingBuffer::keepAll) {
  CSVDecoder::Configuration configuration;
  configuration.setHeaderStrategy(Strategy::Header::fromBool(header));
  configuration.bufferingStrategy = buffering;
  return ShadowDecoderSource(CSVReader::initWithString(text, configuration.readerConfiguration), configuration, {});
}

CodingKey named(std::string name) { return CodingKey("Key", std::move(name), std::nullopt); }
CodingKey numbered(std::int64_t index) { return CodingKey("Key", std::to_string(index), index); }

const CodingPath rowPath{CodingKey(IndexKey(0))};

DecoderFailure outOfBounds(std::int64_t rowCount, std::int64_t row) {
  return {2,
          "The requested row index is out of bounds.",
          "Make sure the requested row is within the number of rows contained by the CSV file.",
          {{"Row count", std::to_string(rowCount)}, {"Row index", std::to_string(row)}}};
}

DecoderFailure fieldOutOfBounds(std::int64_t row, std::int64_t field, std::int64_t count) {
  return {2,
          "The provided field index is out of bounds.",
          "Make sure the requested field is within the number of fields for the CSV file.",
          {{"Row index", std::to_string(row)},
           {"Field index", std::to_string(field)},
           {"Field count", std::to_string(count)}}};
}

DecoderFailure discarded(std::int64_t row, std::int64_t field) {
  return {4,
          "A previously decoded row has been discarded.",
          "Change the decoder's buffering strategy and try again.",
          {{"Row index", std::to_string(row)}, {"Field index", std::to_string(field)}}};
}

TEST(DecoderSource, KeysToFieldIndexes) {
  ShadowDecoderSource source = makeSource("name,age\nAnn,3\n", true);
  EXPECT_EQ(source.fieldIndex(named("age"), rowPath), 1);
  EXPECT_EQ(source.fieldIndex(named("name"), rowPath), 0);
  EXPECT_EQ(source.fieldIndex(named("age"), rowPath), 1);
  EXPECT_EQ(source.fieldIndex(numbered(5), rowPath), 5);  // checked only when the field is fetched
  EXPECT_EQ(testing::decoderFailure([&] { source.field(0, 5); }), fieldOutOfBounds(0, 5, 2));
  EXPECT_EQ(
      testing::decoderFailure([&] { source.fieldIndex(named("size"), rowPath); }),
      (DecoderFailure{1,
                      "The provided coding key identifying a field didn't match any CSV header.",
                      "Make the key generate an integer value or provide a matching header.",
                      {{"Coding path", rowPath.description()}, {"Key", "Key(stringValue: \"size\", intValue: nil)"}}}));

  ShadowDecoderSource headerless = makeSource("Ann,3\n", false);
  EXPECT_EQ(
      testing::decoderFailure([&] { headerless.fieldIndex(named("age"), rowPath); }),
      (DecoderFailure{1,
                      "The provided coding key identifying a field cannot be matched to a header, since the "
                      "configuration indicated the CSV has no headers.",
                      "Make the key generate an integer value or provide header during configuration.",
                      {{"Coding path", rowPath.description()}, {"Key", "Key(stringValue: \"age\", intValue: nil)"}}}));
  EXPECT_EQ(headerless.fieldIndex(numbered(1), rowPath), 1);
}

TEST(DecoderSource, HeaderNamesCompareCanonically) {
  // "Café" with a precomposed é in the header, asked for with e and a combining accent.
  ShadowDecoderSource source = makeSource("id,Caf\u00E9\n1,2\n", true);
  EXPECT_EQ(source.fieldIndex(named("Cafe\u0301"), rowPath), 1);
  EXPECT_EQ(source.fieldIndex(named("Caf\u00E9"), rowPath), 1);
  EXPECT_TRUE(source.hasHeader("Cafe\u0301"));
  EXPECT_FALSE(source.hasHeader("cafe"));

  const DecoderFailure duplicate{1,
                                 "The headers row contain two fields with the same value.",
                                 "Headers row must contain different names/titles or each name/title must generate "
                                 "a different integer value.",
                                 {}};
  for (const char* headers : {"a,b,a\n1,2,3\n", "\u00E9,e\u0301\n1,2\n"}) {
    SCOPED_TRACE(headers);
    ShadowDecoderSource twice = makeSource(headers, true);
    EXPECT_EQ(twice.fieldIndex(numbered(2), rowPath), 2);
    EXPECT_EQ(twice.field(0, 1), "2");
    EXPECT_EQ(testing::decoderFailure([&] { twice.fieldIndex(named("b"), rowPath); }), duplicate);
    EXPECT_TRUE(twice.hasHeader(std::string(headers).substr(0, std::string(headers).find(','))));
  }
  EXPECT_FALSE(makeSource("a,b\n", false).hasHeader("a"));
}

TEST(DecoderSource, EndChecks) {
  ShadowDecoderSource source = makeSource("h\n1\n2\n3\n", true);
  EXPECT_EQ(source.expectedFieldCount(), 1);
  EXPECT_FALSE(source.isPastEnd(2));
  EXPECT_EQ(source.rowsRead(), 3);
  EXPECT_FALSE(source.isPastEnd(0));
  EXPECT_FALSE(source.isPastEnd(1));
  EXPECT_TRUE(source.containsRow(2));
  EXPECT_FALSE(source.containsRow(-1));
  EXPECT_FALSE(source.containsRow(3));
  EXPECT_TRUE(source.isPastEnd(3));
  EXPECT_TRUE(source.isPastEnd(5));
  EXPECT_EQ(source.reader().status().kind(), CSVReader::Status::Kind::finished);
  EXPECT_EQ(source.field(2, 0), "3");

  ShadowDecoderSource empty = makeSource("", false);
  EXPECT_TRUE(empty.isPastEnd(0));
  EXPECT_EQ(empty.expectedFieldCount(), 0);
  EXPECT_EQ(testing::decoderFailure([&] { empty.field(0, 0); }), outOfBounds(0, 0));
}

TEST(DecoderSource, ExpectedFieldCountReadsAndKeepsTheFirstRow) {
  ShadowDecoderSource source = makeSource("a,b,c\nd,e,f\n", false, Strategy::DecodingBuffer::sequential);
  EXPECT_EQ(source.expectedFieldCount(), 3);
  EXPECT_EQ(source.rowsRead(), 1);
  EXPECT_EQ(source.field(0, 2), "c");
  EXPECT_EQ(makeSource("a,\"b\n", false).expectedFieldCount(), 0);  // a failing first read counts as none
}

TEST(DecoderSource, FieldFetchByStrategy) {
  const std::string text = "a,b\nc,d\ne,f\ng,h\n";
  const struct {
    const char* name;
    Strategy::DecodingBuffer strategy;
    std::vector<std::pair<std::int64_t, std::int64_t>> fetches;
    std::vector<std::variant<std::string, DecoderFailure>> results;
  } cases[] = {
      {"keepAll reads forward, then from the buffer",
       Strategy::DecodingBuffer::keepAll,
       {{2, 1}, {0, 0}, {1, 1}, {3, 0}, {4, 0}, {-1, 0}, {1, 2}, {1, -1}},
       {"f", "a", "d", "g", outOfBounds(4, 4), outOfBounds(4, -1), fieldOutOfBounds(1, 2, 2),
        fieldOutOfBounds(1, -1, 2)}},
      {"sequential keeps the latest row only, and lets it go to read forward, even past the end",
       Strategy::DecodingBuffer::sequential,
       {{2, 0}, {1, 0}, {2, 1}, {3, 0}, {2, 0}, {-1, 0}, {5, 0}, {3, 1}},
       {"e", discarded(1, 0), "f", "g", discarded(2, 0), outOfBounds(4, -1), outOfBounds(4, 5), discarded(3, 1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ShadowDecoderSource source = makeSource(text, false, c.strategy);
    for (std::size_t i = 0; i < c.fetches.size(); ++i) {
      const auto [row, field] = c.fetches[i];
      SCOPED_TRACE(::testing::Message() << "fetch " << row << ", " << field);
      if (const auto* expected = std::get_if<std::string>(&c.results[i]))
        EXPECT_EQ(source.field(row, field), *expected);
      else
        EXPECT_EQ(testing::decoderFailure([&] { source.field(row, field); }), std::get<DecoderFailure>(c.results[i]));
    }
  }
}

TEST(DecoderSource, SequentialEndChecksKeepOnlyTheLatestRow) {
  ShadowDecoderSource source = makeSource("a\nb\nc\n", false, Strategy::DecodingBuffer::sequential);
  EXPECT_FALSE(source.isPastEnd(2));
  EXPECT_EQ(source.field(2, 0), "c");
  EXPECT_EQ(testing::decoderFailure([&] { source.field(1, 0); }), discarded(1, 0));
  EXPECT_TRUE(source.isPastEnd(3));
  EXPECT_EQ(source.field(2, 0), "c");  // the end of the input leaves the latest row in place
}

TEST(DecoderSource, ReaderFailureStaysAndEarlierRowsRemain) {
  ShadowDecoderSource source = makeSource("a,b\nc,d\ne\nf,g\n", false);
  EXPECT_EQ(source.field(1, 1), "d");
  EXPECT_THROW(source.field(2, 0), CSVReaderError);
  EXPECT_THROW(source.isPastEnd(3), CSVReaderError);
  EXPECT_THROW(source.field(3, 0), CSVReaderError);
  EXPECT_FALSE(source.containsRow(2));
  EXPECT_TRUE(source.containsRow(1));
  EXPECT_EQ(source.field(0, 0), "a");
  EXPECT_EQ(source.expectedFieldCount(), 2);
}

TEST(DecoderSource, RowCountGuessFromTheInputSize) {
  std::string text = "id,name\n";
  for (int i = 0; i < 1000; ++i) text += std::to_string(100000 + i) + ",name\n";
  const auto sized = [&text](Strategy::DecodingBuffer buffering) {
    CSVDecoder::Configuration configuration;
    configuration.setHeaderStrategy(Strategy::Header::firstLine());
    configuration.bufferingStrategy = buffering;
    return ShadowDecoderSource(CSVReader::initWithString(text, configuration.readerConfiguration), configuration, {},
                               text.size());
  };
  for (const Strategy::DecodingBuffer buffering :
       {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
    ShadowDecoderSource source = sized(buffering);
    EXPECT_EQ(source.estimatedRowCount(), std::nullopt) << "nothing read yet";
    EXPECT_FALSE(source.isPastEnd(99));
    const std::optional<std::int64_t> guess = source.estimatedRowCount();
    ASSERT_TRUE(guess.has_value());
    EXPECT_GE(*guess, 1000);
    EXPECT_LE(*guess, 1100);
    EXPECT_EQ(source.rowsRead(), 100) << "the guess reads nothing";
    EXPECT_TRUE(source.isPastEnd(1000));
    EXPECT_EQ(source.estimatedRowCount(), 1000) << "exact once the input ended";
  }

  ShadowDecoderSource unsized = makeSource(text, true);
  EXPECT_FALSE(unsized.isPastEnd(10));
  EXPECT_EQ(unsized.estimatedRowCount(), std::nullopt);
}

TEST(DecoderSource, RowCountGuessStaysWithinAFactorOfTheRowsRead) {
  // A short first row would make the long input look like a great many rows.
  const std::string text = "a\n" + std::string(100000, 'x') + "\n";
  const CSVDecoder::Configuration configuration;
  ShadowDecoderSource source(CSVReader::initWithString(text, configuration.readerConfiguration), configuration, {},
                             text.size());
  EXPECT_FALSE(source.isPastEnd(0));
  EXPECT_EQ(source.estimatedRowCount(), 1024);
}

}  // namespace
}  // namespace RecordCSV

namespace RecordCSV {
namespace {

TEST(DecoderSource, ShortTextComparisonAgreesWithEquality) {
  const std::string text = "abcdefghijklmnopqrstu";
  for (std::size_t size = 0; size <= text.size(); ++size) {
    const std::string same = text.substr(0, size);
    EXPECT_TRUE(sameText(text.substr(0, size), same)) << size;
    for (std::size_t at = 0; at < size; ++at) {
      std::string other = same;
      other[at] = '#';
      EXPECT_FALSE(sameText(same, other)) << size << " at " << at;
    }
    if (size < text.size()) {
      EXPECT_FALSE(sameText(same, text.substr(0, size + 1)));
    }
  }
}

}  // namespace
}  // namespace RecordCSV
