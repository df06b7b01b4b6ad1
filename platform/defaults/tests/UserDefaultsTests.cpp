#include <gtest/gtest.h>

#include <fcntl.h>
#include <pugixml.hpp>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "NestedArrays.hpp"
#include "UserDefaultsSeam.hpp"

#include "platform/core/Log.hpp"
#include "platform/defaults/PropertyListXML.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<PropertyList> storedIn(const fs::path& path) { return PropertyListXML::read(fileText(path)); }

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::set<std::string> fileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
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
  EXPECT_EQ(UserDefaults::suite(UserDefaults::applicationIdentifier()), UserDefaults::standardUserDefaults());
  for (const char* bad : {"", ".", "..", "a/b", "../escape"}) EXPECT_EQ(UserDefaults::suite(bad), nullptr) << bad;
  EXPECT_EQ(UserDefaults::suite(std::string_view("a\0b", 3)), nullptr);

  EXPECT_EQ(first->path(), UserDefaults::directory() / "group.example.plist");
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

TEST(UserDefaults, ConfigFolderFromTheEnvironmentAndTheProgramsName) {
  TemporaryConfigHome home;
  const std::string program = UserDefaults::applicationIdentifier();
  EXPECT_EQ(program, fs::read_symlink("/proc/self/exe").filename().string());
  EXPECT_EQ(UserDefaults::standardUserDefaults()->path(), home.path() / program / (program + ".plist"));

  struct Restore {
    std::string identifier;
    ~Restore() { UserDefaults::setApplicationIdentifier(identifier); }
  } restore{program};
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                 std::string("/etc"), std::string("a\0b", 3)}) {
    EXPECT_THROW(UserDefaults::setApplicationIdentifier(bad), std::invalid_argument) << bad;
    EXPECT_EQ(UserDefaults::applicationIdentifier(), program);
  }
  UserDefaults::setApplicationIdentifier("org.example.other");
  EXPECT_EQ(UserDefaults::directory(), home.path() / "org.example.other");
  EXPECT_EQ(UserDefaults::standardUserDefaults()->path(),
            home.path() / "org.example.other" / "org.example.other.plist");
  EXPECT_EQ(UserDefaults::suite("extra")->path(), home.path() / "org.example.other" / "extra.plist");

  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  const char* homeFolder = std::getenv("HOME");
  if (homeFolder && *homeFolder) {
    EXPECT_EQ(UserDefaults::directory(), fs::path(homeFolder) / ".config/org.example.other");
  }
  // A relative home would follow the working folder: the password entry's home is used instead.
  struct RestoreHome {
    std::string folder;
    bool had;
    ~RestoreHome() { had ? ::setenv("HOME", folder.c_str(), 1) : ::unsetenv("HOME"); }
  } restoreHome{homeFolder ? homeFolder : "", homeFolder != nullptr};
  const struct passwd* entry = ::getpwuid(::getuid());
  ASSERT_NE(entry, nullptr);
  for (const char* relative : {"relative/home", "."}) {
    ::setenv("HOME", relative, 1);
    EXPECT_EQ(UserDefaults::directory(), fs::path(entry->pw_dir) / ".config/org.example.other") << relative;
  }
}

TEST(UserDefaults, UnreadableFileIsMovedAsideOnce) {
  TemporaryConfigHome home;
  std::filesystem::create_directories(UserDefaults::directory());
  const std::filesystem::path file = UserDefaults::directory() / "broken.plist";
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

  // Reached through the user's own link, the file is set aside in its own folder, and the line says where.
  TemporaryDirectory elsewhere;
  const fs::path target = elsewhere.path() / "real.plist";
  std::ofstream(target) << cases[0];
  fs::create_symlink(target, UserDefaults::directory() / "linked.plist");
  log.clear();
  EXPECT_EQ(UserDefaults::suite("linked")->dictionaryRepresentation(), PropertyList::Dictionary{});
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.lines()[0].ends_with("); moved it to " + target.string() + ".corrupt and started empty"))
      << log.lines()[0];
  EXPECT_EQ(fileText(target.string() + ".corrupt"), cases[0]);
}

