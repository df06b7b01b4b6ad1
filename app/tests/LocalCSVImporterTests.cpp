#include <gtest/gtest.h>

#include <fstream>
#include <limits>

#include "Pelmora_Zava/LocalCSVImporter.hpp"
#include "TestSupport.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace Pelmora_Zava::testing {
namespace {

using Texts = std::vector<std::string>;
using ContextEntries = std::map<std::string, std::string>;

class LocalCSVImporterTest : public ::testing::Test {
 protected:
  platform::ScopedSystemInfo machine{fixedMachine()};
  platform::CapturedLog capturedLog;
  platform::TemporaryDirectory folder;
  std::shared_ptr<LocalCSVImporter> importer =
      LocalCSVImporter::make(Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig());

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

  Texts takeLog() {
    Texts lines = capturedLog.lines();
    capturedLog.clear();
    return lines;
  }

  Texts processedNames() const {
    Texts names;
    for (const auto& record : importer->fileNames().get()) names.push_back(record->processedName());
    return names;
  }
};

TEST_F(LocalCSVImporterTest, StartsWithThreeHandMadeNamesThatBecomeOne) {
  Ravelin::CSVExportConfig removing;
  removing.replaceIllegalChars = Ravelin::TextReplacement::remove;
  platform::CapturedLog captured;
  importer = LocalCSVImporter::make(Ravelin::CSVImportConfig(), removing);
  EXPECT_EQ(captured.lines(), Texts{"Watching properties for changes"});
  EXPECT_EQ(importer->exportConfig().get().replaceIllegalChars, Ravelin::TextReplacement::underscore);
  ASSERT_EQ(importer->manualFilenames().get().size(), 3u);
  for (const auto& record : importer->manualFilenames().get()) {
    EXPECT_EQ(record->filename(), "1 Filename");
    EXPECT_TRUE(record->isEditable());
    EXPECT_TRUE(record->context().empty());
  }
  EXPECT_TRUE(importer->fileNames().get().empty());  // until the queues run
  settle();
  ASSERT_EQ(importer->fileNames().get().size(), 1u);
  EXPECT_EQ(importer->fileNames().get()[0], importer->manualFilenames().get()[0]);  // the first, itself
  EXPECT_FALSE(importer->dataFilename().get());
}

TEST_F(LocalCSVImporterTest, ImportsFilesByNameOnTheMainQueue) {
  importer->importURL(write("class.csv", "Name,Grade\nfile 10,3\nfile 9,2\nfile 1,1\n"));
  EXPECT_EQ(importer->dataFilename().get(), "class.csv");  // at once
  EXPECT_FALSE(importer->data().get());
  settle();
  EXPECT_EQ(importer->headers().get(), (Texts{"Name", "Grade"}));
  EXPECT_EQ(importer->exportConfig().get().selectedHeader, "Name");
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "file 1", "file 9", "file 10"}));
  const auto& records = importer->datasourceFilenames().get();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_FALSE(records[1]->isEditable());
  EXPECT_EQ(records[1]->context().entries(), (ContextEntries{{"$Grade", "2"}, {"$Name", "file 9"}, {"Index", "2"}}));
  const Texts log = takeLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Importing public.comma-separated-values-text from url");

  for (const std::filesystem::path& unreadable : {folder.path() / "missing.csv", folder.path()}) {
    try {
      importer->importURL(unreadable);
      ADD_FAILURE() << unreadable;
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.userInfo().get<std::string>("NSFilePath"), unreadable.string());
    }
  }
  EXPECT_EQ(platform::MainQueue::shared().drain(), 0u);  // nothing but the name changed
  EXPECT_EQ(importer->headers().get(), (Texts{"Name", "Grade"}));
}

