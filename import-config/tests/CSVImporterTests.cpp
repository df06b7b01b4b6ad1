#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "Ravelin/CSVImporter.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace Ravelin {
namespace {

using Names = CSVImporter::Names;

class CSVImporterTest : public ::testing::Test {
 protected:
  platform::CapturedLog capturedLog;
  std::shared_ptr<CSVImporter> importer = CSVImporter::make(CSVImportConfig(), CSVExportConfig());

  /// Runs the import queue and the main queue until neither has work left.
  void settle() {
    do importer->importQueue().waitUntilIdle();
    while (platform::MainQueue::shared().drain() > 0);
  }

  std::filesystem::path write(const std::string& name, const std::string& contents) {
    std::filesystem::path file = folder.path() / name;
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }

  std::vector<std::string> takeLog() {
    std::vector<std::string> lines = capturedLog.lines();
    capturedLog.clear();
    return lines;
  }

  platform::TemporaryDirectory folder;
};

TEST_F(CSVImporterTest, StartsWithUnderscoresAndNoNames) {
  CSVExportConfig removing;
  removing.replaceIllegalChars = TextReplacement::remove;
  platform::CapturedLog captured;
  auto fresh = CSVImporter::make(CSVImportConfig(), removing);
  EXPECT_EQ(fresh->exportConfig().get().replaceIllegalChars, TextReplacement::underscore);
  EXPECT_EQ(captured.lines(), std::vector<std::string>{"Watching properties for changes"});
  settle();
  EXPECT_TRUE(fresh->fileNames().get().empty());
  EXPECT_FALSE(fresh->data().get());
  EXPECT_FALSE(fresh->error().get());
}

TEST_F(CSVImporterTest, ImportsFilesOnTheMainQueueWithTheirPreset) {
  importer->importConfig().update([](CSVImportConfig& c) { c.headerStrategy = Header::none, c.startingRow = 4; });
  importer->importURL(write("class.tsv", "ID\tImage Name\n2\tb.jpg\n1\ta.jpg\n3\tb.jpg\n"));
  EXPECT_FALSE(importer->data().get());  // not before the main queue runs
  takeLog();
  settle();
  const CSVImportConfig& config = importer->importConfig().get();
  EXPECT_EQ(config.headerStrategy, Header::row);
  EXPECT_EQ(config.fieldDelimiter, Delimiter::tab);
  EXPECT_EQ(config.startingRow, 1);
  EXPECT_EQ(importer->headers().get(), (Names{"ID", "Image Name"}));
  EXPECT_EQ(importer->exportConfig().get().selectedHeader, "Image Name");
  EXPECT_EQ(importer->datasourceFilenames().get(), (Names{"b.jpg", "a.jpg", "b.jpg"}));
  EXPECT_EQ(importer->fileNames().get(), (Names{"a_jpg", "b_jpg"}));
  // First decoded without a header row, then under the preset.
  EXPECT_EQ(takeLog(), (std::vector<std::string>{
                           "Parsing filenames with no header", "No header specified, using rows as filenames",
                           "Parsing filenames with no header", "No header specified, using rows as filenames",
                           "Setting header from regex: Image Name", "Parsing filenames with Image Name",
                           "Updating filenames with header Image Name", "Parsing filenames with Image Name",
                           "Updating filenames with header Image Name",
                           "Importing public.tab-separated-values-text from url"}));

  for (const std::filesystem::path& unreadable : {folder.path() / "missing.csv", folder.path()}) {
    try {
      importer->importURL(unreadable);
      ADD_FAILURE() << unreadable;
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.userInfo().get<std::string>("NSFilePath"), unreadable.string());
    }
  }
  EXPECT_EQ(platform::MainQueue::shared().drain(), 0u);  // nothing was handed on
}

TEST_F(CSVImporterTest, NamesFromTheGuessedColumnOrWholeRecords) {
  struct Case {
    const char* text;
    std::optional<std::string> type;
    std::optional<std::string> selected;
    Names fileNames;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"Name\nfile 10\nfile 9\nfile 1\n", "public.comma-separated-values-text", "Name",
       {"file 1", "file 9", "file 10"},
       {"Importing public.comma-separated-values-text from string", "Setting header from regex: Name",
        "Parsing filenames with Name", "Updating filenames with header Name", "Parsing filenames with Name",
        "Updating filenames with header Name"}},
      {"ID,Title\n7,x\n", std::nullopt, "ID", {"7"},
       {"Importing unknown type from string", "Setting header from first column: ID", "Parsing filenames with ID",
        "Updating filenames with header ID", "Parsing filenames with ID", "Updating filenames with header ID"}},
      {"a,b\nc,d\n", "public.plain-text", std::nullopt, {"a b", "c d"},
       {"Importing public.plain-text from string", "Setting header from first column: a", "Parsing filenames with a",
        "Updating filenames with header a", "Parsing filenames with a", "Updating filenames with header a",
        "Parsing filenames with no header", "No header specified, using rows as filenames",
        "Parsing filenames with no header", "No header specified, using rows as filenames"}},
  };
  for (const Case& c : cases) {
    importer = CSVImporter::make(CSVImportConfig(), CSVExportConfig());
    takeLog();
    importer->importString(c.text, c.type);
    EXPECT_EQ(takeLog(), c.log) << c.text;
    settle();
    EXPECT_EQ(importer->exportConfig().get().selectedHeader, c.selected) << c.text;
    EXPECT_EQ(importer->fileNames().get(), c.fileNames) << c.text;
  }

  importer->exportConfig().update([](CSVExportConfig& c) { c.selectedHeader = "Missing"; });
  EXPECT_TRUE(importer->datasourceFilenames().get().empty());  // a header the file lacks gives none
}

