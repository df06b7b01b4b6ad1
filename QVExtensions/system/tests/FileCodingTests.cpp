#include <gtest/gtest.h>

#include <fstream>

#include "QVExtensions/FileCoding.hpp"
#include "QVExtensions/PropertyListCoder.hpp"
#include "QVExtensions/TreeItem.hpp"
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

// The writer that does without recursion prints what the library's own printer does.
TEST(FileCoding, JSONIsWrittenAsTheLibraryPrintsIt) {
  const nlohmann::json documents[] = {
      nullptr,
      1.5,
      "Zoë \"quoted\"\n\u0001",
      nlohmann::json::object(),
      nlohmann::json::array(),
      nlohmann::json::parse(R"({"b":[1,{},[],[[2]],{"c":null}],"a":{"d":true,"e":-0.1,"f":"x"},"z":[]})"),
      nlohmann::json::parse(R"([[[[]]],{"k":{"k":{}}},"last"])"),
  };
  for (const nlohmann::json& document : documents)
    for (const int indent : {-1, 0, 2, 4}) {
      const JSONCoder coder{indent};
      EXPECT_EQ(coder.encode(document).view(), document.dump(indent)) << document.dump() << " indent " << indent;
    }
  // Text that is not UTF-8 fails as the library's printer does.
  EXPECT_THROW(JSONCoder{}.encode(nlohmann::json::object({{"k", "\xFF"}})), nlohmann::json::type_error);
}

// A tree at the deepest JSON coding accepts is written to a file and read back.
TEST(FileCoding, TheDeepestTreeItemMakesARoundTrip) {
  platform::TemporaryDirectory folder;
  const auto file = folder.path() / "tree.json";
  const auto root = TreeItem<int>::make(0);
  auto last = root;
  for (int level = 1; level < static_cast<int>(TreeItem<int>::maximumCodingDepth); ++level) {
    auto child = TreeItem<int>::make(level);
    last->add(child);
    last = child;
  }
  last->add(TreeItem<int>::make(-1));  // one level more is refused
  EXPECT_THROW(encodeToFile(JSONCoder{}, root, file), nlohmann::json::other_error);
  last->remove(last->children().front());
  encodeToFile(JSONCoder{}, root, file);
  const auto decoded = decodeFromFile<TreeItem<int>::Pointer>(JSONCoder{}, file);
  std::size_t levels = 1;
  for (auto node = decoded; !node->isLeaf(); node = node->children().front()) {
    ASSERT_EQ(node->children().size(), 1u);
    EXPECT_EQ(node->children().front()->object, static_cast<int>(levels));
    ++levels;
  }
  EXPECT_EQ(levels, TreeItem<int>::maximumCodingDepth);
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
