#include <gtest/gtest.h>

#include "TreeCoder.hpp"

namespace school {

using namespace platform::coding;

enum class AddressKey { city, zip };
constexpr std::array<std::string_view, 2> codingKeyNames(AddressKey) { return {"city", "zip"}; }

struct Address {
  std::string city;
  std::optional<std::int32_t> zip;

  static Address decode(Decoder& decoder) {
    auto container = decoder.container<AddressKey>();
    return {container.decode<std::string>(AddressKey::city), container.decodeIfPresent<std::int32_t>(AddressKey::zip)};
  }
  void encode(Encoder& encoder) const {
    auto container = encoder.container<AddressKey>();
    container.encode(city, AddressKey::city);
    container.encodeIfPresent(zip, AddressKey::zip);
  }
  friend bool operator==(const Address&, const Address&) = default;
};

enum class StudentKey { id, name, grade, nickname, scores, born, photo, balance, homepage, address, flags };
constexpr std::array<std::string_view, 11> codingKeyNames(StudentKey) {
  return {"id", "name", "grade", "nickname", "scores", "born", "photo", "balance", "homepage", "address", "flags"};
}

struct Student {
  std::int64_t id = 0;
  std::string name;
  std::uint8_t grade = 0;
  std::optional<std::string> nickname;
  std::vector<double> scores;
  platform::Date born;
  platform::Data photo;
  platform::Decimal balance;
  platform::URL homepage = *platform::URL::parse("https://example.org/a");
  Address address;
  std::vector<bool> flags;

  static Student decode(Decoder& decoder) {
    auto c = decoder.container<StudentKey>();
    Student s;
    s.id = c.decode<std::int64_t>(StudentKey::id);
    s.name = c.decode<std::string>(StudentKey::name);
    s.grade = c.decode<std::uint8_t>(StudentKey::grade);
    s.nickname = c.decodeIfPresent<std::string>(StudentKey::nickname);
    s.scores = c.decode<std::vector<double>>(StudentKey::scores);
    s.born = c.decode<platform::Date>(StudentKey::born);
    s.photo = c.decode<platform::Data>(StudentKey::photo);
    s.balance = c.decode<platform::Decimal>(StudentKey::balance);
    s.homepage = c.decode<platform::URL>(StudentKey::homepage);
    s.address = c.decode<Address>(StudentKey::address);
    s.flags = c.decode<std::vector<bool>>(StudentKey::flags);
    return s;
  }
  void encode(Encoder& encoder) const {
    auto c = encoder.container<StudentKey>();
    c.encode(id, StudentKey::id);
    c.encode(name, StudentKey::name);
    c.encode(grade, StudentKey::grade);
    c.encodeIfPresent(nickname, StudentKey::nickname);
    c.encode(scores, StudentKey::scores);
    c.encode(born, StudentKey::born);
    c.encode(photo, StudentKey::photo);
    c.encode(balance, StudentKey::balance);
    c.encode(homepage, StudentKey::homepage);
    c.encode(address, StudentKey::address);
    auto list = c.nestedUnkeyedContainer(StudentKey::flags);
    list.encodeContentsOf(flags);
  }
  friend bool operator==(const Student&, const Student&) = default;
};

}  // namespace school

/// A key that is a position or a name, as a record coder's own keys are.
struct SlotKey {
  std::string text;
  std::optional<std::int64_t> index;
  std::string_view stringValue() const { return text; }
  std::optional<std::int64_t> intValue() const { return index; }
  static std::optional<SlotKey> fromString(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return SlotKey{std::string(text), std::nullopt};
  }
  static std::optional<SlotKey> fromInt(std::int64_t index) {
    if (index < 0) return std::nullopt;
    return SlotKey{std::to_string(index), index};
  }
};

