#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>

#include "FolderChain.hpp"
#include "ImporterFixture.hpp"
#include "platform/io/FileSystem.hpp"
#include "platform/io/UniqueDescriptor.hpp"

namespace Pelmora_Zava::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(ImporterTest, ExportStopsAtTheFirstFolderThatCannotBeMade) {
  importer().addFilename("A", 0, false);
  importer().addFilename("B", 0, false);
  importer().addFilename("C", 0, false);
  TokenValueProvider provider = importer().tokenProvider();
  provider.subfolders = {"S1", "S2"};
  importer().setTokenProvider(provider);
  const fs::path root = folder_.path() / "root";
  fs::create_directories(root / "B");
  write("root/B/S1", "a file where the third folder goes");
  takeLog();

  EXPECT_EQ(importer().allFolderURLs(root),
            (std::vector<fs::path>{root / "A/S1", root / "A/S2", root / "B/S1", root / "B/S2", root / "C/S1",
                                   root / "C/S2"}));
  try {
    importer().exportFolders(root);
    ADD_FAILURE() << "the export went through a file";
  } catch (const platform::FileSystemError& error) {
    EXPECT_EQ(error.path(), root / "B/S1");
  }
  EXPECT_TRUE(fs::is_directory(root / "A/S1"));
  EXPECT_TRUE(fs::is_directory(root / "A/S2"));
  EXPECT_FALSE(fs::exists(root / "B/S2"));
  EXPECT_EQ(takeLog(), Lines{"Exporting 3 directories"});

  fs::remove(root / "B/S1");
  EXPECT_EQ(importer().exportFolders(root), 6u);
  EXPECT_EQ(takeLog(), (Lines{"Exporting 3 directories", "Exported 6 directories"}));
}

// Whatever is in the way, above the root or below it, the error names the folder being made.
TEST_F(ImporterTest, ExportFailuresNameTheFolderBeingMade) {
  const fs::path base = folder_.path();
  struct Case {
    const char* what;
    std::function<void()> prepare;
    fs::path root;
    fs::path obstacle;  // the file in the way, which the error names too
    fs::file_type type = fs::file_type::regular;
  };
  const Case cases[] = {
      {"a file in a sub-folder's place",
       [&] {
         fs::create_directories(base / "root/A");
         write("root/A/S1", "");
       },
       base / "root", base / "root/A/S1"},
      {"a file in the name folder's place",
       [&] {
         fs::create_directory(base / "root");
         write("root/A", "");
       },
       base / "root", base / "root/A"},
      {"a link to a file inside the root",
       [&] {
         fs::create_directory(base / "root");
         fs::create_symlink(write("root/file", ""), base / "root/A");
       },
       base / "root", base / "root/A"},
      {"a FIFO in the name folder's place",
       [&] {
         fs::create_directory(base / "root");
         ASSERT_EQ(::mkfifo((base / "root/A").c_str(), 0600), 0);
       },
       base / "root", base / "root/A", fs::file_type::fifo},
      {"a file in the root's place", [&] { write("root", ""); }, base / "root", base / "root"},
      {"a file above the root", [&] { write("root", ""); }, base / "root/below", base / "root"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(base / "root");
    c.prepare();
    importer_.reset();
    importer().addFilename("A", 0, false);
    TokenValueProvider provider = importer().tokenProvider();
    provider.subfolders = {"S1"};
    importer().setTokenProvider(provider);
    try {
      importer().exportFolders(c.root);
      ADD_FAILURE() << "the export went through";
    } catch (const platform::FileSystemError& error) {
      EXPECT_EQ(error.path(), c.root / "A/S1");
      EXPECT_EQ(error.code(), ENOTDIR);
      EXPECT_EQ(error.obstacle(), std::optional<fs::path>(c.obstacle));
      EXPECT_EQ(error.obstacleType(), c.type);
    }
  }
}

// The check before an export finds, without making anything, the first location that the making
// would stop at: the file in the way, named for what it is, or a name too long for the file system
// of the deepest folder that exists; nothing below a missing folder is looked at.
TEST_F(ImporterTest, CheckingLocationsFindsWhatTheMakingWouldStopAt) {
  const fs::path root = folder_.path() / "root";
  const std::string tooLong(300, 'z');
  struct Case {
    const char* what;
    std::function<void()> prepare;
    std::vector<std::string> subfolders;
    std::string failing;  // below the root; empty when every location passes
    int code = 0;
    std::string obstacle = "";  // below the root
    fs::file_type type = fs::file_type::regular;
  };
  const Case cases[] = {
      {"folders that exist or can be made", [&] { fs::create_directories(root / "A/S1"); }, {"S1", "S2/deeper"}, ""},
      {"a file in a sub-folder's place", [&] { write("root/A", ""); }, {"S1"}, "A/S1", ENOTDIR, "A"},
      {"a FIFO in a sub-folder's place",
       [&] {
         fs::create_directories(root / "A");
         ASSERT_EQ(::mkfifo((root / "A/S2").c_str(), 0600), 0);
       },
       {"S1", "S2"}, "A/S2", ENOTDIR, "A/S2", fs::file_type::fifo},
      {"a link to a FIFO",
       [&] {
         ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
         fs::create_symlink("fifo", root / "A");
       },
       {"S1"}, "A/S1", ENOTDIR, "A", fs::file_type::fifo},
      {"a device", [&] { fs::create_symlink("/dev/null", root / "A"); }, {}, "A", ENOTDIR, "A", fs::file_type::character},
      {"a name too long below an existing folder", [&] { fs::create_directories(root / "A"); }, {"S1", tooLong},
       "A/" + tooLong, ENAMETOOLONG},
      {"a name too long below a missing folder", [] {}, {"S1", "x/" + tooLong}, "A/x/" + tooLong, ENAMETOOLONG},
      {"a name too long below a file", [&] { write("root/A", ""); }, {tooLong}, "A/" + tooLong, ENOTDIR, "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    fs::create_directories(root);
    c.prepare();
    importer_.reset();
    importer().updateExportConfig([](Ravelin::CSVExportConfig& config) {
      config.replaceIllegalChars = Ravelin::TextReplacement::none;
    });
    importer().addFilename("A", 0, false);
    TokenValueProvider provider = importer().tokenProvider();
    provider.subfolders = c.subfolders;
    importer().setTokenProvider(provider);
    const auto before = std::distance(fs::recursive_directory_iterator(root), fs::recursive_directory_iterator());
    try {
      importer().checkFolderLocations(root);
      EXPECT_EQ(c.failing, "") << "the check passed";
    } catch (const platform::FileSystemError& error) {
      EXPECT_EQ(error.path(), root / c.failing);
      EXPECT_EQ(error.code(), c.code);
      EXPECT_EQ(error.obstacle(), c.obstacle.empty() ? std::nullopt : std::optional<fs::path>(root / c.obstacle));
      EXPECT_EQ(error.obstacleType(), c.type);
    }
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(root), fs::recursive_directory_iterator()), before);
  }
}