TEST_F(CSVImporterTest, FinalListIsCleanedDistinctAndSorted) {
  importer->importData(platform::Data::fromString("Name\nSmith\nCaf\xC3\xA9\nb.c\n"),
                       "public.comma-separated-values-text");
  importer->addFilename("Smith");
  importer->addFilename("Cafe\xCC\x81");  // canonically equal to the datasource's
  EXPECT_EQ(takeLog().back(), "Adding new filename: Cafe\xCC\x81");
  std::vector<Names> published;
  auto subscription = importer->fileNames().publisher().sink([&](const Names& names) { published.push_back(names); });
  std::vector<std::size_t> sizesBeforeChanges;  // announced before the change: the old list
  auto announcements = importer->objectWillChange().sink(
      [&] { sizesBeforeChanges.push_back(importer->fileNames().get().size()); });
  settle();
  EXPECT_EQ(sizesBeforeChanges, std::vector<std::size_t>{0});
  EXPECT_EQ(importer->manualFilenames().get(), (Names{"Smith", "Cafe\xCC\x81"}));
  EXPECT_EQ(importer->fileNames().get(), (Names{"b_c", "Caf\xC3\xA9", "Smith"}));
  EXPECT_EQ(published.size(), 1u);  // the lists asked for meanwhile were superseded

  // The export settings' own clean-up order: padding before the trims; bad numbers count as none.
  importer->exportConfig().update([](CSVExportConfig& c) {
    c.padDigits = 3, c.trimStart = 1, c.filenameTransformation = TextTransformation::uppercase;
  });
  importer->addFilename("7a");
  settle();
  EXPECT_EQ(importer->fileNames().get(), (Names{"_C", "07A", "AF\xC3\x89", "MITH"}));
  importer->exportConfig().update([](CSVExportConfig& c) {
    c.padDigits = std::numeric_limits<float>::quiet_NaN(), c.trimStart = -3, c.trimEnd = -1;
    c.filenameTransformation = TextTransformation::none;
  });
  settle();
  EXPECT_EQ(importer->fileNames().get(), (Names{"7a", "b_c", "Caf\xC3\xA9", "Smith"}));
}

TEST_F(CSVImporterTest, DecodingFailuresLandInError) {
  importer->addFilename("x.y");
  std::size_t errors = 0;
  auto subscription = importer->error().publisher().sink([&](const std::exception_ptr&) { ++errors; });
  importer->importString("Name\n\"open\n", "public.comma-separated-values-text");
  settle();
  ASSERT_TRUE(importer->error().get());
  EXPECT_THROW(std::rethrow_exception(importer->error().get()), platform::Error);
  EXPECT_TRUE(importer->headers().get().empty());
  EXPECT_TRUE(importer->datasourceFilenames().get().empty());
  EXPECT_EQ(importer->fileNames().get(), (Names{"x_y"}));
  EXPECT_GE(errors, 1u);

  importer->importString("Name\nok\n", "public.comma-separated-values-text");
  settle();
  EXPECT_FALSE(importer->error().get());
  EXPECT_EQ(importer->fileNames().get(), (Names{"ok", "x_y"}));
}

// Headers differ while the rows are the same: the new file's headers still count.
TEST_F(CSVImporterTest, SameRowsUnderOtherHeadersAreANewResult) {
  importer->importString("Name\n", "public.comma-separated-values-text");
  importer->importString("Title\n", "public.comma-separated-values-text");
  EXPECT_EQ(importer->headers().get(), (Names{"Title"}));
  EXPECT_EQ(importer->exportConfig().get().selectedHeader, "Title");
}

TEST_F(CSVImporterTest, WorkQueuedForAGoneImporterIsDropped) {
  importer->importString("Name\na\nb\n", "public.comma-separated-values-text");
  importer->importURL(write("late.csv", "Name\nc\n"));
  std::weak_ptr<CSVImporter> weak = importer;
  importer.reset();  // joins its queue, whose work finds the importer gone
  EXPECT_TRUE(weak.expired());
  platform::MainQueue::shared().drain();
}

}  // namespace
}  // namespace Ravelin
