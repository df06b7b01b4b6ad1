#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "Defaults/ApplicationKeys.hpp"
#include "Defaults/Key.hpp"
#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace Defaults {
namespace {

using platform::UserDefaults;

// The standard suite outlives any one test (the application's keys hold it), so the
// whole test program keeps its settings in one temporary folder.
class ConfigHomeEnvironment : public testing::Environment {
 public:
  void SetUp() override { home_ = std::make_unique<platform::TemporaryConfigHome>(); }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<platform::TemporaryConfigHome> home_;
};
const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new ConfigHomeEnvironment);

class KeyTest : public testing::Test {
 protected:
  void SetUp() override {
    suite = UserDefaults::suite(testing::UnitTest::GetInstance()->current_test_info()->name());
    removeAll(*suite);
  }
  Suite suite;
};

TEST_F(KeyTest, ApplicationKeysOnAnEmptyDatabase) {
  auto standard = UserDefaults::standardUserDefaults();
  removeAll(*standard);
  EXPECT_FALSE(standard->boolForKey("AllowFolderCountLogging"));  // nothing registered yet

  const auto& logging = Pelmora_Zava::allowFolderCountLoggingKey();
  const auto& count = Pelmora_Zava::foldersCreatedCountKey();
  EXPECT_EQ(&logging, &Pelmora_Zava::allowFolderCountLoggingKey());
  EXPECT_EQ(logging.suite(), standard);
  EXPECT_EQ(get(count), 0);
  EXPECT_TRUE(get(logging));
  EXPECT_TRUE(standard->boolForKey("AllowFolderCountLogging"));

  set(logging, false);
  EXPECT_FALSE(standard->boolForKey("AllowFolderCountLogging"));
  logging.reset();
  EXPECT_TRUE(standard->boolForKey("AllowFolderCountLogging"));

  // The usage report reads, adds and writes.
  set(count, get(count) + 12);
  EXPECT_EQ(standard->objectForKey("FoldersCreatedCount"), Object(12));
  EXPECT_EQ(get(count), 12);
  std::ifstream file(standard->path());
  auto stored = platform::PropertyListXML::read(std::string(std::istreambuf_iterator<char>(file), {}));
  EXPECT_EQ(stored, Object(Object::Dictionary{{"FoldersCreatedCount", Object(12)}}));
}

TEST_F(KeyTest, ReadsConvertOrFallBackToTheDefault) {
  Key<std::int64_t> count("Count", 0, suite);
  struct Case {
    std::optional<Object> stored;
    std::int64_t read;
  };
  const Case cases[] = {
      {Object(12), 12},        {Object("7"), 7},        {Object("seven"), 0}, {Object(7.0), 7},
      {Object(7.5), 0},        {Object(true), 1},       {Object("[7]"), 0},   {Object(Object::Array{Object(7)}), 0},
      {Object(UINT64_MAX), 0}, {std::nullopt, 0},
  };
  for (const Case& c : cases) {
    suite->setObject(c.stored, "Count");
    EXPECT_EQ(get(count), c.read) << (c.stored ? c.stored->description() : "nothing");
  }

  // A registered default is read back (converted) while the user has stored nothing.
  Key<std::int64_t> registered("Registered", 5, suite);
  suite->registerDefaults({{"Registered", Object("6")}});
  EXPECT_EQ(get(registered), 6);
  suite->registerDefaults({{"Registered", Object("x")}});
  EXPECT_EQ(get(registered), 5);
}

TEST_F(KeyTest, WritesStoreConvertedValuesOrRemove) {
  Key<std::int64_t> count("Count", 3, suite);
  set(count, 12);
  EXPECT_EQ(suite->objectForKey("Count"), Object(12));
  count.reset();
  EXPECT_EQ(suite->dictionaryRepresentation().at("Count"), Object(3));
  EXPECT_EQ(get(count), 3);

  // An optional key with a default: none removes the entry, and the registered default reads again.
  Key<std::optional<std::string>> name("Name", std::optional<std::string>("anon"), suite);
  set(name, std::optional<std::string>("Ada"));
  EXPECT_EQ(suite->objectForKey("Name"), Object("Ada"));
  set(name, std::nullopt);
  EXPECT_EQ(get(name), "anon");

  // An optional key without a default registers nothing.
  Key<std::optional<std::int64_t>> maybe("Maybe", suite);
  EXPECT_EQ(suite->objectForKey("Maybe"), std::nullopt);
  EXPECT_EQ(get(maybe), std::nullopt);
  set(maybe, std::optional<std::int64_t>(4));
  EXPECT_EQ(get(maybe), 4);

  // A value without a stored form removes the entry.
  Key<AnySerializable> any("Any", AnySerializable(1), suite);
  set(any, AnySerializable("x"));
  EXPECT_EQ(suite->objectForKey("Any"), Object("x"));
  set(any, AnySerializable());
  EXPECT_EQ(suite->objectForKey("Any"), Object(1));
  Key<std::map<int, double>> ratios("Ratios", {}, suite);
  testing::internal::CaptureStdout();
  set(ratios, {{1, std::nan("")}, {2, 0.5}});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to encode nan directly in JSON.\n");
  EXPECT_EQ(suite->objectForKey("Ratios"), Object(Object::Dictionary{{"2", Object("0.5")}}));
  EXPECT_EQ(get(ratios), (std::map<int, double>{{2, 0.5}}));

  // A location is stored as text, not natively; an empty optional removes the entry.
  Key<std::optional<std::filesystem::path>> folder("Folder", suite);
  set(folder, std::optional<std::filesystem::path>("/tmp/a b/"));
  EXPECT_EQ(suite->objectForKey("Folder"), Object(R"("file:\/\/\/tmp\/a%20b\/")"));
  EXPECT_EQ(get(folder), std::filesystem::path("/tmp/a b/"));
  set(folder, std::nullopt);
  EXPECT_EQ(suite->objectForKey("Folder"), std::nullopt);
  Key<std::map<int, std::filesystem::path>> recent("Recent", {}, suite);
  suite->setObject(Object(Object::Dictionary{{"1", Object(R"("file:\/\/\/x")")}, {"one", Object(R"("file:\/\/\/y")")}}),
                   "Recent");
  EXPECT_EQ(get(recent), (std::map<int, std::filesystem::path>{{1, "/x"}}));

  // A default without a stored form is not registered.
  Key<AnySerializable> empty("Empty", AnySerializable(), suite);
  EXPECT_EQ(suite->objectForKey("Empty"), std::nullopt);
  EXPECT_TRUE(get(empty).isNil());
}