// Running out of memory while reading says nothing of the file: it stays where it is, as it is.
TEST(UserDefaults, FileReadWhileMemoryRunsOutIsNeitherMovedNorWrittenOver) {
  TemporaryConfigHome home;
  fs::create_directories(UserDefaults::directory());
  const fs::path file = UserDefaults::directory() / "starved.plist";
  const std::string sound = *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"kept", PropertyList(1)}}));
  std::ofstream(file) << sound;
  struct Starved {
    pugi::allocation_function allocate = pugi::get_memory_allocation_function();
    pugi::deallocation_function deallocate = pugi::get_memory_deallocation_function();
    Starved() {
      pugi::set_memory_management_functions([](std::size_t) -> void* { return nullptr; }, deallocate);
    }
    ~Starved() { pugi::set_memory_management_functions(allocate, deallocate); }
  };
  CapturedLog log;
  {
    Starved starved;
    auto suite = UserDefaults::suite("starved");
    EXPECT_EQ(suite->objectForKey("kept"), std::nullopt);
    suite->setObject(PropertyList(2), "new");
    EXPECT_EQ(suite->objectForKey("new"), PropertyList(2));
  }
  const std::string unread = "Could not read settings file " + file.string() + ": Cannot allocate memory";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{unread, unread, "Could not save settings to " + file.string() +
                                                                       ": the file could not be read first"}));
  EXPECT_EQ(fileText(file), sound);
  EXPECT_EQ(fileNames(UserDefaults::directory()), (std::set<std::string>{"starved.plist", "starved.plist.lock"}));
}

TEST(UserDefaults, FileThatCannotBeMovedAsideIsNeverWrittenOver) {
  TemporaryConfigHome home;
  fs::create_directories(UserDefaults::directory());
  // A file that cannot be parsed nor moved aside (its ".corrupt" name is one byte too long) stays as it is.
  const std::string name(242, 'n');
  const std::filesystem::path garbage = UserDefaults::directory() / (name + ".plist");
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

// Every entry below `folder`: its kind, owner and bytes (a link's target text).
std::map<fs::path, std::string> snapshot(const fs::path& folder) {
  std::map<fs::path, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    std::string state = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + " ";
    if (S_ISLNK(info.st_mode)) state += fs::read_symlink(entry.path()).string();
    if (S_ISREG(info.st_mode)) state += fileText(entry.path());
    entries.emplace(entry.path(), state);
  }
  return entries;
}

// Opens the suite on another thread; a FIFO that holds the opening is given ends until it lets go.
std::shared_ptr<UserDefaults> openWithin(const std::string& name, const fs::path& fifo, bool& blocked) {
  auto opening = std::async(std::launch::async, [&name] { return UserDefaults::suite(name); });
  blocked = false;
  // An opening that nothing holds ends in a minute, however loaded the machine.
  while (opening.wait_for(blocked ? std::chrono::milliseconds(100) : std::chrono::minutes(1)) !=
         std::future_status::ready) {
    blocked = true;
    ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
  }
  return opening.get();
}

// The text with "{folder}" and "{away}" replaced by those paths.
std::string withPaths(std::string text, const fs::path& folder, const fs::path& away) {
  for (const auto& [mark, path] :
       {std::pair{std::string_view("{folder}"), folder}, std::pair{std::string_view("{away}"), away}})
    if (std::size_t at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), path.string());
  return text;
}

constexpr uid_t anotherUser = 65534;
// False when not the superuser, the only one who can give a file to another user.
bool giveAway(const fs::path& path) { return ::lchown(path.c_str(), anotherUser, anotherUser) == 0; }

// Opens a suite whose place is refused, whose file is read unless `readRefused`: its changes stay in
// memory, the refusal is logged once in the process, and nothing is retried.
void expectRefused(const std::string& name, const std::string& refusal, bool readRefused) {
  const fs::path file = UserDefaults::directory() / (name + ".plist");
  CapturedLog log;
  bool blocked = false;
  auto suite = openWithin(name, file, blocked);
  if (blocked) {
    ADD_FAILURE() << name << ": opening waited for a writer";
    return;  // a write would wait again
  }
  if (readRefused) {
    EXPECT_EQ(suite->dictionaryRepresentation(), PropertyList::Dictionary{}) << name;
  }
  suite->setObject(PropertyList(2), "mine");
  suite->setObject(PropertyList(3), "more");
  EXPECT_EQ(suite->objectForKey("mine"), PropertyList(2)) << name;  // kept in memory
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Settings file " + file.string() + " is left alone: it " + refusal +
                                                  "; changes are kept in memory and not saved"})
      << name;
  EXPECT_FALSE(suite->synchronize()) << name;
  log.clear();
  suite.reset();
  EXPECT_TRUE(log.lines().empty()) << name;  // nothing was retried
  UserDefaults::suite(name)->setObject(PropertyList(4), "again");
  EXPECT_TRUE(log.lines().empty()) << name;  // nor said again by a new object of the suite
}

