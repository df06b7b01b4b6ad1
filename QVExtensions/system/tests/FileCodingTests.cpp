#include <gtest/gtest.h>

#include <fstream>

#include "QVExtensions/FileCoding.hpp"
#include "QVExtensions/PropertyListCoder.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace sample {

struct Student {
  std::string name;
  int grade = 0;
  friend bool operator==(const Student&, const Student&) = default;
};
void to_json(nlohmann::json& json, const Student& student) {
  if (student.grade < 0) throw std::invalid_argument("a grade below zero");
  json = {{"name", student.name}, {"grade", student.grade}};
}
void from_json(const nlohmann::json& json, Student& student) {
  json.at("name").get_to(student.name);
  json.at("grade").get_to(student.grade);
}

}  // namespace sample

template <>
struct QVExtensions::PropertyListCodable<sample::Student> {
  static sample::Student decode(const platform::PropertyList& value) {
    const auto& entries = *value.dictionary();
    return {*entries.at("name").string(), static_cast<int>(*entries.at("grade").integer())};
  }
  static platform::PropertyList encode(const sample::Student& student) {
    return platform::PropertyList::Dictionary{{"name", student.name}, {"grade", student.grade}};
  }
};

namespace QVExtensions {
namespace {

using sample::Student;

TEST(FileCoding, JSONFilesRoundTripAndFailWithTheFirstError) {
  platform::TemporaryDirectory folder;
  const auto first = folder.path() / "first.json";
  const auto second = folder.path() / "second.json";
  encodeToFile(JSONCoder{}, Student{"Zoë", 7}, first);
  EXPECT_EQ(platform::readFile(first).view(), R"({"grade":7,"name":"Zoë"})");
  EXPECT_EQ(decodeFromFile<Student>(JSONCoder{}, first), (Student{"Zoë", 7}));

  try {
    decodeFromFiles<Student>(JSONCoder{}, {first, second});
    FAIL() << "decoded a missing file";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.code(), 260);
  }
  encodeToFile(JSONCoder{2}, Student{"Ann", 3}, second);
  EXPECT_EQ(decodeFromFiles<Student>(JSONCoder{}, {first, second}),
            (std::vector<Student>{{"Zoë", 7}, {"Ann", 3}}));

  std::ofstream(second) << R"({"name": "Ann"})";
  EXPECT_THROW(decodeFromFile<Student>(JSONCoder{}, second), nlohmann::json::exception);
  // A value that cannot be encoded leaves the file as it was.
  EXPECT_THROW(encodeToFile(JSONCoder{}, Student{"Bad", -1}, first), std::invalid_argument);
  EXPECT_EQ(decodeFromFile<Student>(JSONCoder{}, first), (Student{"Zoë", 7}));
}

TEST(FileCoding, ADeeplyNestedJSONDocumentIsDecodedWithoutRecursion) {
  platform::TemporaryDirectory folder;
  const auto file = folder.path() / "deep.json";
  constexpr std::size_t levels = 100'000;
  std::ofstream(file) << std::string(levels, '[') << std::string(levels, ']');
  const nlohmann::json decoded = decodeFromFile<nlohmann::json>(JSONCoder{}, file);
  EXPECT_TRUE(decoded.is_array());
}

TEST(FileCoding, PropertyListFilesInBothFormats) {
  platform::TemporaryDirectory folder;
  const auto file = folder.path() / "student.plist";
  for (const auto format : {PropertyListCoder::Format::xml, PropertyListCoder::Format::binary}) {
    const PropertyListCoder coder{format};
    encodeToFile(coder, Student{"Zoë", -7}, file);
    EXPECT_EQ(platform::readFile(file).view().starts_with("bplist00"), format == PropertyListCoder::Format::binary);
    // Either format reads back through the default coder.
    EXPECT_EQ(decodeFromFile<Student>(PropertyListCoder{}, file), (Student{"Zoë", -7}));
  }
  const platform::PropertyList mixed = platform::PropertyList::Dictionary{
      {"when", platform::Date{12.5}},
      {"bytes", platform::Data::fromString("\x01\x02")},
      {"list", platform::PropertyList::Array{true, 1.25, "text"}},
  };
  encodeToFile(PropertyListCoder{PropertyListCoder::Format::binary}, mixed, file);
  EXPECT_EQ(decodeFromFile<platform::PropertyList>(PropertyListCoder{}, file), mixed);

  std::ofstream(file) << "not a property list";
  EXPECT_THROW(decodeFromFile<platform::PropertyList>(PropertyListCoder{}, file), PropertyListCodingError);
  std::ofstream(file) << "bplist00 cut short";
  EXPECT_THROW(decodeFromFile<platform::PropertyList>(PropertyListCoder{}, file), PropertyListCodingError);
}

}  // namespace
}  // namespace QVExtensions