// The name is set before the read, so a location that cannot be read is named too.
TEST_F(LocalCSVImporterTest, NamesTheDatasourceByTheLocationsLastComponent) {
  write("class.csv", "Name\nx\n");
  std::filesystem::create_directory(folder.path() / "roster");
  const struct {
    std::string location;
    bool readable;
    std::string name;
  } cases[] = {
      {"class.csv", true, "class.csv"},
      {"class.csv/", false, "class.csv"},
      {"roster/", false, "roster"},
      {"roster", false, "roster"},
  };
  for (const auto& c : cases) {
    const std::filesystem::path location = folder.path().string() + "/" + c.location;
    if (c.readable)
      importer->importURL(location);
    else
      EXPECT_THROW(importer->importURL(location), platform::Error) << c.location;
    EXPECT_EQ(importer->dataFilename().get(), c.name) << c.location;
  }
}

TEST_F(LocalCSVImporterTest, TextImportsLogAndDropTheFileName) {
  importer->importURL(write("a.csv", "Name\nx\n"));
  settle();
  takeLog();
  importer->importString("ID,Title\n7,b\n", std::nullopt);
  EXPECT_EQ(takeLog(), (Texts{"Importing unknown type from string", "Setting header from first column: ID",
                              "Parsing filenames with ID", "Updating filenames with header ID",
                              "Parsing filenames with ID", "Updating filenames with header ID"}));
  EXPECT_FALSE(importer->dataFilename().get());
  importer->importData(platform::Data::fromString("a b\n"), "public.plain-text");
  EXPECT_EQ(takeLog().front(), "Importing public.plain-text from data");
  settle();
  EXPECT_EQ(importer->exportConfig().get().selectedHeader, std::nullopt);
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "a b"}));
}

// Tokens come from the record's own context only; then the clean-up, white-space trim first.
TEST_F(LocalCSVImporterTest, ProcessesNamesWithTheirOwnContext) {
  importer->importString("Name,Grade\n{Index}-x,1\n{Year}{Name} y.z {Grade}\t,2\n{Index}{Index},3\n",
                         "public.comma-separated-values-text");
  importer->exportConfig().update([](Ravelin::CSVExportConfig& c) {
    c.replaceWhiteSpace = Ravelin::TextReplacement::hyphen, c.padDigits = 2;
  });
  settle();
  EXPECT_EQ(processedNames(), (Texts{"01-Filename", "01-x", "33", "y_z"}));
  EXPECT_TRUE(importer->fileNames().get()[0]->processedSubDirs().empty());

  importer->exportConfig().update([](Ravelin::CSVExportConfig& c) {
    c.trimStart = -2, c.trimEnd = std::numeric_limits<std::int64_t>::min();
    c.padDigits = std::numeric_limits<float>::infinity();
    c.filenameTransformation = Ravelin::TextTransformation::uppercase;
  });
  settle();
  EXPECT_EQ(processedNames(), (Texts{"1-FILENAME", "1-X", "33", "Y_Z"}));
}

TEST_F(LocalCSVImporterTest, OneRecordPerProcessedNameTheFirstKept) {
  importer->importString("Name\nSmith\nsmith\nSmith\n", "public.comma-separated-values-text");
  importer->addFilename("Smith", 0, false);
  settle();
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "smith", "Smith"}));
  const auto& datasource = importer->datasourceFilenames().get();
  EXPECT_EQ(importer->fileNames().get()[2], datasource[0]);

  importer->exportConfig().update(
      [](Ravelin::CSVExportConfig& c) { c.filenameTransformation = Ravelin::TextTransformation::uppercase; });
  settle();
  EXPECT_EQ(processedNames(), (Texts{"1 FILENAME", "SMITH"}));
  EXPECT_EQ(importer->fileNames().get()[1], datasource[0]);
  EXPECT_EQ(importer->manualFilenames().get().back()->processedName(), "SMITH");  // dropped, yet cleaned
}

