// The unkeyed container: the whole input as rows, one row as fields.

#include "decoder/DecoderTestSupport.hpp"

namespace RecordCSV {
namespace {

using platform::coding::Decoder;
using platform::coding::DecodingError;
using testing::AnyKey;
using testing::DecoderFailure;
using testing::indexKey;
using testing::path;

const CSVDecoder headed([](CSVDecoder::Configuration& c) { c.setHeaderStrategy(Strategy::Header::firstLine()); });
const CSVDecoder plain;

DecoderFailure nesting(const std::string& codingPath) {
  return {2,
          "A CSV doesn't support more than two nested decoding container.",
          "Don't ask for a unkeyed decoding container on this coding path.",
          {{"Coding path", codingPath}}};
}

TEST(DecoderUnkeyed, FileCountIsKnownOnceTheInputEnded) {
  testing::withTopDecoder(plain, "", [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_TRUE(file.isAtEnd());
    EXPECT_EQ(file.count(), 0);
  });
  testing::withTopDecoder(headed, "h\n1\n2\n3\n", [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_EQ(file.count(), std::nullopt);
    EXPECT_FALSE(file.isAtEnd());
    EXPECT_EQ(file.decode<std::int64_t>(), 1);
    EXPECT_EQ(file.decode<std::int64_t>(), 2);
    EXPECT_EQ(file.decode<std::int64_t>(), 3);
    EXPECT_EQ(file.count(), std::nullopt);
    EXPECT_TRUE(file.isAtEnd());
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(file.currentIndex(), 3);
  });
}

TEST(DecoderUnkeyed, FileGuessesItsLengthButKeepsItsCountUntilTheEnd) {
  std::string text = "id,name,grade,note\n";
  for (int i = 0; i < 3000; ++i) text += std::to_string(i) + ",Ann,3,\n";
  testing::withTopDecoder(headed, text, [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_EQ(file.estimatedCount(), std::nullopt);
    EXPECT_FALSE(file.isAtEnd());
    EXPECT_GE(file.estimatedCount().value_or(0), 1);
    EXPECT_EQ(file.count(), std::nullopt);
    auto row = decoder.container<AnyKey>().nestedUnkeyedContainer(AnyKey::of(0));
    EXPECT_EQ(row.estimatedCount(), std::nullopt);
  });
  // The guess lets the records go into one allocation of about their number, not a doubling one.
  const std::vector<testing::Pupil> pupils = headed.decode<std::vector<testing::Pupil>>(platform::Data::fromString(text));
  ASSERT_EQ(pupils.size(), 3000u);
  EXPECT_EQ(pupils[2999], (testing::Pupil{2999, "Ann", 3, std::nullopt}));
  EXPECT_LT(pupils.capacity(), 3500u);
}

TEST(DecoderUnkeyed, RowOfFourFields) {
  testing::withTopDecoder(plain, "a,,7,x\nb,c,d,e\n", [](Decoder& decoder) {
    auto row = decoder.container<AnyKey>().nestedUnkeyedContainer(AnyKey::of(0));
    EXPECT_EQ(row.count(), 4);
    EXPECT_FALSE(row.decodeNil());
    EXPECT_EQ(row.currentIndex(), 0);
    EXPECT_EQ(row.decode<std::string>(), "a");
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(), std::nullopt);  // empty: passed over
    EXPECT_EQ(row.currentIndex(), 2);
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(), 7);
    EXPECT_EQ(testing::codingFailure([&] { (void)row.decode<std::int64_t>(); }),
              (testing::CodingFailure{DecodingError::Kind::typeMismatch, "Int", path({indexKey(0), indexKey(3)}),
                                      "The field 'x' was not of the expected type 'Int'."}));
    EXPECT_EQ(row.currentIndex(), 3);
    EXPECT_EQ(row.decode<std::string>(), "x");
    EXPECT_TRUE(row.isAtEnd());
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(), std::nullopt);
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.decode<std::string>(); }),
              (DecoderFailure{2,
                              "The provided field index is out of bounds.",
                              "Make sure the requested field is within the number of fields for the CSV file.",
                              {{"Row index", "0"}, {"Field index", "4"}, {"Field count", "4"}}}));
    EXPECT_EQ(row.currentIndex(), 4);

    for (const auto& attempt : std::vector<std::function<void()>>{[&] { (void)row.nestedContainer<AnyKey>(); },
                                                                  [&] { (void)row.nestedUnkeyedContainer(); },
                                                                  [&] { (void)row.superDecoder(); }})
      EXPECT_EQ(testing::decoderFailure(attempt), nesting(path({indexKey(0)})));
    EXPECT_EQ(row.currentIndex(), 4);
  });
}