/// A key whose text is made on request, as computed keys are.
struct MadeKey {
  int number = 0;
  std::string stringValue() const { return "key number " + std::to_string(number); }
  std::optional<std::int64_t> intValue() const { return std::nullopt; }
  static std::optional<MadeKey> fromString(std::string_view) { return std::nullopt; }
  static std::optional<MadeKey> fromInt(std::int64_t) { return std::nullopt; }
};

enum class Column { first, second };
constexpr std::array<std::string_view, 2> codingKeyNames(Column) { return {"first", "second"}; }
constexpr bool codingKeyUsesIndex(Column) { return true; }

struct Renamed {};
template <>
struct platform::coding::TypeName<Renamed> {
  static std::string name() { return "Other"; }
};

namespace {

using namespace platform::coding;
using tree::Node;

Node text(std::string value) { return Node::text(std::move(value)); }

school::Student sampleStudent() {
  school::Student s;
  s.id = -9'000'000'000;
  s.name = "Ann";
  s.grade = 200;
  s.nickname = "A";
  s.scores = {1.5, -0.25};
  s.born = platform::Date{12.5};
  s.photo = platform::Data({0, 255, 7});
  s.balance = *platform::Decimal::parse("-12.75");
  s.homepage = *platform::URL::parse("https://example.org/p?q=1");
  s.address = {"Gent", 9000};
  s.flags = {true, false};
  return s;
}

TEST(Coding, RecordsRoundTripThroughEveryContainerKind) {
  const school::Student student = sampleStudent();
  const Node node = tree::encode(student);

  // The platform values took their own coding: seconds, bytes, plain text, URL text.
  EXPECT_EQ(*node.find("born"), text("12.5"));
  EXPECT_EQ(*node.find("photo"), (Node{tree::List{text("0"), text("255"), text("7")}}));
  EXPECT_EQ(*node.find("balance"), text("-12.75"));
  EXPECT_EQ(*node.find("homepage"), text("https://example.org/p?q=1"));
  EXPECT_EQ(*node.find("flags"), (Node{tree::List{text("true"), text("false")}}));
  EXPECT_EQ(tree::decode<school::Student>(node), student);

  school::Student bare = student;
  bare.nickname.reset();
  bare.address.zip.reset();
  const Node bareNode = tree::encode(bare);
  EXPECT_EQ(bareNode.find("nickname"), nullptr) << "an absent value writes nothing by default";
  EXPECT_EQ(bareNode.find("address")->find("zip"), nullptr);
  EXPECT_EQ(tree::decode<school::Student>(bareNode), bare);

  // A nil value reads as absent, too.
  Node withNil = node;
  std::get<tree::Fields>(withNil.value)[3].second = Node{};
  EXPECT_EQ(tree::decode<school::Student>(withNil).nickname, std::nullopt);
}

TEST(Coding, StandardTypesCodeThemselves) {
  EXPECT_EQ(tree::encode(std::int64_t{-5}), text("-5"));
  EXPECT_EQ(tree::decode<std::int64_t>(text("-5")), -5);
  EXPECT_EQ(tree::encode(std::optional<std::string>()), Node{});
  EXPECT_EQ(tree::decode<std::optional<std::string>>(Node{}), std::nullopt);
  EXPECT_EQ(tree::decode<std::optional<std::string>>(text("x")), "x");
  const std::vector<std::vector<std::uint16_t>> nested{{1, 2}, {}, {3}};
  EXPECT_EQ(tree::decode<std::vector<std::vector<std::uint16_t>>>(tree::encode(nested)), nested);

  const Node notADecimal = text("1.5abc");
  try {
    tree::decode<platform::Decimal>(notADecimal);
    FAIL() << "no error";
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_STREQ(error.what(), "Invalid Decimal string.");
  }
  EXPECT_THROW(tree::decode<platform::URL>(text("")), DecodingError);
}

TEST(Coding, UnkeyedContainersAdvanceOnlyOnSuccess) {
  const Node list{tree::List{text("1"), Node{}, text("x"), Node{tree::List{text("7")}}, text("end")}};
  tree::TreeDecoder decoder(list, {}, {});
  auto c = decoder.unkeyedContainer();
  EXPECT_EQ(c.count(), 5);
  EXPECT_FALSE(c.decodeNil());
  EXPECT_EQ(c.decode<std::int8_t>(), 1);
  EXPECT_EQ(c.decodeIfPresent<std::int8_t>(), std::nullopt) << "a nil element is passed";
  EXPECT_EQ(c.currentIndex(), 2);
  EXPECT_THROW(c.decode<std::int32_t>(), DecodingError);
  EXPECT_EQ(c.currentIndex(), 2) << "a failed decode stays";
  EXPECT_EQ(c.decode<std::string>(), "x");
  auto nested = c.nestedUnkeyedContainer();
  EXPECT_EQ(nested.decode<std::uint64_t>(), 7u);
  EXPECT_TRUE(nested.isAtEnd());
  EXPECT_EQ(nested.decodeIfPresent<std::uint64_t>(), std::nullopt);
  auto super = c.superDecoder();
  EXPECT_EQ(super->codingPath().back().intValue(), 4);
  EXPECT_EQ(super->singleValueContainer().decode<std::string>(), "end");
  EXPECT_TRUE(c.isAtEnd());
}

TEST(Coding, KeyedContainersListKeysTheKeyTypeAccepts) {
  const Node node{tree::Fields{{"second", text("2")}, {"other", text("x")}, {"first", text("1")}}};
  tree::TreeDecoder decoder(node, {}, {});
  auto byName = decoder.container<Column>();
  EXPECT_EQ(byName.allKeys(), (std::vector<Column>{Column::second, Column::first}));
  EXPECT_TRUE(byName.contains(Column::first));
  auto bySlot = decoder.container<SlotKey>();
  EXPECT_EQ(bySlot.allKeys().size(), 3u);
  EXPECT_EQ(bySlot.decode<std::int16_t>(SlotKey{"second", std::nullopt}), 2);

  try {
    byName.decode<bool>(Column::first);
    FAIL() << "no error";
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(error.type(), "Bool");
    EXPECT_EQ(error.codingPath(), CodingPath({CodingKey(Column::first)}));
    EXPECT_STREQ(error.what(), "Not a Bool: 1");
  }
  try {
    decoder.container<school::AddressKey>().decode<std::string>(school::AddressKey::zip);
    FAIL() << "no error";
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(error.key(), CodingKey(school::AddressKey::zip));
    EXPECT_EQ(error.debugDescription(),
              "DecodingError.keyNotFound AddressKey(stringValue: \"zip\", intValue: nil): No value associated with "
              "key AddressKey(stringValue: \"zip\", intValue: nil).\nCoding path: []");
  }
  EXPECT_THROW(decoder.unkeyedContainer(), DecodingError);
}

enum class Accented { cafe };
constexpr std::array<std::string_view, 1> codingKeyNames(Accented) { return {"caf\u00E9"}; }

TEST(Coding, KeysEraseAndDescribeThemselves) {
  struct Case {
    CodingKey key;
    std::string_view text;
    std::optional<std::int64_t> integer;
    std::string description;
  };
  const Case cases[] = {
      {CodingKey(Column::second), "second", 1, "Column(stringValue: \"second\", intValue: 1)"},
      {CodingKey(school::StudentKey::flags), "flags", std::nullopt, "StudentKey(stringValue: \"flags\", intValue: nil)"},
      {CodingKey(*SlotKey::fromInt(7)), "7", 7, "SlotKey(stringValue: \"7\", intValue: 7)"},
      {CodingKey(MadeKey{12}), "key number 12", std::nullopt,
       "MadeKey(stringValue: \"key number 12\", intValue: nil)"},
      {CodingKey("IndexKey", "-3", -3), "-3", -3, "IndexKey(stringValue: \"-3\", intValue: -3)"},
      {CodingKey(), "", std::nullopt, "(stringValue: \"\", intValue: nil)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.key.stringValue(), c.text);
    EXPECT_EQ(c.key.intValue(), c.integer);
    EXPECT_EQ(c.key.description(), c.description);
  }
  EXPECT_EQ(keyFromInt<Column>(1), Column::second);
  EXPECT_EQ(keyFromInt<Column>(2), std::nullopt);
  EXPECT_EQ(keyFromInt<school::AddressKey>(0), std::nullopt) << "a named key has no integer unless it opts in";
  EXPECT_EQ(keyFromString<school::AddressKey>("zip"), school::AddressKey::zip);
  EXPECT_EQ(keyFromString<school::AddressKey>("Zip"), std::nullopt);
  EXPECT_EQ(keyFromString<Accented>("cafe\u0301"), Accented::cafe) << "another spelling of the same name";

  // Paths keep four keys inline and grow beyond them.
  CodingPath path;
  for (std::int64_t i = 0; i < 6; ++i) path.push_back(CodingKey("K", std::to_string(i), i));
  CodingPath copy = path;
  copy.pop_back();
  copy.pop_back();
  copy.pop_back();
  EXPECT_EQ(path.size(), 6u);
  EXPECT_EQ(path[5].intValue(), 5);
  EXPECT_EQ(copy.appending(path[3]).appending(path[4]).appending(path[5]), path);
  CodingPath moved = std::move(copy);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(moved.size(), 3u);
  moved = path;
  EXPECT_EQ(moved, path);
  moved = CodingPath{CodingKey(Column::first)};
  EXPECT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved.back().stringValue(), "first");
  EXPECT_EQ(CodingPath({CodingKey(Column::first)}).description(), "[Column(stringValue: \"first\", intValue: 0)]");
  std::int64_t sum = 0;
  for (const CodingKey& key : path) sum += *key.intValue();
  EXPECT_EQ(sum, 15);
}

TEST(Coding, TypesNameThemselvesInMessages) {
  EXPECT_EQ(typeName<std::int64_t>(), "Int");
  EXPECT_EQ(typeName<std::uint64_t>(), "UInt");
  EXPECT_EQ(typeName<std::int8_t>(), "Int8");
  EXPECT_EQ(typeName<std::string>(), "String");
  EXPECT_EQ(typeName<platform::URL>(), "URL");
  EXPECT_EQ(typeName<school::Student>(), "Student");
  EXPECT_EQ(typeName<std::vector<std::optional<school::Address>>>(), "Array<Optional<Address>>");
  EXPECT_EQ(typeName<Renamed>(), "Other");
}

/// An unkeyed container that refuses everything, as an invalid container does.
class RefusingList final : public UnkeyedEncodingContainerBase {
 public:
  const CodingPath& codingPath() const override { return path_; }
  std::int64_t count() const override { return 0; }
  void encodeNil() override { refuse(); }
  void encodeBool(bool) override { refuse(); }
  void encodeString(std::string_view) override { refuse(); }
  void encodeDouble(double) override { refuse(); }
  void encodeFloat(float) override { refuse(); }
  void encodeInt8(std::int8_t) override { refuse(); }
  void encodeInt16(std::int16_t) override { refuse(); }
  void encodeInt32(std::int32_t) override { refuse(); }
  void encodeInt64(std::int64_t) override { refuse(); }
  void encodeUInt8(std::uint8_t) override { refuse(); }
  void encodeUInt16(std::uint16_t) override { refuse(); }
  void encodeUInt32(std::uint32_t) override { refuse(); }
  void encodeUInt64(std::uint64_t) override { refuse(); }
  void withEncoder(FunctionRef<void(Encoder&)>) override { refuse(); }
  void encodeContents(FunctionRef<void(UnkeyedEncodingContainerBase&)>) override { refuse(); }
  KeyedEncodingBox nestedContainer() override { refuse(); }
  UnkeyedEncodingBox nestedUnkeyedContainer() override { return UnkeyedEncodingBox::make<RefusingList>(); }
  std::unique_ptr<Encoder> superEncoder() override { refuse(); }