TEST(UserDefaults, PlaceThatIsNoTrustedRegularFileIsLeftAlone) {
  TemporaryConfigHome home;
  TemporaryDirectory elsewhere;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  const std::string theirs =
      *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(1)}}));
  auto give = giveAway;
  auto write = [](const fs::path& path, const std::string& text) { std::ofstream(path) << text; };
  struct Case {
    std::string suite;
    std::function<bool(const fs::path& file, const fs::path& away)> make;  // false: cannot be made here
    std::string refusal;
  };
  const Case cases[] = {
      {"fifo", [](const fs::path& file, const fs::path&) { return ::mkfifo(file.c_str(), 0600) == 0; },
       "is a FIFO, not a regular file"},
      {"folder", [](const fs::path& file, const fs::path&) { return fs::create_directory(file); },
       "is a folder, not a regular file"},
      {"file of another", [&](const fs::path& file, const fs::path&) { write(file, theirs); return give(file); },
       "is a file owned by another user"},
      {"link of another",
       [&](const fs::path& file, const fs::path& away) {
         write(away / "mine.plist", theirs);
         fs::create_symlink(away / "mine.plist", file);
         return give(file);
       },
       "is a link owned by another user"},
      {"link to a file of another",
       [&](const fs::path& file, const fs::path& away) {
         write(away / "system.plist", theirs);
         fs::create_symlink(away / "system.plist", file);
         return give(away / "system.plist");
       },
       "is a link to a file owned by another user"},
      {"link to garbage of another",
       [&](const fs::path& file, const fs::path& away) {
         write(away / "system.conf", "not a property list");
         fs::create_symlink(away / "system.conf", file);
         return give(away / "system.conf");
       },
       "is a link to a file owned by another user"},
      {"link through a link of another",
       [&](const fs::path& file, const fs::path& away) {
         write(away / "mine.plist", theirs);
         fs::create_symlink(away / "mine.plist", away / "hop");
         fs::create_symlink(away / "hop", file);
         return give(away / "hop");
       },
       "is a link to a link owned by another user"},
      {"link to a fifo",
       [](const fs::path& file, const fs::path& away) {
         fs::create_symlink(away / "pipe", file);
         return ::mkfifo((away / "pipe").c_str(), 0600) == 0;
       },
       "is a link to a FIFO, not to a regular file"},
      {"link into a folder of another",
       [&](const fs::path& file, const fs::path& away) {
         fs::create_directory(away / "theirs");
         fs::create_symlink(away / "theirs" / "new.plist", file);
         return give(away / "theirs");
       },
       "is a link that leads through {away}/theirs, which is a folder owned by another user"},
      {"loop", [](const fs::path& file, const fs::path& away) {
         fs::create_symlink(away / "b", away / "a");
         fs::create_symlink(away / "a", away / "b");
         fs::create_symlink(away / "a", file);
         return true;
       },
       "is a chain of links that does not end"},
  };
  for (const Case& c : cases) {
    const fs::path file = folder / (c.suite + ".plist");
    const fs::path away = elsewhere.path() / c.suite;
    fs::create_directory(away);
    if (!c.make(file, away)) continue;  // only the superuser can give a file to another user
    const auto before = snapshot(away);
    std::string kind = snapshot(folder).at(file);
    expectRefused(c.suite, withPaths(c.refusal, folder, away), true);
    EXPECT_EQ(snapshot(away), before) << c.suite;
    EXPECT_EQ(snapshot(folder).at(file), kind) << c.suite;
    EXPECT_EQ(fileNames(folder).count(c.suite + ".plist.corrupt"), 0u) << c.suite;
  }
}