// The import keeps the longest piece of any folder name, so that a check against one limit needs
// no walk: pieces between slashes count, not whole names, and a refused name is longer than any.
TEST_F(ImporterTest, TheLongestFolderNameIsKeptAsTheListIsCombined) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> subfolders;
    std::size_t longest;
  };
  const Case cases[] = {
      {{"Al", "Bo"}, {}, 2},
      {{"ab/cdef", "xyz"}, {}, 4},
      {{"Al"}, {"RAW", "x/longer/y"}, 6},
      {{"Al", "a/../b"}, {}, std::numeric_limits<std::size_t>::max()},
      {{"Al"}, {"."}, std::numeric_limits<std::size_t>::max()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.back());
    importer_.reset();
    importer().updateExportConfig([](Ravelin::CSVExportConfig& config) {
      config.replaceIllegalChars = Ravelin::TextReplacement::none;
    });
    for (const std::string& name : c.names) importer().addFilename(name, 0, false);
    TokenValueProvider provider = importer().tokenProvider();
    provider.subfolders = c.subfolders;
    importer().setTokenProvider(provider);
    EXPECT_EQ(importer().longestFolderName(), std::optional<std::size_t>(c.longest));
  }
  importer().setFileNames(importer().fileNames());
  EXPECT_EQ(importer().longestFolderName(), std::nullopt);
}

// Each folder is reached from its parent's descriptor; a descriptor kept per folder would run
// out long before a large export ends.
TEST_F(ImporterTest, ExportHoldsTheDescriptorsOfOneLocationOnly) {
  importer().updateExportConfig([](Ravelin::CSVExportConfig& config) {
    config.replaceIllegalChars = Ravelin::TextReplacement::none;
  });
  importer().addFilename("N", 300, false);
  TokenValueProvider provider = importer().tokenProvider();
  provider.subfolders = {"S1", "S2/deeper"};
  importer().setTokenProvider(provider);
  int highest = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(entry.path().filename()));
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(highest) + 16;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::size_t made = 0;
  EXPECT_NO_THROW(made = importer().exportFolders(folder_.path() / "root"));
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(made, 600u);
  EXPECT_TRUE(fs::is_directory(folder_.path() / "root/N300/S2/deeper"));
}

