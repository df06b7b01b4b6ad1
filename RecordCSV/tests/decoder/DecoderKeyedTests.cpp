// The keyed container: the whole input keyed by row, one row keyed by column.

#include "decoder/DecoderTestSupport.hpp"

namespace RecordCSV {
namespace {

using platform::coding::Decoder;
using testing::AnyKey;
using testing::DecoderFailure;
using testing::indexKey;
using testing::path;

const CSVDecoder headed([](CSVDecoder::Configuration& c) { c.setHeaderStrategy(Strategy::Header::firstLine()); });
const CSVDecoder plain;

std::string anyKey(std::int64_t i) {
  return "AnyKey(stringValue: \"" + std::to_string(i) + "\", intValue: " + std::to_string(i) + ")";
}
std::string anyKey(const std::string& name) { return "AnyKey(stringValue: \"" + name + "\", intValue: nil)"; }

DecoderFailure nesting(const std::string& codingPath, const std::string& key) {
  return {2,
          "A CSV doesn't support more than two nested decoding container.",
          "Don't ask for a nested container on the targeted key for this coding path.",
          {{"Coding path", codingPath}, {"Key", key}}};
}

DecoderFailure invalidRowKey(const std::string& codingPath, const std::string& key) {
  return {2,
          "The coding key identifying a CSV row couldn't be transformed into an integer value.",
          "The provided coding key identifying a CSV row must implement `intValue`.",
          {{"Coding path", codingPath}, {"Key", key}}};
}

TEST(DecoderKeyed, FieldPathOfARecordByName) {
  EXPECT_EQ(testing::codingFailure([] {
              (void)headed.decode<std::vector<testing::Pupil>>(std::string("id,name,grade,note\n1,Ann,3,\n2,Bo,x,\n"));
            }),
            (testing::CodingFailure{platform::coding::DecodingError::Kind::typeMismatch, "Int32",
                                    path({indexKey(1), "Key(stringValue: \"grade\", intValue: nil)"}),
                                    "The field 'x' was not of the expected type 'Int32'."}));
}

TEST(DecoderKeyed, RowContainerContainsAndKeys) {
  testing::withTopDecoder(headed, "a,b,c\n1,2,3\n", [](Decoder& decoder) {
    auto row = decoder.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0));
    EXPECT_EQ(row.codingPath().description(), path({indexKey(0)}));
    const std::pair<AnyKey, bool> cases[] = {
        {AnyKey::of("b"), true}, {AnyKey::of("d"), false}, {AnyKey::of(1), true},
        {AnyKey::of(2), true},   {AnyKey::of(3), false},   {AnyKey::of(-1), false},
    };
    for (const auto& [key, contained] : cases) EXPECT_EQ(row.contains(key), contained) << key.text;
    EXPECT_EQ(row.allKeys(), (std::vector<AnyKey>{AnyKey::of(0), AnyKey::of(1), AnyKey::of(2)}));
    EXPECT_EQ(decoder.container<AnyKey>().nestedContainer<testing::NameOnlyKey>(AnyKey::of(0)).allKeys(),
              (std::vector<testing::NameOnlyKey>{testing::NameOnlyKey::a, testing::NameOnlyKey::c}));
  });
  testing::withTopDecoder(plain, "", [](Decoder& decoder) {
    EXPECT_TRUE(decoder.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0)).allKeys().empty());
  });
}

TEST(DecoderKeyed, FileContainerKeysAppearOnceTheInputEnded) {
  testing::withTopDecoder(headed, "h\n1\n2\n3\n", [](Decoder& decoder) {
    auto file = decoder.container<AnyKey>();
    EXPECT_TRUE(file.allKeys().empty());
    EXPECT_TRUE(file.contains(AnyKey::of(2)));
    EXPECT_FALSE(file.contains(AnyKey::of("h")));
    EXPECT_TRUE(file.allKeys().empty());
    EXPECT_FALSE(file.contains(AnyKey::of(3)));
    EXPECT_EQ(file.allKeys(), (std::vector<AnyKey>{AnyKey::of(0), AnyKey::of(1), AnyKey::of(2)}));
  });
}

TEST(DecoderKeyed, FileContainerValuesOfOneFieldRows) {
  testing::withTopDecoder(plain, "7\nx\n", [](Decoder& decoder) {
    auto file = decoder.container<AnyKey>();
    EXPECT_EQ(file.decode<std::int64_t>(AnyKey::of(0)), 7);
    EXPECT_FALSE(file.decodeNil(AnyKey::of(0)));
    EXPECT_EQ(
        testing::codingFailure([&] { (void)file.decode<std::int64_t>(AnyKey::of(1)); }),
        (testing::CodingFailure{platform::coding::DecodingError::Kind::typeMismatch, "Int",
                                path({anyKey(1), indexKey(0)}), "The field 'x' was not of the expected type 'Int'."}));
    EXPECT_EQ(testing::decoderFailure([&] { (void)file.decode<std::int64_t>(AnyKey::of("x")); }),
              invalidRowKey(path({anyKey("x")}), anyKey("x")));
    EXPECT_EQ(file.decodeIfPresent<std::int64_t>(AnyKey::of(5)), std::nullopt);
  });
  const DecoderFailure required{2,
                                "A nested container is needed to decode CSV row values",
                                "Request a nested container instead of trying to decode a value directly.",
                                {{"Coding path", "[]"}}};
  for (const char* text : {"7,8\n", ""}) {
    testing::withTopDecoder(plain, text, [&](Decoder& decoder) {
      auto file = decoder.container<AnyKey>();
      EXPECT_EQ(testing::decoderFailure([&] { (void)file.decode<std::int64_t>(AnyKey::of(0)); }), required);
      EXPECT_EQ(testing::decoderFailure([&] { (void)file.decodeNil(AnyKey::of(0)); }), required);
    });
  }
}