TEST(UserDefaults, FolderOrLockThatIsNotTrustedIsLeftAlone) {
  const std::string theirs =
      *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(1)}}));
  auto write = [](const fs::path& path, const std::string& text) { std::ofstream(path) << text; };
  // Another user's folder holding what the suite's file and lock would be, one of them garbage.
  auto theirFolder = [&](const fs::path& folder, const std::string& suite) {
    fs::create_directories(folder);
    write(folder / (suite + ".plist"), "not a property list");
    write(folder / "other.plist", theirs);
    return giveAway(folder);
  };
  struct Case {
    std::string suite;
    // Makes the settings folder `folder` and what it leads to below `away`; false: cannot be made here.
    std::function<bool(const fs::path& folder, const fs::path& away, const std::string& suite)> make;
    std::string refusal;  // {folder} and {away} stand for those paths
    bool readRefused = true;
  };
  const Case cases[] = {
      {"link of another as the folder",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_symlink(away / "theirs", folder);
         return theirFolder(away / "theirs", suite) && giveAway(folder);
       },
       "lies in {folder}, which is a link owned by another user"},
      {"link of another inside the target of my link",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_symlink(away / "theirs", away / "hop");
         fs::create_symlink(away / "hop" / "settings", folder);
         return theirFolder(away / "theirs" / "settings", suite) && giveAway(away / "hop");
       },
       "lies in {away}/hop, which is a link owned by another user"},
      {"folder of another on the way",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_symlink(away / "theirs" / "settings", folder);
         return theirFolder(away / "theirs" / "settings", suite) && giveAway(away / "theirs");
       },
       "lies in {away}/theirs, which is a folder owned by another user"},
      {"folder everyone may write",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_directories(away / "open" / "settings");
         write(away / "open" / "settings" / (suite + ".plist"), "not a property list");
         fs::create_symlink(away / "open" / "settings", folder);
         fs::permissions(away / "open", fs::perms::all);
         return true;
       },
       "lies in {away}/open, which is a folder that others may write, without the sticky bit"},
      {"folder the group may write",
       [&](const fs::path& folder, const fs::path& away, const std::string&) {
         fs::create_directories(away / "group" / "settings");
         fs::create_symlink(away / "group" / "settings", folder);
         fs::permissions(away / "group", fs::perms::owner_all | fs::perms::group_all);
         return true;
       },
       "lies in {away}/group, which is a folder that others may write, without the sticky bit"},
      {"loop of my links as the folder",
       [](const fs::path& folder, const fs::path& away, const std::string&) {
         fs::create_symlink(away / "b", away / "a");
         fs::create_symlink(away / "a", away / "b");
         fs::create_symlink(away / "a", folder);
         return true;
       },
       "lies in {away}/b, which is a chain of links that does not end"},
      {"lock that is a link of another",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_directories(folder);
         write(folder / (suite + ".plist"), theirs);
         fs::create_symlink(away / "nologin", folder / (suite + ".plist.lock"));
         return giveAway(folder / (suite + ".plist.lock"));
       },
       "has a lock file that is a link", false},
      {"lock that is a link of another in a folder others may write",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_directories(folder);
         fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);  // where links may be protected
         fs::create_symlink(away / "nologin", folder / (suite + ".plist.lock"));
         return giveAway(folder / (suite + ".plist.lock"));
       },
       "has a lock file that is a link", false},
      {"lock that is a link of mine",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_directories(folder);
         fs::create_symlink(away / "nologin", folder / (suite + ".plist.lock"));
         return true;
       },
       "has a lock file that is a link", false},
      {"lock that is a FIFO",
       [&](const fs::path& folder, const fs::path&, const std::string& suite) {
         fs::create_directories(folder);
         return ::mkfifo((folder / (suite + ".plist.lock")).c_str(), 0600) == 0;
       },
       "has a lock file that is a FIFO", false},
      {"lock of another",
       [&](const fs::path& folder, const fs::path&, const std::string& suite) {
         fs::create_directories(folder);
         write(folder / (suite + ".plist.lock"), "");
         return giveAway(folder / (suite + ".plist.lock"));
       },
       "has a lock file owned by another user", false},
  };
  for (const Case& c : cases) {
    TemporaryConfigHome home;
    TemporaryDirectory elsewhere;
    const fs::path folder = UserDefaults::directory();
    const fs::path away = elsewhere.path() / "away";
    fs::create_directory(away);
    if (!c.make(folder, away, c.suite)) continue;
    const auto before = snapshot(elsewhere.path());
    expectRefused(c.suite, withPaths(c.refusal, folder, away), c.readRefused);
    EXPECT_EQ(snapshot(elsewhere.path()), before) << c.suite;
  }
}