TEST_F(ImporterTest, FolderLocationsStayBelowTheRoot) {
  const fs::path root = "/export";
  struct Case {
    std::string processedName;
    std::vector<std::string> subfolders;
    std::vector<fs::path> locations;  // empty with `refused` false: skipped
    bool refused = false;
  };
  const Case cases[] = {
      {"Name", {}, {root / "Name"}},
      {"a/b", {"x/y", ""}, {root / "a/b/x/y", root / "a/b"}},
      {"//a//", {}, {root / "a"}},
      {"", {"S1"}, {}},
      {"//", {}, {}},
      {"..", {}, {}, true},
      {"a/../..", {}, {}, true},
      {"ok", {"."}, {}, true},
      {std::string("nul\0byte", 8), {}, {}, true},
  };
  for (const Case& c : cases) {
    Filename record("source");
    record.setProcessedName(c.processedName);
    record.setProcessedSubDirs(c.subfolders);
    if (c.refused) {
      EXPECT_THROW(importer().folderURLs(record, root), platform::Error) << c.processedName;
    } else {
      EXPECT_EQ(importer().folderURLs(record, root), c.locations) << c.processedName;
    }
  }
  const Lines log = takeLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Skipping \"source\": its folder name is empty"), 2);
}

TEST_F(ImporterTest, LinksInsideTheRootMayNotLeadOutOfIt) {
  const fs::path base = folder_.path();
  fs::create_directories(base / "outside");
  fs::create_directories(base / "elsewhere/root");
  struct Case {
    const char* what;
    std::function<void(const fs::path& root)> prepare;
    std::string name;
    std::string refused;  // the location the error names; empty when the export goes through
    bool rootIsLink = false;
  };
  const Case cases[] = {
      {"link to a sibling of the root", [&](const fs::path& root) { fs::create_directory_symlink("../outside", root / "A"); },
       "A", "A/S"},
      {"link to a folder inside the root",
       [&](const fs::path& root) {
         fs::create_directories(root / "B");
         fs::create_directory_symlink(root / "B", root / "A");
       },
       "A", ""},
      {"link to nowhere", [&](const fs::path& root) { fs::create_directory_symlink(base / "missing", root / "A"); },
       "A", "A/S"},
      {"link to the root's parent, deeper down",
       [&](const fs::path& root) {
         fs::create_directories(root / "A");
         fs::create_directory_symlink("../..", root / "A/up");
       },
       "A/up", "A/up/S"},
      {"a loop behind a link that stays inside",
       [&](const fs::path& root) {
         fs::create_directories(root / "B");
         fs::create_directory_symlink(root / "B", root / "A");
         fs::create_directory_symlink("L", root / "B/L");
       },
       "A/L", "A/L/S"},
      {"the root a link itself", [&](const fs::path&) {}, "A", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(base / "outside");
    fs::create_directories(base / "outside");
    fs::remove_all(base / "root");
    if (c.rootIsLink)
      fs::create_directory_symlink(base / "elsewhere/root", base / "root");
    else
      fs::create_directories(base / "root");
    const fs::path root = base / "root";
    c.prepare(root);

    importer_.reset();
    importer().updateExportConfig([](Ravelin::CSVExportConfig& config) {
      config.replaceIllegalChars = Ravelin::TextReplacement::none;
    });
    importer().addFilename("0 first", 0, false);
    importer().addFilename(c.name, 0, false);
    TokenValueProvider provider = importer().tokenProvider();
    provider.subfolders = {"S"};
    importer().setTokenProvider(provider);

    if (c.refused.empty()) {
      EXPECT_EQ(importer().exportFolders(root), 2u);
      EXPECT_TRUE(fs::is_directory(root / c.name / "S"));
    } else {
      try {
        importer().exportFolders(root);
        ADD_FAILURE() << "the export went through the link";
      } catch (const platform::Error& error) {
        EXPECT_NE(std::string(error.what()).find((root / c.refused).string()), std::string::npos) << error.what();
      }
      EXPECT_FALSE(fs::exists(root / "0 first")) << "a folder was made before the check";
    }
    EXPECT_TRUE(fs::is_empty(base / "outside"));
    EXPECT_FALSE(fs::exists(base / "S"));
  }
}

// Links planted while the export runs, each leading out of the root: whatever the export makes
// or refuses, nothing appears outside. The root exists in even runs and is made by the export
// in odd ones.
TEST_F(ImporterTest, LinksPlantedDuringTheExportLeadNowhereOutsideTheRoot) {
  const fs::path base = folder_.path();
  const fs::path root = base / "root";
  const fs::path outside = base / "outside";
  constexpr int names = 400;
  importer().addFilename("N", names, false);
  TokenValueProvider provider = importer().tokenProvider();
  provider.subfolders = {"S"};
  importer().setTokenProvider(provider);

  for (int run = 0; run < 20; ++run) {
    fs::remove_all(root);
    fs::remove_all(outside);
    fs::create_directory(outside);
    if (run % 2 == 0) fs::create_directory(root);
    std::atomic<bool> done = false;
    std::thread planter([&] {
      // After the check that comes first, from the last name back towards the export.
      while (!done && !fs::exists(root / "N1")) std::this_thread::yield();
      for (int i = names; i > 1 && !done; --i) {
        const fs::path link = root / ("N" + std::to_string(i));
        [[maybe_unused]] const int planted = ::symlink(outside.c_str(), link.c_str());
      }
    });
    try {
      importer().exportFolders(root);
    } catch (const platform::Error& error) {
      EXPECT_NE(std::string(error.what()).find("would lie outside the export folder"), std::string::npos)
          << error.what();
    }
    done = true;
    planter.join();
    EXPECT_TRUE(fs::is_empty(outside)) << "run " << run;
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 2) << "run " << run;
  }
}