 private:
  [[noreturn]] void refuse() const {
    throw EncodingError::invalidValue(std::string("refused"), {path_, "Refused.", nullptr});
  }
  CodingPath path_;
};

TEST(Coding, SequencesGoThroughTheContainersOwnContentsRule) {
  UnkeyedEncodingContainer refusing(UnkeyedEncodingBox::make<RefusingList>());
  EXPECT_THROW(refusing.encodeContentsOf(std::vector<int>{}), EncodingError) << "even an empty sequence";
  EXPECT_THROW(refusing.nestedUnkeyedContainer().encode(1.5), EncodingError);
  try {
    refusing.encodeConditional(std::string("x"));
  } catch (const EncodingError& error) {
    EXPECT_EQ(std::any_cast<std::string>(error.value()), "refused");
    EXPECT_EQ(error.debugDescription(), "EncodingError.invalidValue: Refused.\nCoding path: []");
  }

  Node node;
  tree::TreeEncoder encoder(node, {}, {});
  auto list = encoder.unkeyedContainer();
  list.encodeContentsOf(std::vector<std::string_view>{"a", "b"});
  list.encode("c");
  list.encodeNil();
  EXPECT_EQ(list.count(), 4);
  EXPECT_EQ(node, (Node{tree::List{text("a"), text("b"), text("c"), Node{}}}));
}

/// Big enough that the box keeps it on the heap.
struct LargeValue final : SingleValueDecodingContainerBase {
  explicit LargeValue(int* destroyed) : destroyed_(destroyed) {}
  ~LargeValue() override { ++*destroyed_; }
  const CodingPath& codingPath() const override { return path_; }
  bool decodeNil() override { return true; }
  bool decodeBool() override { return true; }
  std::string decodeString() override { return std::string(padding_.data(), 4); }
  double decodeDouble() override { return 0; }
  float decodeFloat() override { return 0; }
  std::int8_t decodeInt8() override { return 0; }
  std::int16_t decodeInt16() override { return 0; }
  std::int32_t decodeInt32() override { return 0; }
  std::int64_t decodeInt64() override { return 0; }
  std::uint8_t decodeUInt8() override { return 0; }
  std::uint16_t decodeUInt16() override { return 0; }
  std::uint32_t decodeUInt32() override { return 0; }
  std::uint64_t decodeUInt64() override { return 0; }
  void withDecoder(FunctionRef<void(Decoder&)>) override {}