// A file of root's that others may write, filled with another user's key and hard-linked by them into a folder
// they may write (sticky, as /tmp): at the settings' name, or behind the user's link to a missing name there.
// Its owner says nothing of whose it is: it is neither read nor saved over. Where only the user may write,
// the other link is the user's own, as a backup tool makes, and the file is read and saved.
TEST(UserDefaults, FileWithMoreLinksIsReadOnlyWhereOthersMayNotWrite) {
  const std::string theirs =
      *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(1)}}));
  const auto openToAll = [](const fs::path& folder) {
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);
  };
  struct Case {
    std::string suite;
    // Makes the settings folder `folder` and, below `away`, where the suite's file is to be one more link.
    std::function<fs::path(const fs::path& folder, const fs::path& away, const std::string& suite)> make;
    std::string refusal;  // empty: read
  };
  const Case cases[] = {
      {"in my folder others may write",
       [&](const fs::path& folder, const fs::path&, const std::string& suite) {
         openToAll(folder);
         return folder / (suite + ".plist");
       },
       "has more than one link in a folder others may write"},
      {"behind my link to a missing name",
       [&](const fs::path& folder, const fs::path& away, const std::string& suite) {
         openToAll(away / "sticky");
         fs::create_directories(folder);
         fs::create_symlink(away / "sticky" / (suite + ".plist"), folder / (suite + ".plist"));
         return away / "sticky" / (suite + ".plist");
       },
       "has more than one link in a folder others may write"},
      {"in my own folder",
       [](const fs::path& folder, const fs::path&, const std::string& suite) {
         fs::create_directories(folder);
         return folder / (suite + ".plist");
       },
       ""},
      {"behind my link into a private folder of mine",
       [](const fs::path& folder, const fs::path& away, const std::string& suite) {
         fs::create_directories(away / "private");
         fs::permissions(away / "private", fs::perms::owner_all);
         fs::create_directories(folder);
         fs::create_symlink(away / "private" / (suite + ".plist"), folder / (suite + ".plist"));
         return away / "private" / (suite + ".plist");
       },
       ""},
  };
  for (const Case& c : cases) {
    TemporaryConfigHome home;
    TemporaryDirectory elsewhere;
    const fs::path away = elsewhere.path() / "away";
    fs::create_directory(away);
    const fs::path linked = c.make(UserDefaults::directory(), away, c.suite);
    const fs::path original = elsewhere.path() / "original.plist";
    std::ofstream(original) << theirs;
    ASSERT_EQ(::chmod(original.c_str(), 0666), 0);
    fs::create_hard_link(original, linked);
    if (!c.refusal.empty()) {
      expectRefused(c.suite, c.refusal, true);
      EXPECT_EQ(fs::hard_link_count(original), 2u) << c.suite;  // not replaced by a save
      EXPECT_EQ(fileText(original), theirs) << c.suite;
      EXPECT_EQ(modeOf(original), 0666u) << c.suite;
      continue;
    }
    CapturedLog log;
    auto suite = UserDefaults::suite(c.suite);
    EXPECT_EQ(suite->objectForKey("theirs"), PropertyList(1)) << c.suite;
    suite->setObject(PropertyList(2), "mine");
    EXPECT_EQ(storedIn(linked), PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(1)}, {"mine", PropertyList(2)}}))
        << c.suite;
    EXPECT_EQ(fileText(original), theirs) << c.suite;  // the backup keeps what it held
    EXPECT_TRUE(log.lines().empty()) << c.suite;
  }
}

// A save keeps the file's own mode, read bits included, but never write for others: a file open to all
// would let them go on writing the user's settings.
TEST(UserDefaults, SaveKeepsTheFilesModeLessWriteForOthers) {
  TemporaryConfigHome home;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  const std::pair<mode_t, mode_t> cases[] = {{0666, 0644}, {0662, 0640}, {0620, 0600}, {0644, 0644},
                                             {0640, 0640}, {0600, 0600}, {0400, 0400}};
  for (const auto& [before, after] : cases) {
    const std::string name = "mode" + std::to_string(before);
    const fs::path file = folder / (name + ".plist");
    std::ofstream(file) << *PropertyListXML::write(PropertyList(PropertyList::Dictionary{}));
    ASSERT_EQ(::chmod(file.c_str(), before), 0);
    UserDefaults::suite(name)->setObject(PropertyList(1), "saved");
    EXPECT_EQ(storedIn(file), PropertyList(PropertyList::Dictionary{{"saved", PropertyList(1)}})) << name;
    EXPECT_EQ(modeOf(file), after) << std::oct << before;
  }
}

