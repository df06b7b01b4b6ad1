#include <gtest/gtest.h>

#include <functional>

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

}  // namespace
}  // namespace Pelmora_Zava::testing
