#include "ImporterFixture.hpp"

namespace Pelmora_Zava::testing {
namespace {

const std::string kRoster =
    "Student ID,First Name,Last Name,Filename\n"
    "1,Anna,Smith,IMG_1.jpg\n"
    "2,Ben,Jones,IMG_2.jpg\n";

TEST_F(ImporterTest, NewImporterStartsEmptyWithUnderscoreReplacement) {
  Ravelin::CSVExportConfig given;
  given.replaceIllegalChars = Ravelin::TextReplacement::none;
  AsyncImporter fresh(Ravelin::CSVImportConfig(), given);
  EXPECT_EQ(fresh.exportConfig().replaceIllegalChars, Ravelin::TextReplacement::underscore);
  EXPECT_TRUE(fresh.headers().empty());
  EXPECT_TRUE(fresh.fileNames().empty());
  EXPECT_TRUE(fresh.datasourceFilenames().empty());
  EXPECT_TRUE(fresh.manualFilenames().empty());
  EXPECT_FALSE(fresh.dataFile() || fresh.data() || fresh.fileView() || fresh.error());
  EXPECT_EQ(fresh.tokenProvider(), TokenValueProvider());
  EXPECT_EQ(takeLog(), (Lines{"Did Set ExportConfig", "No datasource available, setting empty filenames",
                              "Did Set Datasource Filenames", "Combining 0 datasource and 0 manual filenames",
                              "There are now 0 total filenames"}));
}

TEST_F(ImporterTest, FileImportLogAndState) {
  auto file = write("Class 4B.csv", kRoster);
  importer();
  takeLog();
  importer().importURL(file);
  EXPECT_EQ(takeLog(), concat({{"Importing public.comma-separated-values-text from url", "Did Set ImportConfig",
                                "Decoding data and assigning headers", "Setting header from regex: Filename",
                                "Did Set ExportConfig"},
                               parseAndCombine("Filename", 2, 0, 2)}));
  EXPECT_EQ(importer().dataFile(), file);
  EXPECT_EQ(importer().headers(), (Lines{"Student ID", "First Name", "Last Name", "Filename"}));
  EXPECT_EQ(importer().exportConfig().selectedHeader, "Filename");
  EXPECT_EQ(processedNames(importer().fileNames()), (Lines{"IMG_1_jpg", "IMG_2_jpg"}));
  EXPECT_EQ(importer().datasourceFilenames()[1]->context().entries(),
            (std::map<std::string, std::string>{{"Index", "2"},
                                                {"Datasource", "Class 4B"},
                                                {"Student ID", "2"},
                                                {"First Name", "Ben"},
                                                {"Last Name", "Jones"},
                                                {"Filename", "IMG_2.jpg"}}));
}

// One change of each setting on a loaded importer: the observer's own line, then
// each step it runs, once.
TEST_F(ImporterTest, OneChangeOfEachSettingLogsItsObserverOnce) {
  struct Case {
    const char* name;
    std::function<void(AsyncImporter&)> change;
    Lines expected;
  };
  const Lines select = {"Decoding data and assigning headers", "Setting header from regex: Filename", "Did Set ExportConfig"};
  const Case cases[] = {
      {"import settings", [](AsyncImporter& i) { i.updateImportConfig([](auto& c) { c.trimWhitespace = false; }); },
       concat({{"Did Set ImportConfig"}, select, parseAndCombine("Filename", 2, 0, 2)})},
      {"equal import settings", [](AsyncImporter& i) { i.setImportConfig(i.importConfig()); },
       concat({{"Did Set ImportConfig"}, select, parseAndCombine("Filename", 2, 0, 2)})},
      {"export settings", [](AsyncImporter& i) { i.updateExportConfig([](auto& c) { c.padDigits = 3; }); },
       concat({{"Did Set ExportConfig"}, parseAndCombine("Filename", 2, 0, 2)})},
      {"token provider", [](AsyncImporter& i) { i.setTokenProvider(TokenValueProvider()); },
       concat({{"Did Set TokenProvider"}, parseAndCombine("Filename", 2, 0, 2)})},
      {"data", [](AsyncImporter& i) { i.setData(i.data()); }, concat({select, parseAndCombine("Filename", 2, 0, 2)})},
      {"hand-made name", [](AsyncImporter& i) { i.addFilename("Shot", 0, false); },
       {"Adding new filename: Shot", "Did Set Manual Filenames", "Combining 2 datasource and 1 manual filenames",
        "There are now 3 total filenames"}},
      {"datasource names through a binding",
       [](AsyncImporter& i) { i.setDatasourceFilenames({i.datasourceFilenames().front()}); },
       {"Did Set Datasource Filenames", "Combining 1 datasource and 0 manual filenames",
        "There are now 1 total filenames"}},
      {"error slot", [](AsyncImporter& i) { i.setError(std::make_exception_ptr(std::runtime_error("x"))); }, {}},
      {"combined list through a binding", [](AsyncImporter& i) { i.setFileNames({}); }, {}},
  };
  auto file = write("roster.csv", kRoster);
  for (const Case& c : cases) {
    importer_.reset();
    importer().importURL(file);
    takeLog();
    c.change(importer());
    EXPECT_EQ(takeLog(), c.expected) << c.name;
  }
}

TEST_F(ImporterTest, ListsAreRebuiltOrKeptAsTheirObserversSay) {
  importer().importURL(write("roster.csv", kRoster));
  auto before = importer().datasourceFilenames();
  importer().updateExportConfig([](auto& c) { c.padDigits = 2; });
  ASSERT_EQ(importer().datasourceFilenames().size(), 2u);
  EXPECT_NE(importer().datasourceFilenames()[0], before[0]);  // new records
  EXPECT_NE(importer().datasourceFilenames()[0]->id(), before[0]->id());
  EXPECT_EQ(processedNames(importer().fileNames()), (Lines{"IMG_01_jpg", "IMG_02_jpg"}));

  auto datasource = importer().datasourceFilenames();
  importer().addFilename("Shot", 0, false);
  EXPECT_EQ(importer().datasourceFilenames(), datasource);  // same record objects
  EXPECT_EQ(importer().fileNames().size(), 3u);

  // Records are shared between the lists.
  EXPECT_EQ(importer().fileNames()[2], importer().manualFilenames()[0]);
}

TEST_F(ImporterTest, ObjectWillChangeAnnouncesBeforeTheValueChanges) {
  std::vector<float> seen;
  auto subscription = importer().objectWillChange().sink([&] { seen.push_back(importer().exportConfig().padDigits); });
  importer().updateExportConfig([](auto& c) { c.padDigits = 4; });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0.0f);
  seen.clear();
  importer().setTokenProvider(TokenValueProvider());  // not published itself; the lists it rebuilds are
  EXPECT_FALSE(seen.empty());
}

}  // namespace
}  // namespace Pelmora_Zava::testing