  int* destroyed_;
  CodingPath path_;
  std::array<char, 1024> padding_{'b', 'i', 'g', '!'};
};

TEST(Coding, BoxesMoveTheirContainersWithoutLosingThem) {
  int destroyed = 0;
  {
    SingleValueDecodingBox box = SingleValueDecodingBox::make<LargeValue>(&destroyed);
    SingleValueDecodingBox moved = std::move(box);
    EXPECT_EQ(box.get(), nullptr);
    EXPECT_EQ(moved->decodeString(), "big!");
    // A container that never runs the decoding it is handed is a coder's fault, not a crash.
    SingleValueDecodingContainer container(std::move(moved));
    EXPECT_THROW(container.decode<school::Address>(), std::logic_error);
  }
  EXPECT_EQ(destroyed, 1);

  const Node node{tree::Fields{{"city", text("Gent")}}};
  tree::TreeDecoder decoder(node, {}, {});
  KeyedDecodingBox inlineBox = decoder.makeKeyedContainer();
  KeyedDecodingBox moved = std::move(inlineBox);
  moved = decoder.makeKeyedContainer();
  EXPECT_EQ(KeyedDecodingContainer<school::AddressKey>(std::move(moved)).decode<std::string>(school::AddressKey::city),
            "Gent");
}

}  // namespace