// Another process of the user's that saves between the check and the read makes a new file; the user may
// also make the file, or put a link of theirs to their own file there. The file found then is read, and
// that is no fault to log.
TEST(UserDefaults, FileTheUserReplacedAfterTheCheckIsRead) {
  TemporaryConfigHome home;
  TemporaryDirectory elsewhere;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  auto holding = [](const std::string& key) {
    return *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{key, PropertyList(1)}}));
  };
  struct Case {
    std::string suite;
    bool before;  // whether the check found a file
    std::function<void(const fs::path& file)> replace;
  };
  const Case cases[] = {
      {"saved anew", true,
       [&](const fs::path& file) {
         std::ofstream(file.string() + ".new") << holding("after");
         fs::rename(file.string() + ".new", file);
       }},
      {"made", false, [&](const fs::path& file) { std::ofstream(file) << holding("after"); }},
      {"linked", true,
       [&](const fs::path& file) {
         std::ofstream(elsewhere.path() / "after.plist") << holding("after");
         fs::remove(file);
         fs::create_symlink(elsewhere.path() / "after.plist", file);
       }},
  };
  for (const Case& c : cases) {
    const fs::path file = folder / (c.suite + ".plist");
    if (c.before) std::ofstream(file) << holding("before");
    bool replaced = false;
    userDefaultsSeam::afterCheck = [&] {
      if (!std::exchange(replaced, true)) c.replace(file);
    };
    CapturedLog log;
    auto suite = UserDefaults::suite(c.suite);
    userDefaultsSeam::afterCheck = nullptr;
    EXPECT_EQ(suite->dictionaryRepresentation(), (PropertyList::Dictionary{{"after", PropertyList(1)}})) << c.suite;
    EXPECT_EQ(log.lines(), std::vector<std::string>{}) << c.suite;
  }
}

// Folders and links on the way that the user or root owns, and folders others may write only with the
// sticky bit, as /tmp.
TEST(UserDefaults, TrustedFoldersAndLinksOnTheWayAreFollowed) {
  struct Case {
    std::string name;
    std::function<void(const fs::path& folder, const fs::path& away)> make;
    std::string settingsFolder;  // where the file lands, below `away`
  };
  const Case cases[] = {
      {"my link as the folder",
       [](const fs::path& folder, const fs::path& away) {
         fs::create_directories(away / "mine");
         fs::create_symlink(away / "mine", folder);
       },
       "mine"},
      {"chain of my links, relative and absolute, made when missing",
       [](const fs::path& folder, const fs::path& away) {
         fs::create_symlink("second/../second/made", away / "first");
         fs::create_directories(away / "second");
         fs::create_symlink(away / "first", folder);
       },
       "second/made"},
      {"sticky folder everyone may write",
       [](const fs::path& folder, const fs::path& away) {
         fs::create_directories(away / "sticky");
         fs::permissions(away / "sticky", fs::perms::all | fs::perms::sticky_bit);
         fs::create_symlink(away / "sticky" / "settings", folder);
       },
       "sticky/settings"},
  };
  for (const Case& c : cases) {
    TemporaryConfigHome home;
    TemporaryDirectory elsewhere;
    const fs::path away = elsewhere.path() / "away";
    fs::create_directory(away);
    c.make(UserDefaults::directory(), away);
    CapturedLog log;
    UserDefaults::suite("trusted")->setObject(PropertyList(c.name), "case");
    EXPECT_EQ(UserDefaults::suite("trusted")->objectForKey("case"), PropertyList(c.name));
    EXPECT_EQ(storedIn(away / c.settingsFolder / "trusted.plist"),
              PropertyList(PropertyList::Dictionary{{"case", PropertyList(c.name)}}))
        << c.name;
    EXPECT_TRUE(fs::is_regular_file(away / c.settingsFolder / "trusted.plist.lock")) << c.name;
    EXPECT_TRUE(log.lines().empty()) << c.name;
  }
}

