#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <new>
#include <set>
#include <stdexcept>

#include "Defaults/AnySerializable.hpp"
#include "Defaults/Serializable.hpp"

namespace Defaults {
namespace {

enum class Mode { off, fast, careful };

}  // namespace

template <>
struct RawRepresentation<Mode> {
  using RawValue = std::string;
  static std::string rawValue(Mode mode) { return mode == Mode::off ? "off" : mode == Mode::fast ? "fast" : "careful"; }
  static std::optional<Mode> fromRaw(const std::string& raw) {
    for (Mode mode : {Mode::off, Mode::fast, Mode::careful})
      if (rawValue(mode) == raw) return mode;
    return std::nullopt;
  }
};
template <>
struct DefaultsSerializable<Mode> : RawRepresentableSerializable<Mode> {};

namespace {

// A collection kept in its own order, and a set-like type of modes.
struct Playlist {
  using value_type = std::string;
  explicit Playlist(std::vector<std::string> list) : songs(std::move(list)) {}
  auto begin() const { return songs.begin(); }
  auto end() const { return songs.end(); }
  std::vector<std::string> songs;
  bool operator==(const Playlist&) const = default;
};

struct Modes {
  using value_type = Mode;
  template <typename Iterator>
  Modes(Iterator first, Iterator last) : modes(first, last) {}
  std::vector<Mode> elementArray() const { return {modes.begin(), modes.end()}; }
  std::set<Mode> modes;
  bool operator==(const Modes&) const = default;
};

}  // namespace

template <>
struct DefaultsSerializable<Playlist> {
  using Bridge = CollectionBridge<Playlist>;
  static constexpr bool isStoredNatively = false;
};
template <>
struct DefaultsSerializable<Modes> {
  using Bridge = SetAlgebraBridge<Modes>;
  static constexpr bool isStoredNatively = false;
};

namespace {

TEST(JSONTextForm, SerializesTheValueAlone) {
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.serialize(42), "42");
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.serialize(-9223372036854775807 - 1), "-9223372036854775808");
  EXPECT_EQ(TopLevelCodableBridge<std::uint64_t>{}.serialize(UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(TopLevelCodableBridge<std::string>{}.serialize("abc"), "\"abc\"");
  EXPECT_EQ(TopLevelCodableBridge<std::string>{}.serialize("a/b \"q\" \n"), R"("a\/b \"q\" \n")");
  EXPECT_EQ(TopLevelCodableBridge<bool>{}.serialize(true), "true");
  EXPECT_EQ(TopLevelCodableBridge<double>{}.serialize(0.1), "0.1");
  EXPECT_EQ(TopLevelCodableBridge<float>{}.serialize(0.1f), "0.1");
  EXPECT_EQ(TopLevelCodableBridge<double>{}.serialize(1.0), "1");
  EXPECT_EQ(TopLevelCodableBridge<double>{}.serialize(-2.5e15), "-2500000000000000");
  EXPECT_EQ(TopLevelCodableBridge<double>{}.serialize(1e300), "1e+300");
  EXPECT_EQ(TopLevelCodableBridge<double>{}.deserialize("1"), 1.0);
  EXPECT_EQ(TopLevelCodableBridge<float>{}.deserialize("0.1"), 0.1f);
  EXPECT_EQ(TopLevelCodableBridge<platform::Data>{}.serialize(platform::Data::fromString("foo")), "\"Zm9v\"");
  EXPECT_EQ(TopLevelCodableBridge<platform::Date>{}.serialize(platform::Date{0.5}), "0.5");
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.serialize(std::nullopt), std::nullopt);
  EXPECT_EQ(RawRepresentableCodableBridge<Mode>{}.serialize(Mode::fast), "\"fast\"");
}

TEST(JSONTextForm, DeserializesOnlyTheValueAlone) {
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("42"), 42);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("[42]"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("1.0"), 1);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("1.5"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("\"1\""), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize(""), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize("1, \"x\""), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::int64_t>{}.deserialize(std::nullopt), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::uint8_t>{}.deserialize("255"), 255);
  EXPECT_EQ(TopLevelCodableBridge<std::uint8_t>{}.deserialize("256"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::uint8_t>{}.deserialize("-1"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<bool>{}.deserialize("true"), true);
  EXPECT_EQ(TopLevelCodableBridge<bool>{}.deserialize("1"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<std::string>{}.deserialize("\"abc\""), "abc");
  EXPECT_EQ(TopLevelCodableBridge<std::string>{}.deserialize("\"a\\/b\""), "a/b");
  EXPECT_EQ(TopLevelCodableBridge<std::string>{}.deserialize("abc"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<double>{}.deserialize("1e400"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<float>{}.deserialize("1e300"), std::nullopt);
  EXPECT_EQ(TopLevelCodableBridge<platform::Data>{}.deserialize("\"Zm9v\""), platform::Data::fromString("foo"));
  EXPECT_EQ(TopLevelCodableBridge<platform::Data>{}.deserialize("\"Zm9\""), std::nullopt);
  EXPECT_EQ(RawRepresentableCodableBridge<Mode>{}.deserialize("\"careful\""), Mode::careful);
  EXPECT_EQ(RawRepresentableCodableBridge<Mode>{}.deserialize("\"slow\""), std::nullopt);
}

TEST(JSONTextForm, EncodingErrorsPrintOneLine) {
  struct Case {
    std::function<std::optional<std::string>()> serialize;
    std::string line;
  };
  const Case cases[] = {
      {[] { return TopLevelCodableBridge<double>{}.serialize(std::nan("")); }, "Unable to encode nan directly in JSON.\n"},
      {[] { return TopLevelCodableBridge<float>{}.serialize(-HUGE_VALF); }, "Unable to encode -inf directly in JSON.\n"},
      {[] { return TopLevelCodableBridge<std::string>{}.serialize(std::string("\xff")); },
       "Unable to encode a text that is not valid UTF-8 in JSON.\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.serialize(), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
  }
  // Decoding errors stay silent.
  testing::internal::CaptureStdout();
  EXPECT_EQ(TopLevelCodableBridge<double>{}.deserialize("nope"), std::nullopt);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(StoredObjects, NativeTypesReadTheirObjectsAndTheirJSONText) {
  struct Case {
    Object stored;
    std::optional<std::int64_t> asInt;
    std::optional<bool> asBool;
    std::optional<double> asDouble;
    std::optional<std::string> asString;
  };
  const Case cases[] = {
      {Object(12), 12, std::nullopt, 12.0, std::nullopt},
      {Object(1), 1, true, 1.0, std::nullopt},
      {Object(0), 0, false, 0.0, std::nullopt},
      {Object(true), 1, true, 1.0, std::nullopt},
      {Object(2.0), 2, std::nullopt, 2.0, std::nullopt},
      {Object(2.5), std::nullopt, std::nullopt, 2.5, std::nullopt},
      {Object(1e19), std::nullopt, std::nullopt, 1e19, std::nullopt},
      {Object(UINT64_MAX), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {Object(std::int64_t{(1LL << 53) + 1}), (1LL << 53) + 1, std::nullopt, std::nullopt, std::nullopt},
      {Object("7"), 7, std::nullopt, 7.0, "7"},
      {Object("true"), std::nullopt, true, std::nullopt, "true"},
      {Object("false"), std::nullopt, false, std::nullopt, "false"},
      {Object("abc"), std::nullopt, std::nullopt, std::nullopt, "abc"},
      {Object("\"abc\""), std::nullopt, std::nullopt, std::nullopt, "\"abc\""},
      {Object("[42]"), std::nullopt, std::nullopt, std::nullopt, "[42]"},
      {Object(platform::Data::fromString("7")), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {Object(Object::Array{Object(1)}), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fromPropertyListObject<std::int64_t>(c.stored), c.asInt) << c.stored.description();
    EXPECT_EQ(fromPropertyListObject<bool>(c.stored), c.asBool) << c.stored.description();
    EXPECT_EQ(fromPropertyListObject<double>(c.stored), c.asDouble) << c.stored.description();
    EXPECT_EQ(fromPropertyListObject<std::string>(c.stored), c.asString) << c.stored.description();
  }
  EXPECT_EQ(fromPropertyListObject<std::int8_t>(Object(128)), std::nullopt);
  EXPECT_EQ(fromPropertyListObject<std::uint64_t>(Object(UINT64_MAX)), UINT64_MAX);
  EXPECT_EQ(fromPropertyListObject<std::uint32_t>(Object(-1)), std::nullopt);
  EXPECT_EQ(toPropertyListObject(std::uint64_t{UINT64_MAX}), Object(UINT64_MAX));
  EXPECT_EQ(toPropertyListObject(std::string("x")), Object("x"));
}

TEST(StoredObjects, CollectionsThroughTheirBridges) {
  const std::string a = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
  const std::string b = "00000000-0000-0000-0000-000000000001";
  const platform::UUID uuidA = *platform::UUID::fromString(a);
  const platform::UUID uuidB = *platform::UUID::fromString(b);

  // Arrays of natively stored elements are stored as they are, and read strictly.
  EXPECT_EQ(toPropertyListObject(std::vector<std::int64_t>{1, 2}), Object(Object::Array{Object(1), Object(2)}));
  EXPECT_EQ(fromPropertyListObject<std::vector<std::int64_t>>(Object(Object::Array{Object(1), Object("2")})),
            std::nullopt);  // not all numbers, and not all JSON texts either
  EXPECT_EQ(fromPropertyListObject<std::vector<std::int64_t>>(Object(Object::Array{Object("1"), Object("x")})),
            (std::vector<std::int64_t>{1}));

  // Bridged elements: stored forms in order; a wrong stored form fails the whole array, a bad value only itself.
  EXPECT_EQ(toPropertyListObject(std::vector<platform::UUID>{uuidA, uuidB}),
            Object(Object::Array{Object(a), Object(b)}));
  EXPECT_EQ(fromPropertyListObject<std::vector<platform::UUID>>(Object(Object::Array{Object(a), Object("bad"), Object(b)})),
            (std::vector<platform::UUID>{uuidA, uuidB}));
  EXPECT_EQ(fromPropertyListObject<std::vector<platform::UUID>>(Object(Object::Array{Object(a), Object(5)})), std::nullopt);

  // Empty elements are dropped rather than stored.
  EXPECT_EQ(toPropertyListObject(std::vector<AnySerializable>{AnySerializable(1), AnySerializable(), AnySerializable("x")}),
            Object(Object::Array{Object(1), Object("x")}));
  EXPECT_EQ(toPropertyListObject(std::vector<std::optional<std::int64_t>>{1, std::nullopt, 3}),
            Object(Object::Array{Object(1), Object(3)}));

  // Sets are arrays; repeats collapse on reading.
  EXPECT_EQ(toPropertyListObject(std::set<std::int64_t>{3, 1}), Object(Object::Array{Object(1), Object(3)}));
  EXPECT_EQ(fromPropertyListObject<std::set<std::int64_t>>(Object(Object::Array{Object(2), Object(2), Object(1)})),
            (std::set<std::int64_t>{1, 2}));
  EXPECT_EQ(fromPropertyListObject<std::set<std::int64_t>>(Object(Object::Array{Object(2), Object("x")})), std::nullopt);
  EXPECT_EQ(fromPropertyListObject<std::set<platform::UUID>>(Object(Object::Array{Object(b), Object("no")})),
            (std::set<platform::UUID>{uuidB}));

  // Dictionaries: keys by their text; non-text keys always through the bridge, so values become their stored forms.
  EXPECT_EQ(toPropertyListObject(std::map<std::string, std::int64_t>{{"a", 1}}),
            Object(Object::Dictionary{{"a", Object(1)}}));
  EXPECT_EQ(toPropertyListObject(std::map<int, platform::UUID>{{-3, uuidA}, {10, uuidB}}),
            Object(Object::Dictionary{{"-3", Object(a)}, {"10", Object(b)}}));
  EXPECT_EQ(toPropertyListObject(std::map<int, std::int64_t>{{1, 5}}), Object(Object::Dictionary{{"1", Object("5")}}));
  using UUIDsByNumber = std::map<int, platform::UUID>;
  EXPECT_EQ(fromPropertyListObject<UUIDsByNumber>(
                Object(Object::Dictionary{{"7", Object(a)}, {"x", Object(b)}, {"08", Object(b)}, {"9", Object("no")}})),
            (UUIDsByNumber{{7, uuidA}, {8, uuidB}}));
  EXPECT_EQ(fromPropertyListObject<UUIDsByNumber>(Object(Object::Dictionary{{"7", Object(1)}})), std::nullopt);

  // Collections of one's own: natively stored elements as they are, bridged ones as their stored forms.
  EXPECT_EQ(toPropertyListObject(Playlist({"b", "a", "b"})), Object(Object::Array{Object("b"), Object("a"), Object("b")}));
  EXPECT_EQ(fromPropertyListObject<Playlist>(Object(Object::Array{Object("z"), Object("y")})), Playlist({"z", "y"}));
  std::vector<Mode> modes{Mode::careful, Mode::off, Mode::careful};
  EXPECT_EQ(toPropertyListObject(Modes(modes.begin(), modes.end())), Object(Object::Array{Object("off"), Object("careful")}));
  std::vector<Mode> read{Mode::fast};
  EXPECT_EQ(fromPropertyListObject<Modes>(Object(Object::Array{Object("fast"), Object("slow"), Object("fast")})),
            Modes(read.begin(), read.end()));
  EXPECT_EQ(fromPropertyListObject<Modes>(Object(Object::Array{Object("fast"), Object(1)})), std::nullopt);

  // Raw values and UUIDs.
  EXPECT_EQ(toPropertyListObject(Mode::careful), Object("careful"));
  EXPECT_EQ(fromPropertyListObject<Mode>(Object("off")), Mode::off);
  EXPECT_EQ(fromPropertyListObject<Mode>(Object("slow")), std::nullopt);
  EXPECT_EQ(fromPropertyListObject<platform::UUID>(Object("not a uuid")), std::nullopt);
  EXPECT_EQ(fromPropertyListObject<platform::UUID>(Object(a)), uuidA);
}

// Values whose reading runs out of memory partway, one for each kind of bridge that reads stored bytes:
// with Failure 0 as std::bad_alloc, with 1 as std::length_error.
template <int Failure>
[[noreturn]] void runOutOfMemory() {
  if constexpr (Failure == 0)
    throw std::bad_alloc();
  else
    throw std::length_error("vector::reserve");
}

template <int Failure>
struct Archived {
  static constexpr std::string_view archiveClassName = "Archived";
  platform::KeyedArchive::Object archiveObject() const { return {std::string(archiveClassName), {}}; }
  static std::optional<Archived> fromArchiveObject(const platform::KeyedArchive::Object&) { runOutOfMemory<Failure>(); }
};
template <int Failure>
struct Coded {};
template <int Failure>
struct Raw {};

}  // namespace

template <int Failure>
struct DefaultsSerializable<Archived<Failure>> {
  using Bridge = NSSecureCodingBridge<Archived<Failure>>;
  static constexpr bool isStoredNatively = false;
};
template <int Failure>
struct JSONCoding<Coded<Failure>> {
  static JSON encode(const Coded<Failure>&) { return JSON::object(); }
  static std::optional<Coded<Failure>> decode(const JSON&) { runOutOfMemory<Failure>(); }
};
template <int Failure>
struct DefaultsSerializable<Coded<Failure>> {
  using Bridge = TopLevelCodableBridge<Coded<Failure>>;
  static constexpr bool isStoredNatively = false;
};
template <int Failure>
struct RawRepresentation<Raw<Failure>> {
  using RawValue = std::string;
  static std::string rawValue(const Raw<Failure>&) { return "raw"; }
  static std::optional<Raw<Failure>> fromRaw(const std::string&) { runOutOfMemory<Failure>(); }
};
template <int Failure>
struct DefaultsSerializable<Raw<Failure>> : RawRepresentableSerializable<Raw<Failure>> {};

namespace {

template <int Failure>
void expectAbsentWhenReadingRunsOutOfMemory() {
  SCOPED_TRACE(Failure == 0 ? "bad_alloc" : "length_error");
  const platform::Data archive = platform::KeyedArchive::archive(Archived<Failure>{}.archiveObject());
  const std::string unreadable = platform::KeyedArchive::corruptArchive().description() + "\n";
  struct Case {
    const char* name;
    std::function<bool()> readsAbsent;
    std::string output;  // the bridge's line for a value it cannot read
  };
  const Case cases[] = {
      {"archive", [&] { return !fromPropertyListObject<Archived<Failure>>(Object(archive)); }, unreadable},
      {"archive bridge", [&] { return !NSSecureCodingBridge<Archived<Failure>>{}.deserialize(archive); }, unreadable},
      {"JSON text", [] { return !fromPropertyListObject<Coded<Failure>>(Object("{}")); }, ""},
      {"JSON text bridge", [] { return !TopLevelCodableBridge<Coded<Failure>>{}.deserialize("{}"); }, ""},
      {"raw value", [] { return !fromPropertyListObject<Raw<Failure>>(Object("raw")); }, ""},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    bool absent = false;
    try {
      absent = c.readsAbsent();
    } catch (const std::exception& error) {
      ADD_FAILURE() << c.name << ": " << error.what() << " escaped";
    }
    EXPECT_TRUE(absent) << c.name;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output) << c.name;
  }
}

TEST(StoredObjects, ValueThatRunsOutOfMemoryReadsAsAbsent) {
  expectAbsentWhenReadingRunsOutOfMemory<0>();
  expectAbsentWhenReadingRunsOutOfMemory<1>();
}

TEST(AnySerializable, WrapsPropertyListValuesOnly) {
  EXPECT_TRUE(AnySerializable().isNil());
  EXPECT_TRUE(AnySerializable(std::nullopt).isNil());
  EXPECT_TRUE(AnySerializable(std::optional<std::int64_t>()).isNil());
  EXPECT_FALSE(AnySerializable(std::optional<std::int64_t>(0)).isNil());
  EXPECT_EQ(AnySerializable("text").value(), Object("text"));
  EXPECT_TRUE(AnySerializable(nullptr).isNil());
  EXPECT_TRUE(AnySerializable(static_cast<const char*>(nullptr)).isNil());
  EXPECT_EQ(AnySerializable('a').value(), Object("a"));

  struct Case {
    AnySerializable a, b;
    bool equal;
  };
  const Case cases[] = {
      {AnySerializable(1), AnySerializable(1.0), false},
      {AnySerializable(1), AnySerializable(true), false},
      {AnySerializable(1), AnySerializable(std::uint64_t{1}), true},
      {AnySerializable("a"), AnySerializable("a"), true},
      {AnySerializable(Object::Array{Object(1), Object("x")}), AnySerializable(Object::Array{Object(1), Object("x")}), true},
      {AnySerializable(Object::Array{Object(1)}), AnySerializable(Object::Array{Object(1.0)}), false},
      {AnySerializable(Object::Dictionary{{"k", Object(2)}}), AnySerializable(Object::Dictionary{{"k", Object(2)}}), true},
      {AnySerializable(), AnySerializable(), false},
      {AnySerializable(), AnySerializable(0), false},
  };
  std::hash<AnySerializable> hash;
  for (const Case& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << (c.a.value() ? c.a.value()->description() : "nil");
    if (c.equal) {
      EXPECT_EQ(hash(c.a), hash(c.b));
    }
  }
  EXPECT_EQ(hash(AnySerializable()), hash(AnySerializable()));

  EXPECT_EQ(toPropertyListObject(AnySerializable(Object::Array{Object(1)})), Object(Object::Array{Object(1)}));
  EXPECT_EQ(toPropertyListObject(AnySerializable()), std::nullopt);
  auto read = fromPropertyListObject<AnySerializable>(Object(2.5));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->value(), Object(2.5));
}

}  // namespace
}  // namespace Defaults