TEST(DecoderUnkeyed, FileOfRows) {
  testing::withTopDecoder(plain, "1\nx\n", [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_EQ(file.decode<std::int64_t>(), 1);
    EXPECT_EQ(testing::codingFailure([&] { (void)file.decode<std::int64_t>(); }),
              (testing::CodingFailure{DecodingError::Kind::typeMismatch, "Int", path({indexKey(1), indexKey(0)}),
                                      "The field 'x' was not of the expected type 'Int'."}));
    EXPECT_EQ(file.decode<std::string>(), "x");
  });
  testing::withTopDecoder(plain, "1,Ann,3,\n2,Bo,4,twin\n3,Cy,5,\n4,Di,6,\n", [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_EQ(testing::decoderFailure([&] { (void)file.decode<std::int64_t>(); }),
              (DecoderFailure{2,
                              "A nested container is needed to decode at this coding path.",
                              "Request a nested container instead of trying to decode a value directly.",
                              {{"Coding path", "[]"}}}));
    EXPECT_EQ(file.currentIndex(), 0);
    EXPECT_EQ(file.decode<testing::PupilByPosition>().pupil, (testing::Pupil{1, "Ann", 3, std::nullopt}));

    auto second = file.nestedContainer<AnyKey>();
    EXPECT_EQ(file.currentIndex(), 2);
    EXPECT_EQ(second.codingPath().description(), path({indexKey(1)}));
    EXPECT_EQ(second.decode<std::string>(AnyKey::of(3)), "twin");
    auto third = file.nestedUnkeyedContainer();
    EXPECT_EQ(third.decode<std::int64_t>(), 3);
    EXPECT_EQ(file.superDecoder()->codingPath().description(), path({indexKey(3)}));
    EXPECT_EQ(file.currentIndex(), 4);
    EXPECT_TRUE(file.isAtEnd());
    EXPECT_EQ(file.count(), 4);
  });
}

TEST(DecoderUnkeyed, ConstructionByPathLength) {
  struct Ask {
    static Ask decode(Decoder& decoder) {
      (void)decoder.unkeyedContainer();
      return {};
    }
  };
  testing::withTopDecoder(plain, "1,2\n", [](Decoder& decoder) {
    auto file = decoder.container<AnyKey>();
    const std::string named = "AnyKey(stringValue: \"r\", intValue: nil)";
    EXPECT_EQ(testing::decoderFailure([&] { (void)file.decode<Ask>(AnyKey::of("r")); }),
              (DecoderFailure{2,
                              "The coding key identifying a CSV row couldn't be transformed into an integer value.",
                              "The provided coding key identifying a CSV row must implement `intValue`.",
                              {{"Coding path", path({named})}, {"Key", named}}}));
    auto row = file.nestedContainer<AnyKey>(AnyKey::of(0));
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.decode<Ask>(AnyKey::of(1)); }),
              nesting(path({indexKey(0), "AnyKey(stringValue: \"1\", intValue: 1)"})));
  });
}

TEST(DecoderUnkeyed, FailedLookAheadSurfacesAtTheNextDecode) {
  testing::withTopDecoder(plain, "1\n2,3\n", [](Decoder& decoder) {
    auto file = decoder.unkeyedContainer();
    EXPECT_EQ(file.decode<std::int64_t>(), 1);
    EXPECT_FALSE(file.isAtEnd());
    EXPECT_EQ(file.count(), 1);  // the reader has failed, so its count is final
    EXPECT_THROW((void)file.decode<std::int64_t>(), CSVReaderError);
    EXPECT_EQ(file.currentIndex(), 1);
  });
}

}  // namespace
}  // namespace RecordCSV
