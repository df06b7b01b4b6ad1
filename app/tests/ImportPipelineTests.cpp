#include "ImporterFixture.hpp"
#include "RecordCSV/CSVError.hpp"
#include "platform/core/Error.hpp"
#include "platform/io/FileData.hpp"

namespace Pelmora_Zava::testing {
namespace {

TEST_F(ImporterTest, HeaderGuess) {
  struct Case {
    Lines headers;
    std::optional<std::string> expected;
    std::optional<std::string> logLine;
  };
  const Case cases[] = {
      {{}, std::nullopt, std::nullopt},
      {{"ID", "Image Name", "Name"}, "Image Name", "Setting header from regex: Image Name"},
      {{"ID", "Title"}, "ID", "Setting header from first column: ID"},
      {{"Full Name", "x"}, "Full Name", "Setting header from first column: Full Name"},
  };
  for (const Case& c : cases) {
    takeLog();
    EXPECT_EQ(AsyncImporter::chooseFilenameHeader(c.headers), c.expected);
    EXPECT_EQ(takeLog(), c.logLine ? Lines{*c.logLine} : Lines{});
  }
  for (const char* header : {"Name", "name", "Filename", "fileName", "File Name", "image name", "Product-Image Name"})
    EXPECT_EQ(AsyncImporter::chooseFilenameHeader({"x", header}), header) << header;
  for (const char* header : {"Full Name", "NAME", "Names", "Surname", "File_Name", "name ", " Name", "File  Name"})
    EXPECT_EQ(AsyncImporter::chooseFilenameHeader({"x", header}), "x") << header;
}

// An import fails exactly when its datasource cannot be decoded under the settings it leaves in force.
TEST_F(ImporterTest, ImportsFailOnlyUnderTheSettingsTheyLeave) {
  struct Case {
    const char* name;
    const char* file;
    std::string contents;
    std::function<void(Ravelin::CSVImportConfig&)> before;
    bool failsBefore;  // under the settings in force before the import
    bool fails;
    Lines headers;
    Lines names;
  };
  const Case cases[] = {
      {"tab-separated with commas in fields", "a.tsv", "Name\tNote\nSmith, J\tx,y\n", nullptr, true, false,
       {"Name", "Note"}, {"Smith, J"}},
      {"tab-separated read first as comma without header", "a.tsv", "ID\tFilename\n1\tA\n2\tB\n",
       [](auto& c) { c.headerStrategy = Ravelin::Header::none; }, false, false, {"ID", "Filename"}, {"A", "B"}},
      {"quoted comma that the previous delimiter cannot read", "a.csv", "Name,Note\n\"Smith, J\",x\n",
       [](auto& c) { c.fieldDelimiter = Ravelin::Delimiter::space; }, true, false, {"Name", "Note"}, {"Smith, J"}},
      {"undecodable after the preset", "a.csv", "Name,Note\n\"Smith,x\n", nullptr, true, true, {}, {}},
  };
  for (const Case& c : cases) {
    importer_.reset();
    if (c.before) importer().updateImportConfig(c.before);
    auto file = write(c.file, c.contents);
    if (c.fails) {
      EXPECT_THROW(importer().importURL(file), RecordCSV::CSVReaderError) << c.name;
      EXPECT_FALSE(importer().fileView().has_value()) << c.name;
      continue;
    }
    if (c.failsBefore) {
      EXPECT_THROW(importer().importData(platform::Data::fromString(c.contents), std::nullopt), RecordCSV::CSVReaderError)
          << c.name;
    }
    EXPECT_NO_THROW(importer().importURL(file)) << c.name;
    EXPECT_EQ(importer().headers(), c.headers) << c.name;
    EXPECT_EQ(sourceNames(importer().fileNames()), c.names) << c.name;
  }
}

TEST_F(ImporterTest, FailedReadsLeaveTheDatasourceAlone) {
  auto good = write("good.csv", "Name\nSmith\n");
  importer().importURL(good);
  EXPECT_THROW(importer().importURL(folder_.path() / "missing.csv"), platform::Error);
  auto folder = folder_.path() / "folder.csv";
  std::filesystem::create_directory(folder);
  try {
    importer().importURL(folder);
    ADD_FAILURE() << "a folder imported";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(error.code(), 256);
    EXPECT_EQ(error.description(), "The file \u201Cfolder.csv\u201D couldn\u2019t be opened.");
  }
  EXPECT_THROW(importer().importURL(write("broken.rtf", "not rich text \xff")), platform::Error);
  EXPECT_EQ(importer().dataFile(), good);
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"Smith"}));
  EXPECT_EQ(importer().datasourceFilenames()[0]->context().value("Datasource"), "good");

  // A failed decode keeps the last view that decoded.
  importer().updateImportConfig([](auto& c) { c.textQualifier = Ravelin::TextQualifier::doubleQuote; });
  EXPECT_THROW(importer().importData(platform::Data::fromString("Name\n\"open\n"), "public.comma-separated-values-text"),
               RecordCSV::CSVReaderError);
  EXPECT_EQ(importer().headers(), (Lines{"Name"}));
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"Smith"}));
}

