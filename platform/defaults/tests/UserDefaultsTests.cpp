#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(UserDefaults, CastsOfBoolAndStringLookups) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("casts");
  struct Case {
    PropertyList stored;
    bool asBool;
    std::optional<std::string> asString;
  };
  const Case cases[] = {
      {PropertyList(true), true, "1"},
      {PropertyList(false), false, "0"},
      {PropertyList(0), false, "0"},
      {PropertyList(-3), true, "-3"},
      {PropertyList(UINT64_MAX), true, "18446744073709551615"},
      {PropertyList(0.0), false, "0"},
      {PropertyList(0.25), true, "0.25"},
      {PropertyList(2.0), true, "2"},
      {PropertyList("YES"), true, "YES"},
      {PropertyList("true"), true, "true"},
      {PropertyList("TRUE"), true, "TRUE"},
      {PropertyList("no"), false, "no"},
      {PropertyList("false"), false, "false"},
      {PropertyList(" 12abc"), true, " 12abc"},
      {PropertyList("-1"), true, "-1"},
      {PropertyList("000"), false, "000"},
      {PropertyList("abc"), false, "abc"},
      {PropertyList(""), false, ""},
      {PropertyList(Data::fromString("1")), false, std::nullopt},
      {PropertyList(Date{1}), false, std::nullopt},
      {PropertyList(PropertyList::Array{PropertyList(true)}), false, std::nullopt},
      {PropertyList(PropertyList::Dictionary{}), false, std::nullopt},
  };
  for (const Case& c : cases) {
    suite->setObject(c.stored, "key");
    EXPECT_EQ(suite->boolForKey("key"), c.asBool) << c.stored.description();
    EXPECT_EQ(suite->stringForKey("key"), c.asString) << c.stored.description();
  }
  EXPECT_FALSE(suite->boolForKey("missing"));
  EXPECT_EQ(suite->stringForKey("missing"), std::nullopt);
}

TEST(UserDefaults, UserValuesBeforeRegisteredOnes) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("domains");
  suite->registerDefaults({{"a", PropertyList(1)}, {"b", PropertyList(2)}});
  suite->registerDefaults({{"b", PropertyList(3)}});
  suite->setObject(PropertyList(10), "a");
  EXPECT_EQ(suite->objectForKey("a"), PropertyList(10));
  EXPECT_EQ(suite->objectForKey("b"), PropertyList(3));
  EXPECT_EQ(suite->dictionaryRepresentation(),
            (PropertyList::Dictionary{{"a", PropertyList(10)}, {"b", PropertyList(3)}}));
  suite->setObject(std::nullopt, "a");
  EXPECT_EQ(suite->objectForKey("a"), PropertyList(1));
  suite->setObject(PropertyList(11), "a");
  suite->removeObject("a");
  EXPECT_EQ(suite->objectForKey("a"), PropertyList(1));
  // Registered values never reach the file.
  auto stored = PropertyListXML::read(fileText(suite->path()));
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, PropertyList(PropertyList::Dictionary{}));
}

