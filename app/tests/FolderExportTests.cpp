#include <gtest/gtest.h>

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

}  // namespace
}  // namespace Pelmora_Zava::testing
