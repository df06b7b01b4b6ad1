// The bridge a type gets when it names none, through a key: what is stored, and what reads back. That a
// bridge of the type's own wins shows in the bridge tests' Mode, stored as its bare raw value.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "Defaults/Key.hpp"
#include "TestSuite.hpp"

namespace Defaults {
namespace {

enum class Weekday : std::int64_t { monday = 1, tuesday = 2 };
enum class Size : std::int64_t { small = 10, large = 20 };  // prefers its raw value

// Archives as one object of its class and codes as a JSON object; the second prefers the archive.
template <int Kind>
struct Tool {
  static constexpr std::string_view archiveClassName = Kind == 0 ? "Pen" : "Brush";
  std::string name;
  std::int64_t width = 0;

  platform::KeyedArchive::Object archiveObject() const {
    return {std::string(archiveClassName), {{"name", name}, {"width", width}}};
  }
  static std::optional<Tool> fromArchiveObject(const platform::KeyedArchive::Object& object) {
    auto name = object.fields.find("name");
    auto width = object.fields.find("width");
    if (name == object.fields.end() || width == object.fields.end()) return std::nullopt;
    const auto* text = std::get_if<std::string>(&name->second);
    const auto* number = std::get_if<std::int64_t>(&width->second);
    if (!text || !number) return std::nullopt;
    return Tool{*text, *number};
  }
  bool operator==(const Tool&) const = default;
};
using Pen = Tool<0>;
using Brush = Tool<1>;

template <typename E>
struct EnumRawValue {
  using RawValue = std::int64_t;
  static std::int64_t rawValue(E value) { return static_cast<std::int64_t>(value); }
  static std::optional<E> fromRaw(std::int64_t raw, std::initializer_list<E> all) {
    for (E value : all)
      if (rawValue(value) == raw) return value;
    return std::nullopt;
  }
};

}  // namespace

template <>
struct RawRepresentation<Weekday> : EnumRawValue<Weekday> {
  static std::optional<Weekday> fromRaw(std::int64_t raw) {
    return EnumRawValue::fromRaw(raw, {Weekday::monday, Weekday::tuesday});
  }
};
template <>
struct RawRepresentation<Size> : EnumRawValue<Size> {
  static std::optional<Size> fromRaw(std::int64_t raw) {
    return EnumRawValue::fromRaw(raw, {Size::small, Size::large});
  }
};
template <>
struct DefaultsPreferRawRepresentable<Size> : std::true_type {};
template <>
struct DefaultsPreferNSSecureCoding<Brush> : std::true_type {};

template <int Kind>
struct JSONCoding<Tool<Kind>> {
  static JSON encode(const Tool<Kind>& tool) { return JSON{{"name", tool.name}, {"width", tool.width}}; }
  static std::optional<Tool<Kind>> decode(const JSON& json) {
    if (!json.is_object() || !json.contains("name") || !json.contains("width") || !json["name"].is_string() ||
        !json["width"].is_number_integer())
      return std::nullopt;
    return Tool<Kind>{json["name"].get<std::string>(), json["width"].get<std::int64_t>()};
  }
};

namespace {

class DefaultBridgeTest : public testing_support::SuiteTest {
 protected:
  template <typename T>
  void expectStored(const std::string& name, const T& fallback, const T& value, const Object& stored) {
    SCOPED_TRACE(name);
    Key<T> key(name, fallback, suite);
    set(key, value);
    EXPECT_EQ(suite->objectForKey(name), stored);
    EXPECT_EQ(get(key), value);
    suite->setObject(Object("garbage"), name);
    EXPECT_EQ(get(key), fallback);
  }
};

TEST_F(DefaultBridgeTest, TypeWithoutABridgeOfItsOwnIsStoredByItsKindAndMarkers) {
  expectStored("weekday", Weekday::monday, Weekday::tuesday, Object("2"));
  expectStored("size", Size::small, Size::large, Object(20));
  expectStored("pen", Pen{"fine", 1}, Pen{"broad", 3}, Object(R"({"name":"broad","width":3})"));
  expectStored("brush", Brush{"flat", 2}, Brush{"round", 8},
               Object(platform::KeyedArchive::archive(Brush{"round", 8}.archiveObject())));
}

TEST_F(DefaultBridgeTest, ArchivedTypeReportsOnlyArchivesItCannotRead) {
  const platform::Data penArchive = platform::KeyedArchive::archive(Pen{"fine", 1}.archiveObject());
  struct Case {
    Object stored;
    std::string output;  // what reading prints
  };
  const Case cases[] = {
      {Object(penArchive), ""},  // another class: a failed cast
      {Object(platform::Data::fromString(std::string(penArchive.view().substr(0, 50)))),
       "The data couldn’t be read because it isn’t in the correct format.\n"},
  };
  Key<Brush> key("brush", Brush{"flat", 2}, suite);
  for (const Case& c : cases) {
    suite->setObject(c.stored, "brush");
    testing::internal::CaptureStdout();
    EXPECT_EQ(get(key), (Brush{"flat", 2}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
  }
}

}  // namespace
}  // namespace Defaults