// A new datasource whose names are the old ones as processed is still new: "bc" after "abc"
// with one character trimmed is trimmed again. The same names under another header are not.
TEST_F(LocalCSVImporterTest, NewDatasourceNamesEqualToTheOldProcessedOnesAreNew) {
  importer->exportConfig().update([](Ravelin::CSVExportConfig& c) { c.trimStart = 1; });
  importer->importString("Name,Copy\nabc,abc\n", "public.comma-separated-values-text");
  settle();
  const std::shared_ptr<Filename> first = importer->datasourceFilenames().get().at(0);
  EXPECT_EQ(processedNames(), (Texts{" Filename", "bc"}));

  importer->exportConfig().update([](Ravelin::CSVExportConfig& c) { c.selectedHeader = "Copy"; });
  settle();
  EXPECT_EQ(importer->datasourceFilenames().get().at(0), first);

  importer->importString("Name\nbc\n", "public.comma-separated-values-text");
  settle();
  ASSERT_EQ(importer->datasourceFilenames().get().size(), 1u);
  EXPECT_EQ(importer->datasourceFilenames().get()[0]->filename(), "bc");
  EXPECT_EQ(processedNames(), (Texts{" Filename", "c"}));
}

TEST_F(LocalCSVImporterTest, AddsNumberedCopies) {
  takeLog();
  importer->addFilename("Shot", 3, false);
  importer->addFilename("Shot", 2, true);
  importer->addFilename("a b\n", -1, false);
  EXPECT_EQ(takeLog(), (Texts{"Adding new filename: Shot 3 times", "Adding new filename: Shot 2 times",
                              "Adding new filename: a\xE2\x90\xA0" "b\xE2\x90\x8A"}));
  settle();
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "1Shot", "2Shot", "a b\n", "Shot1", "Shot2", "Shot3"}));
}

TEST_F(LocalCSVImporterTest, DecodingFailuresLandInErrorAndChangeNothingElse) {
  importer->importString("Name\nok\n", "public.comma-separated-values-text");
  settle();
  importer->importString("Name\n\"open\n", "public.comma-separated-values-text");
  settle();
  ASSERT_TRUE(importer->error().get());
  EXPECT_THROW(std::rethrow_exception(importer->error().get()), platform::Error);
  EXPECT_EQ(importer->headers().get(), (Texts{"Name"}));
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "ok"}));

  importer->importString("Name\nnew\n", "public.comma-separated-values-text");
  settle();
  EXPECT_FALSE(importer->error().get());
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "new"}));
}

// Absent data is skipped, not forgotten: the settings go on applying to the last bytes present.
TEST_F(LocalCSVImporterTest, SettingsChangedAfterDataWentAbsentDecodeTheLastBytes) {
  importer->importString("Name;Grade\nb;2\na;1\n", "public.comma-separated-values-text");
  settle();
  importer->data().set(std::nullopt);
  settle();
  EXPECT_EQ(importer->headers().get(), (Texts{"Name;Grade"}));  // nothing decoded
  importer->importConfig().update([](Ravelin::CSVImportConfig& c) { c.fieldDelimiter = Ravelin::Delimiter::semiColon; });
  settle();
  EXPECT_FALSE(importer->data().get());
  EXPECT_EQ(importer->headers().get(), (Texts{"Name", "Grade"}));
  EXPECT_EQ(importer->exportConfig().get().selectedHeader, "Name");
  EXPECT_EQ(processedNames(), (Texts{"1 Filename", "a", "b"}));
}

// Work queued on both queues, the file's hand-over included, outlives the importer harmlessly.
TEST_F(LocalCSVImporterTest, WorkQueuedForAGoneImporterIsDropped) {
  importer->importURL(write("late.csv", "Name\nc\n"));
  platform::MainQueue::shared().drain();
  importer->tokenProvider().update([](TokenValueProvider& provider) { provider.customTokens["x"] = "y"; });
  importer->addFilename("z", 2, true);
  const std::weak_ptr<LocalCSVImporter> gone = importer;
  importer.reset();
  ASSERT_TRUE(gone.expired());
  platform::MainQueue::shared().drain();  // whatever reached the main queue finds it gone
}

}  // namespace
}  // namespace Pelmora_Zava::testing
