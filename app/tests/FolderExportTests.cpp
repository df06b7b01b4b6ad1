#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <thread>

#include "ImporterFixture.hpp"
#include "platform/io/FileSystem.hpp"

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
  };
  const Case cases[] = {
      {"a file in a sub-folder's place",
       [&] {
         fs::create_directories(base / "root/A");
         write("root/A/S1", "");
       },
       base / "root"},
      {"a file in the name folder's place",
       [&] {
         fs::create_directory(base / "root");
         write("root/A", "");
       },
       base / "root"},
      {"a link to a file inside the root",
       [&] {
         fs::create_directory(base / "root");
         fs::create_symlink(write("root/file", ""), base / "root/A");
       },
       base / "root"},
      {"a file in the root's place", [&] { write("root", ""); }, base / "root"},
      {"a file above the root", [&] { write("root", ""); }, base / "root/below"},
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
    }
  }
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

}  // namespace
}  // namespace Pelmora_Zava::testing