TEST(UserDefaults, SuitesByNameAndTheirFiles) {
  TemporaryConfigHome home;
  auto first = UserDefaults::suite("group.example");
  EXPECT_EQ(UserDefaults::suite("group.example"), first);
  EXPECT_NE(UserDefaults::suite("other"), first);
  EXPECT_EQ(UserDefaults::suite(UserDefaults::standardSuiteName), UserDefaults::standardUserDefaults());
  for (const char* bad : {"", ".", "..", "a/b", "../escape"}) EXPECT_EQ(UserDefaults::suite(bad), nullptr) << bad;
  EXPECT_EQ(UserDefaults::suite(std::string_view("a\0b", 3)), nullptr);

  EXPECT_EQ(first->path(), home.path() / "pelmora-zava" / "group.example.plist");
  first->setObject(PropertyList("value"), "key");
  struct stat info {};
  ASSERT_EQ(::stat(first->path().parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(first->path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // Once nobody holds it, a new object reads what the old one stored.
  std::weak_ptr<UserDefaults> old = first;
  first.reset();
  EXPECT_TRUE(old.expired());
  EXPECT_EQ(UserDefaults::suite("group.example")->objectForKey("key"), PropertyList("value"));
}

TEST(UserDefaults, ConfigFolderFromTheEnvironment) {
  TemporaryConfigHome home;
  EXPECT_EQ(UserDefaults::directory(), home.path() / "pelmora-zava");
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  const char* homeFolder = std::getenv("HOME");
  if (homeFolder && *homeFolder) {
    EXPECT_EQ(UserDefaults::directory(), std::filesystem::path(homeFolder) / ".config/pelmora-zava");
  }
}

TEST(UserDefaults, UnreadableFileIsMovedAsideOnce) {
  TemporaryConfigHome home;
  std::filesystem::create_directories(home.path() / "pelmora-zava");
  const std::filesystem::path file = home.path() / "pelmora-zava" / "broken.plist";
  const std::string cases[] = {
      "not a property list",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>",
  };
  for (const std::string& garbage : cases) {
    std::filesystem::remove(file.string() + ".corrupt");
    std::ofstream(file) << garbage;
    CapturedLog log;
    auto suite = UserDefaults::suite("broken");
    EXPECT_EQ(suite->dictionaryRepresentation(), PropertyList::Dictionary{}) << garbage;
    ASSERT_EQ(log.lines().size(), 1u) << garbage;
    EXPECT_TRUE(log.lines()[0].starts_with("Settings file " + file.string() + " could not be read (")) << log.lines()[0];
    EXPECT_TRUE(log.lines()[0].ends_with("); moved it to " + file.string() + ".corrupt and started empty"))
        << log.lines()[0];
    EXPECT_EQ(fileText(file.string() + ".corrupt"), garbage);

    suite->setObject(PropertyList(1), "a");
    EXPECT_EQ(PropertyListXML::read(fileText(file)), PropertyList(PropertyList::Dictionary{{"a", PropertyList(1)}}));
    EXPECT_EQ(log.lines().size(), 1u);
  }
  // An older copy set aside is kept, not overwritten.
  std::ofstream(file) << "third";
  CapturedLog log;
  EXPECT_EQ(UserDefaults::suite("broken")->objectForKey("a"), std::nullopt);
  EXPECT_EQ(fileText(file.string() + ".2.corrupt"), "third");
  EXPECT_EQ(fileText(file.string() + ".corrupt"), cases[2]);
  EXPECT_EQ(log.lines().size(), 1u);
}

TEST(UserDefaults, FileThatCannotBeReadIsNeverWrittenOver) {
  TemporaryConfigHome home;
  const std::filesystem::path file = home.path() / "pelmora-zava" / "odd.plist";
  std::filesystem::create_directories(file);  // reading it fails
  CapturedLog log;
  auto suite = UserDefaults::suite("odd");
  suite->setObject(PropertyList(1), "a");
  EXPECT_EQ(suite->objectForKey("a"), PropertyList(1));  // kept in memory
  EXPECT_TRUE(std::filesystem::is_directory(file));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "Could not read settings file " + file.string() + ": Is a directory",
                             "Could not read settings file " + file.string() + ": Is a directory",
                             "Could not save settings to " + file.string() + ": the file could not be read first",
                         }));
  EXPECT_FALSE(suite->synchronize());

  // A file that cannot be parsed nor moved aside (its ".corrupt" name is one byte too long) stays as it is.
  const std::string name(242, 'n');
  const std::filesystem::path garbage = home.path() / "pelmora-zava" / (name + ".plist");
  std::ofstream(garbage) << "garbage";
  CapturedLog garbageLog;
  auto kept = UserDefaults::suite(name);
  kept->setObject(PropertyList(2), "b");
  EXPECT_EQ(kept->objectForKey("b"), PropertyList(2));
  EXPECT_EQ(fileText(garbage), "garbage");
  ASSERT_EQ(garbageLog.lines().size(), 3u);
  EXPECT_TRUE(garbageLog.lines()[0].ends_with("); could not move it aside (File name too long) and left it as it is"))
      << garbageLog.lines()[0];
  EXPECT_EQ(garbageLog.lines()[2], "Could not save settings to " + garbage.string() + ": the file could not be read first");
}

TEST(UserDefaults, SynchronizeSeesAnotherWriter) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("shared");
  suite->setObject(PropertyList(1), "mine");
  // Another process replaces the file behind our back.
  std::string text = PropertyListXML::write(
      PropertyList(PropertyList::Dictionary{{"mine", PropertyList(1)}, {"theirs", PropertyList(2)}}));
  std::string temporary = suite->path().string() + ".other";
  std::ofstream(temporary) << text;
  std::filesystem::rename(temporary, suite->path());
  EXPECT_EQ(suite->objectForKey("theirs"), std::nullopt);
  EXPECT_TRUE(suite->synchronize());
  EXPECT_EQ(suite->objectForKey("theirs"), PropertyList(2));

  // A write merges what the other process wrote meanwhile with this one change.
  std::ofstream(temporary) << PropertyListXML::write(PropertyList(
      PropertyList::Dictionary{{"mine", PropertyList(1)}, {"theirs", PropertyList(3)}, {"new", PropertyList(4)}}));
  std::filesystem::rename(temporary, suite->path());
  suite->setObject(PropertyList(5), "mine");
  EXPECT_EQ(PropertyListXML::read(fileText(suite->path())),
            PropertyList(PropertyList::Dictionary{
                {"mine", PropertyList(5)}, {"theirs", PropertyList(3)}, {"new", PropertyList(4)}}));
}

}  // namespace
}  // namespace platform
