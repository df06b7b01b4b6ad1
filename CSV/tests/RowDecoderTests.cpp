#include <gtest/gtest.h>

#include <cmath>

#include "CSV/CSVRowDecoder.hpp"
#include "platform/core/Base64.hpp"

namespace CSV {
namespace {

using platform::coding::Decoder;
using platform::coding::DecodingError;
using Kind = DecodingError::Kind;

enum class PersonKey { name, age, email };
constexpr std::array<std::string_view, 3> codingKeyNames(PersonKey) { return {"name", "age", "email"}; }

struct Person {
  std::string name;
  std::int64_t age = 0;
  std::optional<std::string> email;

  static Person decode(Decoder& decoder) {
    auto c = decoder.container<PersonKey>();
    return {c.decode<std::string>(PersonKey::name), c.decode<std::int64_t>(PersonKey::age),
            c.decodeIfPresent<std::string>(PersonKey::email)};
  }
  friend bool operator==(const Person&, const Person&) = default;
};

/// A reader of `text` (with a header row) standing on its first row.
CSVReader readerAtFirstRow(const std::string& text) {
  CSVReader reader(text, true);
  reader.next();
  return reader;
}

/// The failure of a decode: its kind, text and coding path, as "kind|text|path".
template <typename Action>
std::string failure(Action&& action) {
  try {
    action();
  } catch (const DecodingError& error) {
    const char* kinds[] = {"typeMismatch", "valueNotFound", "keyNotFound", "dataCorrupted"};
    return std::string(kinds[static_cast<int>(error.kind())]) + "|" + error.what() + "|" +
           std::to_string(error.codingPath().size());
  }
  return "no failure";
}

/// One value of type T read from column "v", with a decoder set up by `configure`.
template <typename T>
struct Single {
  T value;
  enum class Key { v };
  friend constexpr std::array<std::string_view, 1> codingKeyNames(Key) { return {"v"}; }
  static Single decode(Decoder& decoder) { return {decoder.container<Key>().template decode<T>(Key::v)}; }
};

template <typename T>
T decodeField(const std::string& field, const CSVRowDecoder& decoder = {}) {
  CSVReader reader = readerAtFirstRow("v\n\"" + field + "\"");
  return decoder.decode<Single<T>>(reader).value;
}

TEST(RowDecoder, DecodesARowByHeaderName) {
  CSVReader reader = readerAtFirstRow("name,age,email\nAnn,42,\nBob,7\nCid,x,c@d");
  const CSVRowDecoder decoder;
  EXPECT_EQ(decoder.decode<Person>(reader), (Person{"Ann", 42, std::nullopt}));
  reader.next();
  EXPECT_EQ(decoder.decode<Person>(reader), (Person{"Bob", 7, std::nullopt})) << "a short row reads as empty";
  reader.next();
  EXPECT_EQ(failure([&] { decoder.decode<Person>(reader); }),
            "typeMismatch|Expected to decode Int but found x instead.|1");
  reader.next();
  EXPECT_EQ(failure([&] { decoder.decode<Person>(reader); }),
            "keyNotFound|No value associated with key PersonKey(stringValue: \"name\", intValue: nil) (\"name\").|0")
      << "no current row";
}

TEST(RowDecoder, MissingAndEmptyFields) {
  const CSVRowDecoder decoder;
  CSVReader noEmail = readerAtFirstRow("name,age\nAnn,42");
  EXPECT_EQ(decoder.decode<Person>(noEmail), (Person{"Ann", 42, std::nullopt}));
  CSVReader emptyName = readerAtFirstRow("name,age\n,42");
  EXPECT_EQ(failure([&] { decoder.decode<Person>(emptyName); }),
            "valueNotFound|Expected String value but found null instead.|1");
  CSVReader noAge = readerAtFirstRow("name\nAnn");
  EXPECT_EQ(failure([&] { decoder.decode<Person>(noAge); }),
            "keyNotFound|No value associated with key PersonKey(stringValue: \"age\", intValue: nil) (\"age\").|0");
  CSVReader noHeader("Ann,42");
  noHeader.next();
  EXPECT_EQ(failure([&] { decoder.decode<Person>(noHeader); }).substr(0, 12), "keyNotFound|");
}

TEST(RowDecoder, ConvertsEachPrimitiveWhole) {
  EXPECT_TRUE(decodeField<bool>("true"));
  EXPECT_FALSE(decodeField<bool>("false"));
  EXPECT_EQ(failure([] { decodeField<bool>("TRUE"); }), "typeMismatch|Expected to decode Bool but found TRUE instead.|1");
  EXPECT_EQ(decodeField<std::string>(" a b "), " a b ");
  EXPECT_EQ(decodeField<std::int8_t>("-128"), -128);
  EXPECT_EQ(decodeField<std::int8_t>("+127"), 127);
  EXPECT_EQ(decodeField<std::int64_t>("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(decodeField<std::uint64_t>("18446744073709551615"), UINT64_MAX);
  EXPECT_EQ(decodeField<std::uint32_t>("-0"), 0u);
  EXPECT_EQ(decodeField<std::uint16_t>("007"), 7u);
  for (const char* bad : {" 42", "42 ", "128", "-129", "4 2", "+", "-", "1e2", "0x10", "++1"})
    EXPECT_EQ(failure([&] { decodeField<std::int8_t>(bad); }),
              std::string("typeMismatch|Expected to decode Int8 but found ") + bad + " instead.|1");
  EXPECT_EQ(failure([] { decodeField<std::uint8_t>("-1"); }), "typeMismatch|Expected to decode UInt8 but found -1 instead.|1");
  EXPECT_EQ(failure([] { decodeField<std::uint64_t>("18446744073709551616"); }).substr(0, 13), "typeMismatch|");
  EXPECT_EQ(failure([] { decodeField<std::int64_t>("9223372036854775808"); }).substr(0, 13), "typeMismatch|");

  EXPECT_EQ(decodeField<double>("1.5e3"), 1500.0);
  EXPECT_EQ(decodeField<double>("0x1p4"), 16.0);
  EXPECT_EQ(decodeField<double>("-inf"), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(decodeField<double>("nan")));
  EXPECT_EQ(decodeField<float>("+.25"), 0.25f);
  for (const char* bad : {" 1", "\t1", "1 ", "1,5", "1x", "."})
    EXPECT_EQ(failure([&] { decodeField<double>(bad); }),
              std::string("typeMismatch|Expected to decode Double but found ") + bad + " instead.|1");
  EXPECT_EQ(failure([] { decodeField<float>("1e"); }), "typeMismatch|Expected to decode Float but found 1e instead.|1");
}

TEST(RowDecoder, DatesByStrategy) {
  using DateDecoding = CSVRowDecoder::DateDecoding;
  CSVRowDecoder decoder;
  EXPECT_EQ(decodeField<platform::Date>("60.5", decoder).timeIntervalSinceReferenceDate, 60.5);
  EXPECT_EQ(failure([&] { decodeField<platform::Date>("soon", decoder); }),
            "typeMismatch|Expected to decode Double but found soon instead.|1");

  decoder.dateDecodingStrategy = DateDecoding::SecondsSince1970{};
  const platform::Date seconds = decodeField<platform::Date>("1.5", decoder);
  EXPECT_EQ(seconds.timeIntervalSince1970(), 1.5);
  EXPECT_EQ(failure([&] { decodeField<platform::Date>("1.5s", decoder); }),
            "typeMismatch|Expected to decode Double but found 1.5s instead.|1");
  decoder.dateDecodingStrategy = DateDecoding::MillisecondsSince1970{};
  EXPECT_EQ(decodeField<platform::Date>("1500", decoder), seconds);

  decoder.dateDecodingStrategy = DateDecoding::ISO8601{};
  EXPECT_EQ(decodeField<platform::Date>("2021-01-02T03:04:05Z", decoder).timeIntervalSince1970(), 1609556645.0);
  EXPECT_EQ(decodeField<platform::Date>("2021-01-02T05:04:05+02:00", decoder).timeIntervalSince1970(), 1609556645.0);
  EXPECT_EQ(decodeField<platform::Date>("0001-01-01T00:00:00Z", decoder).timeIntervalSince1970(), -62135596800.0);
  for (const char* bad : {"2021-01-02T03:04:05.5Z", "2021-01-02t03:04:05Z", "2021-01-02T03:04:05z", "0000-01-01T00:00:00Z",
                          "2021-02-30T03:04:05Z", "2021-01-02 03:04:05Z", "2021-01-02T03:04:05"})
    EXPECT_EQ(failure([&] { decodeField<platform::Date>(bad, decoder); }),
              "dataCorrupted|Expected date string to be ISO8601-formatted.|1")
        << bad;

  platform::DateFormatter::Configuration configuration;
  configuration.dateFormat = "dd.MM.yyyy";
  configuration.locale = platform::Locale("en_US_POSIX");
  configuration.timeZone = "GMT";
  decoder.dateDecodingStrategy = DateDecoding::Formatted{std::make_shared<platform::DateFormatter>(configuration)};
  EXPECT_EQ(decodeField<platform::Date>("02.01.2001", decoder).timeIntervalSinceReferenceDate, 86400.0);
  EXPECT_EQ(failure([&] { decodeField<platform::Date>("2001-01-02", decoder); }),
            "dataCorrupted|Date string does not match format expected by formatter.|1");

  decoder.dateDecodingStrategy = DateDecoding::Custom{[](const std::string& text) -> platform::Date {
    if (text == "now") return platform::Date{7};
    throw std::runtime_error("custom refused " + text);
  }};
  EXPECT_EQ(decodeField<platform::Date>("now", decoder).timeIntervalSinceReferenceDate, 7);
  EXPECT_THROW(decodeField<platform::Date>("later", decoder), std::runtime_error);
}

TEST(RowDecoder, BytesURLsDecimalsAndCustomStrategies) {
  CSVRowDecoder decoder;
  EXPECT_EQ(decodeField<platform::Data>("aGk=", decoder), platform::Data::fromString("hi"));
  for (const char* bad : {"aGk= ", "aG\nk=", "aGk", "a-k="})
    EXPECT_EQ(failure([&] { decodeField<platform::Data>(bad, decoder); }),
              "dataCorrupted|Encountered Data is not valid Base64.|1");
  decoder.dataDecodingStrategy = CSVRowDecoder::DataDecoding::Custom{
      [](const std::string& text) { return platform::Data::fromString(text + "!"); }};
  EXPECT_EQ(decodeField<platform::Data>("x", decoder), platform::Data::fromString("x!"));

  EXPECT_EQ(decodeField<platform::URL>("https://example.org/a?b").absoluteString(), "https://example.org/a?b");
  EXPECT_EQ(failure([] { decodeField<platform::URL>("http://a b"); }), "dataCorrupted|Invalid URL string.|1");
  EXPECT_EQ(decodeField<platform::Decimal>("-12.50").description(), "-12.5");
  for (const char* bad : {"12.5x", " 1", "1 ", "1,5"})
    EXPECT_EQ(failure([&] { decodeField<platform::Decimal>(bad); }), "dataCorrupted|Invalid Decimal string.|1");

  decoder.boolDecodingStrategy = CSVRowDecoder::BoolDecoding::Custom{[](const std::string& text) {
    if (text != "Y" && text != "N") throw std::invalid_argument(text);
    return text == "Y";
  }};
  EXPECT_TRUE(decodeField<bool>("Y", decoder));
  EXPECT_THROW(decodeField<bool>("true", decoder), std::invalid_argument);
}

enum class WideKey { first, second, third };
constexpr std::array<std::string_view, 3> codingKeyNames(WideKey) { return {"first", "second", "third"}; }

/// A column read by name, then another by position.
struct PositionKey {
  std::int64_t index;
  std::string text = std::to_string(index);
  std::string_view stringValue() const { return text; }
  std::optional<std::int64_t> intValue() const { return index; }
  static std::optional<PositionKey> fromString(std::string_view) { return std::nullopt; }
  static std::optional<PositionKey> fromInt(std::int64_t value) { return PositionKey{value}; }
};

struct Positions {
  std::string second;
  static Positions decode(Decoder& decoder) {
    auto byPosition = decoder.container<PositionKey>();
    EXPECT_TRUE(byPosition.contains(PositionKey{2}));
    EXPECT_FALSE(byPosition.contains(PositionKey{3}));
    EXPECT_FALSE(byPosition.contains(PositionKey{-1}));
    EXPECT_EQ(failure([&] { byPosition.decode<std::string>(PositionKey{3}); }),
              "keyNotFound|No value associated with key PositionKey(stringValue: \"3\", intValue: 3) (\"3\").|0");
    auto byName = decoder.container<WideKey>();
    EXPECT_EQ(byName.allKeys(), (std::vector<WideKey>{WideKey::third, WideKey::first}));
    EXPECT_TRUE(byName.contains(WideKey::third));
    EXPECT_FALSE(byName.contains(WideKey::second));
    return {byPosition.decode<std::string>(PositionKey{1})};
  }
};

enum class AccentKey { cafe };
constexpr std::array<std::string_view, 1> codingKeyNames(AccentKey) { return {"Caf\u00E9"}; }

struct Cafe {
  std::string state;
  static Cafe decode(Decoder& decoder) {
    auto c = decoder.container<AccentKey>();
    EXPECT_TRUE(c.contains(AccentKey::cafe));
    return {c.decode<std::string>(AccentKey::cafe)};
  }
};

TEST(RowDecoder, HeaderNamesMatchCanonicallyEquivalentKeys) {
  CSVReader reader = readerAtFirstRow("Cafe\u0301,plain\nopen,1");
  EXPECT_EQ(CSVRowDecoder().decode<Cafe>(reader).state, "open");
}

TEST(RowDecoder, KeysByPositionAndAllKeysInHeaderOrder) {
  CSVReader reader = readerAtFirstRow("third,other,first\na,b,c");
  EXPECT_EQ(CSVRowDecoder().decode<Positions>(reader).second, "b");
}

/// A property of a nested record type reads its own keys from the same row.
struct Contact {
  Person person;
  std::string city;
  enum class Key { person, city };
  friend constexpr std::array<std::string_view, 2> codingKeyNames(Key) { return {"person", "city"}; }
  static Contact decode(Decoder& decoder) {
    auto c = decoder.container<Key>();
    return {c.decode<Person>(Key::person), c.decode<std::string>(Key::city)};
  }
};

struct Refusals {
  enum class Key { tags };
  friend constexpr std::array<std::string_view, 1> codingKeyNames(Key) { return {"tags"}; }
  static Refusals decode(Decoder& decoder) {
    auto c = decoder.container<Key>();
    EXPECT_EQ(failure([&] { c.nestedContainer<Key>(Key::tags); }),
              "dataCorrupted|nestedContainer(...) CSV does not support nested values|0");
    EXPECT_EQ(failure([&] { c.nestedUnkeyedContainer(Key::tags); }),
              "dataCorrupted|nestedUnkeyedContainer(...) CSV does not support nested values|0");
    EXPECT_EQ(failure([&] { c.superDecoder(); }), "dataCorrupted|CSV does not support nested values|0");
    EXPECT_EQ(failure([&] { c.superDecoder(Key::tags); }), "dataCorrupted|CSV does not support nested values|0");
    EXPECT_EQ(failure([&] { c.decode<std::vector<std::string>>(Key::tags); }),
              "valueNotFound|Cannot get unkeyed decoding container -- found null value instead.|1");
    EXPECT_EQ(decoder.codingPath().size(), 0u) << "every failure takes its key off the path";
    return {};
  }
};

/// Decodes itself under its own key, ever deeper.
struct Endless {
  enum class Key { self };
  friend constexpr std::array<std::string_view, 1> codingKeyNames(Key) { return {"self"}; }
  static Endless decode(Decoder& decoder) { return decoder.container<Key>().decode<Endless>(Key::self); }
};

/// Reads its field through the single-value container.
struct Code {
  std::string text;
  static Code decode(Decoder& decoder) {
    auto value = decoder.singleValueContainer();
    if (value.decodeNil()) return {"nil"};
    return {value.decode<std::string>()};
  }
};

TEST(RowDecoder, NestingIsRefusedAndSingleValuesNeedARowField) {
  CSVReader contacts = readerAtFirstRow("name,age,person,city\nAnn,42,yes,Oslo\nAnn,42,,Oslo");
  const CSVRowDecoder decoder;
  const Contact contact = decoder.decode<Contact>(contacts);
  EXPECT_EQ(contact.person, (Person{"Ann", 42, std::nullopt}));
  EXPECT_EQ(contact.city, "Oslo");
  contacts.next();
  EXPECT_EQ(failure([&] { decoder.decode<Contact>(contacts); }),
            "valueNotFound|Expected Person value but found null instead.|1");

  CSVReader tags = readerAtFirstRow("tags\na;b");
  decoder.decode<Refusals>(tags);
  EXPECT_EQ(failure([&] { decoder.decode<std::int64_t>(tags); }),
            "dataCorrupted|CSV does not support decoding a single value outside of a row field.|0");
  EXPECT_EQ(failure([&] { decoder.decode<Code>(tags); }),
            "dataCorrupted|CSV does not support decoding a single value outside of a row field.|0");

  CSVReader endless = readerAtFirstRow("self\nx");
  EXPECT_EQ(failure([&] { decoder.decode<Endless>(endless); }), "dataCorrupted|CSV does not support nested values|64");
}

TEST(RowDecoder, CustomNilStrategyAndUserInfo) {
  CSVRowDecoder decoder;
  decoder.nilDecodingStrategy = CSVRowDecoder::NilDecoding::Custom{[](const std::string& text) { return text == "NULL"; }};
  EXPECT_EQ(decodeField<Code>("A7", decoder).text, "A7");
  EXPECT_EQ(failure([&] { decodeField<std::string>("NULL", decoder); }), "no failure") << "only decodeNil asks";
  CSVReader people = readerAtFirstRow("name,age,email\nAnn,1,NULL");
  EXPECT_EQ(decoder.decode<Person>(people).email, std::nullopt);

  struct Strict {
    static Strict decode(Decoder& decoder) {
      decoder.singleValueContainer().decode<std::string>();
      return {};
    }
  };
  EXPECT_EQ(failure([&] { decodeField<Strict>("NULL", decoder); }),
            "valueNotFound|Expected String but found null value instead.|1");
  decoder.nilDecodingStrategy = CSVRowDecoder::NilDecoding::Custom{[](const std::string&) { return false; }};
  EXPECT_EQ(failure([&] { decodeField<Strict>("", decoder); }),
            "valueNotFound|Expected Strict value but found null instead.|1");
  EXPECT_EQ(failure([&] { decodeField<std::int32_t>("", decoder); }),
            "valueNotFound|Expected Int32 value but found null instead.|1");

  struct Tagged {
    std::string tag;
    static Tagged decode(Decoder& decoder) {
      return {std::any_cast<std::string>(decoder.userInfo().at(platform::coding::CodingUserInfoKey{"tag"}))};
    }
  };
  decoder.userInfo[platform::coding::CodingUserInfoKey{"tag"}] = std::string("from caller");
  CSVReader any = readerAtFirstRow("v\nx");
  EXPECT_EQ(decoder.decode<Tagged>(any).tag, "from caller");
  EXPECT_FALSE(decoder.options().userInfo.empty());
}

}  // namespace
}  // namespace CSV