// The folders made in `watched` after `moved` (the same or an ancestor) was itself moved: the
// kernel queues both kinds of event in the order they happen.
struct MoveWatch {
  platform::UniqueDescriptor events{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)};
  int moved = -1;
  int watched = -1;

  int madeAfterMove() const {
    alignas(inotify_event) char buffer[64 * 1024];
    bool wasMoved = false;
    int made = 0;
    for (ssize_t length; (length = ::read(events.get(), buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        wasMoved = wasMoved || (event->wd == moved && (event->mask & IN_MOVE_SELF) != 0);
        made += wasMoved && event->wd == watched && (event->mask & IN_CREATE) != 0;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return made;
  }
};

// A folder moved out of the root right after a folder is made in it or below it, through the
// export's own seam, or right after it is made itself: the folder whose making set off the move is
// the one more folder it receives, and the export stops there, naming the folder moved.
TEST_F(ImporterTest, AFolderMovedOutOfTheRootReceivesAtMostOneMoreFolder) {
  const fs::path root = folder_.path() / "root";
  const fs::path outside = folder_.path() / "outside";
  importer().updateExportConfig([](auto& config) { config.replaceIllegalChars = Ravelin::TextReplacement::none; });
  importer().addFilename("N", 6, false);
  for (const std::string within : {"", "deep/"}) {
    TokenValueProvider provider = importer().tokenProvider();
    provider.subfolders.clear();
    for (int i = 10; i < 30; ++i) provider.subfolders.push_back(within + "S" + std::to_string(i));
    importer().setTokenProvider(provider);
    // Run 0 moves the folder right after its sub-folders' parent is made; run n after its n-th sub-folder.
    for (int run = 0; run <= 20; ++run) {
      const fs::path moving = root / ("N" + std::to_string(2 + run % 4));
      const fs::path parent = within.empty() ? moving : moving / "deep";
      const fs::path trigger = run == 0 ? parent : parent / ("S" + std::to_string(9 + run));
      SCOPED_TRACE("within \"" + within + "\", after making " + trigger.string());
      fs::remove_all(root);
      fs::remove_all(outside);
      fs::create_directories(outside);
      MoveWatch watch;
      bool moved = false;
      FolderChain maker(root, FolderChain::Mode::make);
      maker.afterMaking([&](const fs::path& made) {
        if (made == moving)
          watch.moved = ::inotify_add_watch(watch.events.get(), moving.c_str(), IN_MOVE_SELF | IN_CREATE);
        if (made == parent)
          watch.watched =
              within.empty() ? watch.moved : ::inotify_add_watch(watch.events.get(), parent.c_str(), IN_CREATE);
        if (made != trigger) return;
        moved = true;
        fs::rename(moving, outside / "moved");
      });
      try {
        importer().forEachFolderLocation([&](FolderChain::Components location) { maker.visit(location); });
        ADD_FAILURE() << "the export went on after the move";
      } catch (const platform::FileSystemError& error) {
        // Moved between its making and its opening: found missing.
        EXPECT_EQ(trigger, moving) << error.what();
        EXPECT_EQ(error.code(), ENOENT) << error.what();
      } catch (const platform::Error& error) {
        EXPECT_EQ(error.description(), "The folder \xE2\x80\x9C" + trigger.string() +
                                            "\xE2\x80\x9D would lie outside the export folder.");
        EXPECT_EQ(error.failureReason(),
                  "The folder \xE2\x80\x9C" + moving.string() + "\xE2\x80\x9D was moved while the export ran.");
      }
      ASSERT_TRUE(moved);
      ASSERT_TRUE(watch.moved >= 0 && watch.watched >= 0) << std::strerror(errno);
      EXPECT_EQ(watch.madeAfterMove(), 0);
      EXPECT_TRUE(fs::is_directory(outside / "moved" / trigger.lexically_relative(moving)));
    }
  }
}

std::vector<std::string_view> componentsOf(const std::string& location) {
  std::vector<std::string_view> components;
  for (std::size_t start = 0; start < location.size();) {
    const std::size_t end = std::min(location.find('/', start), location.size());
    components.push_back(std::string_view(location).substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// A folder moved right after a given folder is made in it, through the chain's own seam: that
// folder is the last one made, and the error says which folder was moved, whichever check runs.
// A folder renamed in its own folder is still where the export holds it; one moved under another
// folder of the root stops the export as a move out of it does, and is not said to be outside.
TEST_F(ImporterTest, AFolderMovedOutOfTheRootIsSaidToBeMoved) {
  const fs::path base = folder_.path();
  const fs::path root = base / "root";
  struct Case {
    const char* what;
    std::vector<std::string> locations;
    std::string trigger;  // below the root: the folder whose making sets off the move
    std::string moved;    // below the root
    fs::path to;
    std::string next;     // below `to`: the folder made next, had the export gone on
    std::string named;    // the moved folder the error names, below the root; empty when it goes on
    bool remade = false;  // new folders take the moved ones' names
  };
  // Three levels or more: the resolution from the root runs first; one or two: only the walk.
  const Case cases[] = {
      {"the folder being filled", {"N/x/y/S1", "N/x/y/S2"}, "N/x/y/S1", "N/x/y", base / "outside/y", "S2", "N/x/y"},
      {"an upper level", {"N/x/y/S1", "N/x/y/S2"}, "N/x/y/S1", "N", base / "outside/N", "x/y/S2", "N"},
      {"an upper level while deeper ones are made", {"N/a/b/c/d/S1"}, "N/a/b/c", "N", base / "outside/N",
       "a/b/c/d", "N"},
      {"a level behind a link", {"L/x/y/S1", "L/x/y/S2"}, "L/x/y/S1", "real", base / "outside/real", "x/y/S2", "L"},
      {"an upper level, its names made again", {"N/x/y/S1", "N/x/y/S2"}, "N/x/y/S1", "N", base / "outside/N",
       "x/y/S2", "N", true},
      {"one level", {"N/S1", "N/S2"}, "N/S1", "N", base / "outside/N", "S2", "N"},
      {"a level renamed within the root", {"N/x/y/S1", "N/x/y/S2"}, "N/x/y/S1", "N", root / "M", "x/y/S2", ""},
      {"a level moved under another folder of the root", {"N/x/y/S1", "N/x/y/S2"}, "N/x/y/S1", "N/x/y", root / "y",
       "S2", "N/x/y"},
  };
  for (const Case& c : cases) {
    for (const bool everyLevel : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (everyLevel ? ", every level checked" : ", resolved from the root"));
      fs::remove_all(root);
      fs::remove_all(base / "outside");
      fs::create_directories(base / "outside");
      fs::create_directories(root / "real");
      fs::create_directory_symlink("real", root / "L");
      FolderChain chain(root, FolderChain::Mode::make);
      if (everyLevel) chain.checkEveryLevel();
      bool moved = false;
      chain.afterMaking([&](const fs::path& made) {
        if (moved || made != root / c.trigger) return;
        moved = true;
        fs::rename(root / c.moved, c.to);
        if (c.remade) fs::create_directories(root / c.trigger);
      });
      try {
        for (const std::string& location : c.locations) chain.visit(componentsOf(location));
        EXPECT_TRUE(c.named.empty()) << "the export went on in a moved folder";
      } catch (const platform::Error& error) {
        EXPECT_FALSE(c.named.empty()) << error.what();
        EXPECT_EQ(error.description(), "The folder \xE2\x80\x9C" + (root / c.trigger).string() +
                                            "\xE2\x80\x9D would lie outside the export folder.");
        EXPECT_EQ(error.failureReason(), "The folder \xE2\x80\x9C" + (root / c.named).string() +
                                             "\xE2\x80\x9D was moved while the export ran.");
      }
      EXPECT_TRUE(moved);
      EXPECT_EQ(fs::exists(c.to / c.next), c.named.empty());
    }
  }
}

}  // namespace
}  // namespace Pelmora_Zava::testing