TEST(UserDefaults, SynchronizeSeesAnotherWriter) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("shared");
  suite->setObject(PropertyList(1), "mine");
  // Another process replaces the file behind our back.
  std::string text = *PropertyListXML::write(
      PropertyList(PropertyList::Dictionary{{"mine", PropertyList(1)}, {"theirs", PropertyList(2)}}));
  std::string temporary = suite->path().string() + ".other";
  std::ofstream(temporary) << text;
  std::filesystem::rename(temporary, suite->path());
  EXPECT_EQ(suite->objectForKey("theirs"), std::nullopt);
  EXPECT_TRUE(suite->synchronize());
  EXPECT_EQ(suite->objectForKey("theirs"), PropertyList(2));

  // A write merges what the other process wrote meanwhile with this one change.
  std::ofstream(temporary) << *PropertyListXML::write(PropertyList(
      PropertyList::Dictionary{{"mine", PropertyList(1)}, {"theirs", PropertyList(3)}, {"new", PropertyList(4)}}));
  std::filesystem::rename(temporary, suite->path());
  suite->setObject(PropertyList(5), "mine");
  EXPECT_EQ(PropertyListXML::read(fileText(suite->path())),
            PropertyList(PropertyList::Dictionary{
                {"mine", PropertyList(5)}, {"theirs", PropertyList(3)}, {"new", PropertyList(4)}}));
}

TEST(UserDefaults, ValueTheFileCannotHoldRemovesOnlyItsEntry) {
  TemporaryConfigHome home;
  struct Case {
    PropertyList value;
    std::string problem;  // empty: stored
  };
  const Case cases[] = {
      {nestedArrays(512), ""},
      {nestedArrays(513), "nested deeper than 512 levels"},
      {PropertyList(Date{std::nan("")}), "date out of range (nan seconds from 2001)"},
      {PropertyList(Date{1e17}), "date out of range (1e+17 seconds from 2001)"},
      {PropertyList(PropertyList::Dictionary{{"when", PropertyList(Date{-HUGE_VAL})}}),
       "date out of range (-inf seconds from 2001)"},
  };
  for (const Case& c : cases) {
    auto suite = UserDefaults::suite("limits");
    const fs::path file = suite->path();
    suite->setObject(PropertyList(false), "optIn");
    suite->setObject(PropertyList("old"), "value");
    CapturedLog log;
    suite->setObject(c.value, "value");
    suite->setObject(PropertyList(1), "later");
    std::optional<PropertyList> expected;
    if (c.problem.empty()) {
      expected = c.value;
      EXPECT_TRUE(log.lines().empty());
    } else {
      EXPECT_EQ(log.lines(), std::vector<std::string>{"Settings value for \"value\" cannot be stored (" + c.problem +
                                                      "); removed the entry"});
    }
    EXPECT_EQ(suite->objectForKey("value"), expected) << c.problem;
    suite.reset();
    auto reopened = UserDefaults::suite("limits");
    EXPECT_EQ(reopened->objectForKey("value"), expected) << c.problem;
    EXPECT_EQ(reopened->objectForKey("optIn"), PropertyList(false)) << c.problem;
    EXPECT_EQ(reopened->objectForKey("later"), PropertyList(1)) << c.problem;
    EXPECT_FALSE(fs::exists(file.string() + ".corrupt")) << c.problem;
  }

  // A file that holds such values anyway costs those entries only.
  const fs::path file = UserDefaults::directory() / "written-elsewhere.plist";
  std::string deep;
  for (int i = 0; i < 513; ++i) deep.insert(0, "<array>") += "</array>";
  std::ofstream(file) << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>deep</key>" + deep +
                             "<key>optIn</key><false/><key>far</key><date>+999999999-01-01T00:00:00Z</date></dict></plist>";
  CapturedLog log;
  auto suite = UserDefaults::suite("written-elsewhere");
  EXPECT_EQ(suite->dictionaryRepresentation(), (PropertyList::Dictionary{{"optIn", PropertyList(false)}}));
  const std::string leftOut = "Settings file " + file.string() + ": left out \"";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{leftOut + "deep\", nested too deep or dated out of range",
                                                   leftOut + "far\", nested too deep or dated out of range"}));
  suite->setObject(PropertyList(2), "count");
  EXPECT_EQ(storedIn(file), PropertyList(PropertyList::Dictionary{{"optIn", PropertyList(false)}, {"count", PropertyList(2)}}));
  EXPECT_FALSE(fs::exists(file.string() + ".corrupt"));
}