TEST_F(KeyTest, ValueTooDeepForTheFileRemovesOnlyItsEntry) {
  Key<bool> reporting("AllowReporting", true, suite);
  Key<AnySerializable> nested("Nested", AnySerializable("none"), suite);
  set(reporting, false);
  set(nested, AnySerializable("shallow"));
  Object deep(Object::Array{});
  for (int level = 1; level < 520; ++level) {
    Object::Array outer;
    outer.push_back(std::move(deep));
    deep = Object(std::move(outer));
  }
  platform::CapturedLog log;
  set(nested, AnySerializable(std::move(deep)));
  EXPECT_EQ(get(nested), AnySerializable("none"));
  EXPECT_EQ(log.lines().size(), 1u);
  set(Key<std::int64_t>("Count", 0, suite), 1);

  std::ifstream file(suite->path());
  auto stored = platform::PropertyListXML::read(std::string(std::istreambuf_iterator<char>(file), {}));
  EXPECT_EQ(stored, Object(Object::Dictionary{{"AllowReporting", Object(false)}, {"Count", Object(1)}}));
  EXPECT_FALSE(get(reporting));
}

TEST_F(KeyTest, ModifyWritesBackAlsoOnError) {
  Key<std::vector<std::string>> names("Names", {"a"}, suite);
  modify(names, [](std::vector<std::string>& value) { value.push_back("b"); });
  EXPECT_EQ(get(names), (std::vector<std::string>{"a", "b"}));
  EXPECT_THROW(modify(names,
                      [](std::vector<std::string>& value) {
                        value.push_back("c");
                        throw std::runtime_error("stop");
                      }),
               std::runtime_error);
  EXPECT_EQ(get(names), (std::vector<std::string>{"a", "b", "c"}));

  // The suite forms act on the suite given, not the key's own.
  auto other = UserDefaults::suite("ModifyWritesBackAlsoOnError.other");
  removeAll(*other);
  set(*other, names, {"x"});
  modify(*other, names, [](std::vector<std::string>& value) { value.push_back("y"); });
  EXPECT_EQ(get(*other, names), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(get(names), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(KeyTest, ResetAndRemoveAll) {
  Key<std::int64_t> a("A", 1, suite), b("B", 2, suite);
  set(a, 10);
  set(b, 20);
  suite->setObject(Object("loose"), "Loose");
  reset({"A", "Missing"}, *suite);
  EXPECT_EQ(get(a), 1);
  EXPECT_EQ(get(b), 20);
  set(a, 10);
  reset({std::cref<AnyKey>(a), std::cref<AnyKey>(b)});
  EXPECT_EQ(get(a), 1);
  EXPECT_EQ(get(b), 2);

  set(a, 10);
  removeAll(*suite);
  EXPECT_EQ(suite->objectForKey("Loose"), std::nullopt);
  EXPECT_EQ(get(a), 1);
  EXPECT_EQ(suite->dictionaryRepresentation(), (Object::Dictionary{{"A", Object(1)}, {"B", Object(2)}}));
}

TEST_F(KeyTest, MigrationTurnsJSONTextIntoStoredForms) {
  Key<std::vector<std::int64_t>> numbers("Numbers", {}, suite);
  Key<std::vector<std::int64_t>> broken("Broken", {}, suite);
  Key<std::vector<std::int64_t>> absent("Absent", {}, suite);
  Key<std::vector<std::int64_t>> native("Native", {}, suite);
  suite->setObject(Object("[1, 2]"), "Numbers");
  suite->setObject(Object("[1, \"x\"]"), "Broken");
  suite->setObject(Object(Object::Array{Object(3)}), "Native");
  migrate<std::vector<std::int64_t>>({numbers, broken, absent, native}, Version::v5);
  EXPECT_EQ(suite->objectForKey("Numbers"), Object(Object::Array{Object(1), Object(2)}));
  EXPECT_EQ(suite->objectForKey("Broken"), Object("[1, \"x\"]"));
  EXPECT_EQ(suite->objectForKey("Absent"), Object(Object::Array{}));
  EXPECT_EQ(suite->objectForKey("Native"), Object(Object::Array{Object(3)}));

  Key<std::map<std::string, bool>> flags("Flags", {}, suite);
  suite->setObject(Object("{\"a\": true}"), "Flags");
  migrate<std::map<std::string, bool>>({flags}, Version::v5);
  EXPECT_EQ(suite->objectForKey("Flags"), Object(Object::Dictionary{{"a", Object(true)}}));

  EXPECT_EQ(versionFromRaw(5), Version::v5);
  EXPECT_EQ(versionFromRaw(4), std::nullopt);
}

}  // namespace
}  // namespace Defaults