TEST_F(ImporterTest, ImportFromTextBytesAndRichText) {
  // Rich text: its plain text, the rich-text preset, the location kept.
  auto rtf = write("names.rtf", "{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}Smith\\par Jos\\'e9\\par}");
  importer().importURL(rtf);
  EXPECT_EQ(importer().dataFile(), rtf);
  EXPECT_EQ(importer().importConfig().headerStrategy, Ravelin::Header::none);
  EXPECT_EQ(importer().data()->view(), "Smith\nJos\u00e9\n");
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"Jos\u00e9", "Smith"}));

  // Bytes already read from a location, which is not opened again: a file import all the same.
  const auto pipe = folder_.path() / "gone" / "roster.tsv";
  const auto bytes = std::make_shared<const platform::Data>(platform::Data::fromString("Name\tShoot\nLee\tA\n"));
  takeLog();
  importer().importFile(pipe, bytes);
  EXPECT_EQ(takeLog().front(), "Importing public.tab-separated-values-text from url");
  EXPECT_EQ(importer().dataFile(), pipe);
  EXPECT_EQ(importer().data(), bytes);  // shared, not copied
  EXPECT_EQ(importer().headers(), (Lines{"Name", "Shoot"}));
  EXPECT_EQ(importer().datasourceFilenames()[0]->context().value("Datasource"), "roster");
  importer().importFile(pipe.parent_path() / "names.RTF", std::make_shared<const platform::Data>(platform::readFile(rtf)));
  EXPECT_EQ(importer().data()->view(), "Smith\nJos\u00e9\n");

  // Text: two preset runs, no location, bytes named in the log.
  takeLog();
  importer().importString("Name,Shoot\nLee,A\n", "public.comma-separated-values-text");
  Lines log = takeLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "Importing public.comma-separated-values-text from string");
  EXPECT_EQ(log[1], "Importing public.comma-separated-values-text from data");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Did Set ImportConfig"), 2);
  EXPECT_FALSE(importer().dataFile());
  EXPECT_EQ(importer().headers(), (Lines{"Name", "Shoot"}));
  EXPECT_FALSE(importer().datasourceFilenames()[0]->context().value("Datasource"));

  // Text already read: shared, logged as text, and decoded once under its preset.
  importer().updateImportConfig([](auto& c) { c.headerStrategy = Ravelin::Header::none; });
  const auto text = std::make_shared<const platform::Data>(platform::Data::fromString("Name\tShoot\nKim\tB\n"));
  takeLog();
  importer().importText(text, "public.tab-separated-values-text");
  EXPECT_EQ(takeLog(), concat({{"Importing public.tab-separated-values-text from string",
                                "Importing public.tab-separated-values-text from data", "Did Set ImportConfig",
                                "Decoding data and assigning headers", "Setting header from regex: Name",
                                "Did Set ExportConfig"},
                               parseAndCombine("Name", 1, 0, 1)}));
  EXPECT_EQ(importer().data(), text);
  EXPECT_FALSE(importer().dataFile());
  EXPECT_EQ(importer().importConfig().headerStrategy, Ravelin::Header::row);
  EXPECT_EQ(importer().headers(), (Lines{"Name", "Shoot"}));
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"Kim"}));

  // Absent bytes clear the view only, silently.
  importer().importData(std::nullopt, std::nullopt);
  EXPECT_TRUE(takeLog().empty());
  EXPECT_FALSE(importer().fileView());
  EXPECT_EQ(importer().headers(), (Lines{"Name", "Shoot"}));
  EXPECT_TRUE(importer().data());
  EXPECT_EQ(importer().fileNames().size(), 1u);

  // Unknown type: settings unchanged.
  importer().updateImportConfig([](auto& c) { c.fieldDelimiter = Ravelin::Delimiter::semiColon; });
  auto other = write("list.dat", "Name;Note\nKim;x\n");
  takeLog();
  importer().importURL(other);
  EXPECT_EQ(takeLog().front(), "Importing unknown type from url");
  EXPECT_EQ(importer().importConfig().fieldDelimiter, Ravelin::Delimiter::semiColon);
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"Kim"}));
}

TEST_F(ImporterTest, HeaderChoiceSurvivesExportChangesUntilTheNextDecode) {
  importer().importURL(write("r.csv", "ID,Name\n1,Smith\n"));
  importer().updateExportConfig([](auto& c) { c.selectedHeader = "ID"; });
  importer().updateExportConfig([](auto& c) { c.padDigits = 3; });
  importer().setTokenProvider(TokenValueProvider());
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"1"}));
  EXPECT_EQ(processedNames(importer().fileNames()), (Lines{"001"}));
  importer().updateImportConfig([](auto&) {});
  EXPECT_EQ(importer().exportConfig().selectedHeader, "Name");

  // A selected header the file lacks falls back to the whole record.
  importer().updateExportConfig([](auto& c) { c.selectedHeader = "Missing"; });
  EXPECT_EQ(sourceNames(importer().fileNames()), (Lines{"1 Smith"}));
}

TEST_F(ImporterTest, NoDatasourceResetsTheHeader) {
  importer().updateExportConfig([](auto& c) { c.selectedHeader = "Name"; });
  takeLog();
  importer().updateImportConfig([](auto&) {});
  EXPECT_EQ(takeLog(), (Lines{"Did Set ImportConfig", "No data to decode", "Did Set ExportConfig",
                              "No datasource set, resetting selected header.",
                              "No datasource available, setting empty filenames", "Did Set Datasource Filenames",
                              "Combining 0 datasource and 0 manual filenames", "There are now 0 total filenames"}));
  EXPECT_FALSE(importer().exportConfig().selectedHeader);
}

}  // namespace
}  // namespace Pelmora_Zava::testing