TEST(DecoderKeyed, KeyBeyondTheRow) {
  testing::withTopDecoder(plain, "1,2,3\n", [](Decoder& decoder) {
    auto row = decoder.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0));
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.decode<std::int64_t>(AnyKey::of(5)); }),
              (DecoderFailure{2,
                              "The provided field index is out of bounds.",
                              "Make sure the requested field is within the number of fields for the CSV file.",
                              {{"Row index", "0"}, {"Field index", "5"}, {"Field count", "3"}}}));
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(AnyKey::of(5)), std::nullopt);
    EXPECT_FALSE(row.decodeNil(AnyKey::of(5)));
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(AnyKey::of(2)), 3);
  });
}

/// Asks the decoder it gets for the container `ask` names and keeps the failure.
struct Nested {
  static inline std::function<void(Decoder&)> ask;
  static Nested decode(Decoder& decoder) {
    ask(decoder);
    return {};
  }
};

TEST(DecoderKeyed, NestingStopsAtTheRow) {
  testing::withTopDecoder(plain, "1,2\n", [](Decoder& decoder) {
    auto file = decoder.container<AnyKey>();
    auto row = file.nestedContainer<AnyKey>(AnyKey::of(0));
    const std::string rowPath = path({indexKey(0)});
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.nestedContainer<AnyKey>(AnyKey::of(1)); }),
              nesting(rowPath, anyKey(1)));
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.nestedUnkeyedContainer(AnyKey::of(1)); }),
              nesting(rowPath, anyKey(1)));
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.superDecoder(AnyKey::of(1)); }), nesting(rowPath, anyKey(1)));
    EXPECT_EQ(testing::decoderFailure([&] { (void)row.superDecoder(); }),
              nesting(rowPath, "NameKey(stringValue: \"super\", intValue: 0)"));

    // From the file, a row is named by its position whatever the key, and is not checked.
    EXPECT_EQ(file.nestedContainer<AnyKey>(AnyKey::of(4)).codingPath().description(), path({indexKey(4)}));
    EXPECT_EQ(file.nestedUnkeyedContainer(AnyKey::of(3)).codingPath().description(), path({indexKey(3)}));
    EXPECT_EQ(file.superDecoder(AnyKey::of(2))->codingPath().description(), path({indexKey(2)}));
    EXPECT_EQ(file.superDecoder()->codingPath().description(), path({indexKey(0)}));
    EXPECT_EQ(file.superDecoder()->container<AnyKey>().decode<std::string>(AnyKey::of(1)), "2");
    EXPECT_EQ(testing::decoderFailure([&] { (void)file.nestedContainer<AnyKey>(AnyKey::of("r")); }),
              invalidRowKey(path({anyKey("r")}), anyKey("r")));

    // A type decoded for a field can only ask for a single value.
    Nested::ask = [](Decoder& field) {
      EXPECT_EQ(field.codingPath().size(), 2u);
      EXPECT_EQ(testing::decoderFailure([&] { (void)field.container<AnyKey>(); }),
                nesting(path({indexKey(0), anyKey(1)}), anyKey(1)));
      EXPECT_EQ(testing::decoderFailure([&] { (void)field.unkeyedContainer(); }),
                (DecoderFailure{2,
                                "A CSV doesn't support more than two nested decoding container.",
                                "Don't ask for a unkeyed decoding container on this coding path.",
                                {{"Coding path", path({indexKey(0), anyKey(1)})}}}));
      EXPECT_EQ(field.singleValueContainer().decode<std::string>(), "2");
    };
    (void)row.decode<Nested>(AnyKey::of(1));

    // A type decoded for a named row key cannot find its row.
    Nested::ask = [](Decoder& rowDecoder) {
      EXPECT_EQ(testing::decoderFailure([&] { (void)rowDecoder.container<AnyKey>(); }),
                invalidRowKey(path({anyKey("r")}), anyKey("r")));
    };
    (void)file.decode<Nested>(AnyKey::of("r"));
    Nested::ask = nullptr;
  });
}

TEST(DecoderKeyed, CustomNilSeesTheFieldDecoder) {
  CSVDecoder decoder;
  std::vector<std::string> seen;
  decoder.setNilStrategy(Strategy::NilDecoding::custom([&seen](Decoder& field) {
    seen.push_back(field.codingPath().description());
    return field.singleValueContainer().decode<std::string>() == "-";
  }));
  testing::withTopDecoder(decoder, "-\n5\n", [](Decoder& top) {
    auto file = top.container<AnyKey>();
    EXPECT_TRUE(file.decodeNil(AnyKey::of(0)));
    EXPECT_EQ(file.decodeIfPresent<std::int64_t>(AnyKey::of(1)), 5);
  });
  EXPECT_EQ(seen, (std::vector<std::string>{path({anyKey(0), indexKey(0)}), path({anyKey(1), indexKey(0)})}));
}

}  // namespace
}  // namespace RecordCSV
