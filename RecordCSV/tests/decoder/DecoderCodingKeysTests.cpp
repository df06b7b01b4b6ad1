// The keys the record coders make themselves.

#include <gtest/gtest.h>

#include "RecordCSV/CodingKeys.hpp"

namespace RecordCSV {
namespace {

TEST(DecoderCodingKeys, IndexKeyFromTextAndInteger) {
  const struct {
    std::string_view text;
    std::optional<std::int64_t> index;
  } texts[] = {
      {"12", 12},
      {"-4", -4},
      {"+5", 5},
      {"0", 0},
      {"-9223372036854775808", INT64_MIN},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", std::nullopt},
      {"", std::nullopt},
      {"1.5", std::nullopt},
      {"abc", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"++1", std::nullopt},
  };
  for (const auto& c : texts) {
    SCOPED_TRACE(c.text);
    const std::optional<IndexKey> key = IndexKey::fromString(c.text);
    ASSERT_EQ(key.has_value(), c.index.has_value());
    if (key) {
      EXPECT_EQ(key->index(), *c.index);
    }
  }
  EXPECT_FALSE(IndexKey::fromInt(-1));
  ASSERT_TRUE(IndexKey::fromInt(0));
  EXPECT_EQ(IndexKey::fromInt(0)->index(), 0);
}

TEST(DecoderCodingKeys, ValuesAndDescriptions) {
  const IndexKey seven(7);
  EXPECT_EQ(seven.stringValue(), "7");
  EXPECT_EQ(seven.intValue(), 7);
  EXPECT_EQ(IndexKey(-3).stringValue(), "-3");
  EXPECT_EQ(IndexKey(INT64_MIN).stringValue(), "-9223372036854775808");
  // The text lives in the key, so a copy keeps its own.
  const IndexKey copy = IndexKey(123456);
  EXPECT_EQ(copy.stringValue(), "123456");
  EXPECT_EQ(seven.description(), "IndexKey(stringValue: \"7\", intValue: 7)");
  EXPECT_EQ(platform::coding::CodingKey(seven).description(), seven.description());

  const NameKey super{0, "super"};
  EXPECT_EQ(super.stringValue(), "super");
  EXPECT_EQ(super.intValue(), 0);
  EXPECT_EQ(super.description(), "NameKey(stringValue: \"super\", intValue: 0)");
  EXPECT_FALSE(NameKey::fromString("super"));
  EXPECT_FALSE(NameKey::fromInt(0));

  const InvalidKey invalid;
  EXPECT_EQ(invalid.stringValue(), "");
  EXPECT_EQ(invalid.intValue(), std::nullopt);
  EXPECT_EQ(invalid.debugDescription(), "InvalidKey(stringValue: \"\", intValue: nil)");
  EXPECT_FALSE(InvalidKey::fromString(""));
  EXPECT_FALSE(InvalidKey::fromInt(0));
}

}  // namespace
}  // namespace RecordCSV
