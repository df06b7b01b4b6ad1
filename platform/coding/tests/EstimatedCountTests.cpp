// A sequence's guess at its length: a vector reserves room from it, and nothing decoded changes.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "TreeCoder.hpp"

namespace {

using namespace platform::coding;

/// An element that decodes itself from a decoder of its own.
struct Tagged {
  std::int64_t value = 0;
  static Tagged decode(Decoder& decoder) { return {decoder.singleValueContainer().decode<std::int64_t>()}; }
  friend bool operator==(const Tagged&, const Tagged&) = default;
};

/// A list of integers with no count and a guess at its length as told.
class GuessingList final : public UnkeyedDecodingContainerBase {
 public:
  struct Setup {
    std::vector<std::int64_t> values;
    std::optional<std::int64_t> guess;
    bool runsDecoding = true;
    int asked = 0;
  };
  explicit GuessingList(Setup& setup) : setup_(&setup) {}

  const CodingPath& codingPath() const override { return path_; }
  std::optional<std::int64_t> count() override { return std::nullopt; }
  std::optional<std::int64_t> estimatedCount() override {
    ++setup_->asked;
    return setup_->guess;
  }
  bool isAtEnd() override { return index_ >= setup_->values.size(); }
  std::int64_t currentIndex() const override { return static_cast<std::int64_t>(index_); }
  bool decodeNil() override { return false; }
  bool decodeBool() override { refuse(); }
  std::string decodeString() override { refuse(); }
  double decodeDouble() override { refuse(); }
  float decodeFloat() override { refuse(); }
  std::int8_t decodeInt8() override { refuse(); }
  std::int16_t decodeInt16() override { refuse(); }
  std::int32_t decodeInt32() override { refuse(); }
  std::int64_t decodeInt64() override { return setup_->values.at(index_++); }
  std::uint8_t decodeUInt8() override { refuse(); }
  std::uint16_t decodeUInt16() override { refuse(); }
  std::uint32_t decodeUInt32() override { refuse(); }
  std::uint64_t decodeUInt64() override { refuse(); }
  void withDecoder(FunctionRef<void(Decoder&)> decode) override {
    if (!setup_->runsDecoding) return;
    const tree::Node node = tree::Node::text(std::to_string(setup_->values.at(index_)));
    tree::TreeDecoder decoder(node, {}, userInfo_);
    decode(decoder);
    ++index_;
  }
  KeyedDecodingBox nestedContainer() override { refuse(); }
  UnkeyedDecodingBox nestedUnkeyedContainer() override { refuse(); }
  std::unique_ptr<Decoder> superDecoder() override { refuse(); }

 private:
  [[noreturn]] static void refuse() { throw std::logic_error("not used here"); }

  Setup* setup_;
  std::size_t index_ = 0;
  CodingPath path_;
  UserInfo userInfo_;
};

class GuessingDecoder final : public Decoder {
 public:
  explicit GuessingDecoder(GuessingList::Setup& setup) : setup_(&setup) {}
  const CodingPath& codingPath() const override { return path_; }
  const UserInfo& userInfo() const override { return userInfo_; }
  KeyedDecodingBox makeKeyedContainer() override { throw std::logic_error("not used here"); }
  UnkeyedDecodingBox makeUnkeyedContainer() override { return UnkeyedDecodingBox::make<GuessingList>(*setup_); }
  SingleValueDecodingBox makeSingleValueContainer() override { throw std::logic_error("not used here"); }

 private:
  GuessingList::Setup* setup_;
  CodingPath path_;
  UserInfo userInfo_;
};

template <typename T>
std::vector<T> decodeList(GuessingList::Setup& setup) {
  GuessingDecoder decoder(setup);
  return decodeValue<std::vector<T>>(decoder);
}

TEST(EstimatedCount, NoneUnlessTheCoderGuesses) {
  const tree::Node list{tree::List{tree::Node::text("1")}};
  tree::TreeDecoder decoder(list, {}, {});
  auto container = decoder.unkeyedContainer();
  EXPECT_EQ(container.estimatedCount(), std::nullopt);
  EXPECT_EQ(container.count(), 1);
}

TEST(EstimatedCount, VectorsReserveTheGuessOnlyWhenFull) {
  GuessingList::Setup setup{{4, 5, 6}, 1000};
  const std::vector<std::int64_t> values = decodeList<std::int64_t>(setup);
  EXPECT_EQ(values, (std::vector<std::int64_t>{4, 5, 6}));
  EXPECT_GE(values.capacity(), 1000u);
  EXPECT_EQ(setup.asked, 1) << "asked at the first element, then never full again";

  GuessingList::Setup selfDecoding{{7, 8}, 50};
  const std::vector<Tagged> tagged = decodeList<Tagged>(selfDecoding);
  EXPECT_EQ(tagged, (std::vector<Tagged>{{7}, {8}}));
  EXPECT_GE(tagged.capacity(), 50u);

  GuessingList::Setup empty{{}, 1000};
  EXPECT_EQ(decodeList<std::int64_t>(empty).capacity(), 0u) << "nothing to reserve for";
  EXPECT_EQ(empty.asked, 0);
}

TEST(EstimatedCount, GuessesThatCannotBeMetAreIgnored) {
  for (const std::optional<std::int64_t> guess :
       {std::optional<std::int64_t>(), std::optional<std::int64_t>(0), std::optional<std::int64_t>(-3),
        std::optional<std::int64_t>(1), std::optional<std::int64_t>(std::numeric_limits<std::int64_t>::max())}) {
    GuessingList::Setup setup{{1, 2, 3, 4, 5}, guess};
    EXPECT_EQ(decodeList<std::int64_t>(setup), (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    GuessingList::Setup selfDecoding{{1, 2, 3}, guess};
    EXPECT_EQ(decodeList<Tagged>(selfDecoding), (std::vector<Tagged>{{1}, {2}, {3}}));
  }
}

TEST(EstimatedCount, AContainerThatDoesNotRunTheDecodingIsStillCaught) {
  GuessingList::Setup setup{{1}, 10, false};
  EXPECT_THROW(decodeList<Tagged>(setup), std::logic_error);
}

}  // namespace