TEST(UserDefaults, SettingsFileThatIsALinkIsWrittenThrough) {
  TemporaryConfigHome home;
  TemporaryDirectory elsewhere;
  const fs::path folder = UserDefaults::directory();
  fs::create_directories(folder);
  fs::create_directories(home.path() / "shared");
  const std::string before = *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"before", PropertyList(1)}}));
  struct Case {
    std::string suite;
    fs::path link;    // as written in the link
    fs::path target;  // where it leads
    bool exists;
  };
  const Case cases[] = {
      {"absolute", elsewhere.path() / "absolute.plist", elsewhere.path() / "absolute.plist", true},
      {"relative", "../shared/relative.plist", home.path() / "shared" / "relative.plist", true},
      {"chained", "absolute.plist", elsewhere.path() / "absolute.plist", true},
      {"dangling", elsewhere.path() / "new.plist", elsewhere.path() / "new.plist", false},
  };
  for (const Case& c : cases) {
    const fs::path file = folder / (c.suite + ".plist");
    fs::create_symlink(c.link, file);
    if (c.exists && !fs::exists(c.target)) std::ofstream(c.target) << before;
    auto suite = UserDefaults::suite(c.suite);
    EXPECT_EQ(suite->objectForKey("before"), c.exists ? std::optional(PropertyList(1)) : std::nullopt) << c.suite;
    suite->setObject(PropertyList(c.suite), "after");
    EXPECT_TRUE(fs::is_symlink(file)) << c.suite;
    EXPECT_EQ(fs::read_symlink(file), c.link) << c.suite;
    auto stored = storedIn(c.target);
    ASSERT_TRUE(stored && stored->dictionary()) << c.suite;
    EXPECT_EQ(stored->dictionary()->at("after"), PropertyList(c.suite));
    suite.reset();
    EXPECT_EQ(UserDefaults::suite(c.suite)->objectForKey("after"), PropertyList(c.suite));
  }
  // Nothing is left beside the targets, and the locks stay beside the links.
  EXPECT_EQ(fileNames(elsewhere.path()), (std::set<std::string>{"absolute.plist", "new.plist"}));
  EXPECT_EQ(fileNames(home.path() / "shared"), std::set<std::string>{"relative.plist"});
  EXPECT_TRUE(fs::exists(folder / "chained.plist.lock"));
}

TEST(UserDefaults, ChangeThatCouldNotBeSavedStaysUntilSaved) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("pending");
  const fs::path file = suite->path();
  suite->setObject(PropertyList(1), "x");
  suite->setObject(PropertyList(2), "y");
  const fs::path lock = file.string() + ".lock";
  auto blockSaves = [&] {
    fs::remove(lock);
    fs::create_directory(lock);  // the lock cannot be taken
  };
  auto unblockSaves = [&] { fs::remove(lock); };

  CapturedLog log;
  blockSaves();
  suite->setObject(PropertyList(3), "a");
  suite->removeObject("x");
  EXPECT_EQ(storedIn(file), PropertyList(PropertyList::Dictionary{{"x", PropertyList(1)}, {"y", PropertyList(2)}}));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"Settings file " + file.string() +
                                                  " is left alone: it has a lock file that is a folder; changes are "
                                                  "kept in memory and not saved"});
  unblockSaves();
  suite->setObject(PropertyList(4), "b");
  const PropertyList::Dictionary expected{{"y", PropertyList(2)}, {"a", PropertyList(3)}, {"b", PropertyList(4)}};
  EXPECT_EQ(storedIn(file), PropertyList(expected));
  EXPECT_EQ(suite->dictionaryRepresentation(), expected);

  // Saved by synchronize too, merged with what another process wrote meanwhile.
  blockSaves();
  suite->setObject(PropertyList(5), "c");
  std::string other = *PropertyListXML::write(PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(6)}}));
  std::ofstream(file.string() + ".other") << other;
  fs::rename(file.string() + ".other", file);
  EXPECT_FALSE(suite->synchronize());
  EXPECT_EQ(suite->dictionaryRepresentation(),
            (PropertyList::Dictionary{{"theirs", PropertyList(6)}, {"c", PropertyList(5)}}));
  unblockSaves();
  EXPECT_TRUE(suite->synchronize());
  EXPECT_EQ(storedIn(file), PropertyList(PropertyList::Dictionary{{"theirs", PropertyList(6)}, {"c", PropertyList(5)}}));
  log.clear();
  suite.reset();
  EXPECT_EQ(UserDefaults::suite("pending")->objectForKey("c"), PropertyList(5));
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace platform
