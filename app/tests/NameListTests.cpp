#include <cstring>
#include <set>

#include "DatasourceContext.hpp"
#include "ImporterFixture.hpp"
#include "QVExtensions/NaturalOrder.hpp"
#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava::testing {
namespace {

// Names imported one per line (plain text), with export settings, give the combined list.
TEST_F(ImporterTest, CombinedListFromPlainText) {
  struct Case {
    const char* name;
    std::string text;
    std::function<void(Ravelin::CSVExportConfig&)> settings;
    Lines expected;
    Lines sources;  // of the surviving records, when it matters which survived
  };
  const Case cases[] = {
      {"duplicates dropped, first survives", "Smith\nsmith\nSmith\n", nullptr, {"smith", "Smith"}, {"smith", "Smith"}},
      {"upper case collapses all into the first",
       "Smith\nsmith\nSmith\n",
       [](auto& c) { c.filenameTransformation = Ravelin::TextTransformation::uppercase; },
       {"SMITH"},
       {"Smith"}},
      {"natural order", "file 10\nfile 9\nfile 1\n", nullptr, {"file 1", "file 9", "file 10"}, {}},
      {"canonically equal names are one", "Caf\u00e9\nCafe\u0301\n", nullptr, {"Caf\u00e9"}, {"Caf\u00e9"}},
      {"digit padding", "a7b12\n", [](auto& c) { c.padDigits = 3; }, {"a007b012"}, {}},
      {"padding width truncated", "a7\n", [](auto& c) { c.padDigits = 2.9f; }, {"a07"}, {}},
      {"character trims", "abcdef\n", [](auto& c) { c.trimStart = 2, c.trimEnd = 2; }, {"cd"}, {}},
      {"trim past the end", "abcdef\n", [](auto& c) { c.trimStart = 10; }, {""}, {}},
      {"negative trims cut nothing", "abc\n", [](auto& c) { c.trimStart = -2, c.trimEnd = -1; }, {"abc"}, {}},
      {"illegal characters", "a.b/c:d\\e\n", nullptr, {"a_b_c_d_e"}, {}},
      {"illegal characters removed", "a.b/c:d\\e\n",
       [](auto& c) { c.replaceIllegalChars = Ravelin::TextReplacement::remove; }, {"abcde"}, {}},
      {"white space replaced after trimming", " Jane Doe \n",
       [](auto& c) { c.replaceWhiteSpace = Ravelin::TextReplacement::underscore; }, {"Jane_Doe"}, {}},
      {"case change before white space", "jane doe\n",
       [](auto& c) {
         c.filenameTransformation = Ravelin::TextTransformation::capitalize;
         c.replaceWhiteSpace = Ravelin::TextReplacement::hyphen;
       },
       {"Jane-Doe"}, {}},
      {"trims count characters", "e\u0301ab\r\n", [](auto& c) { c.trimStart = 1; }, {"ab"}, {}},
  };
  for (const Case& c : cases) {
    importer_.reset();
    if (c.settings) importer().updateExportConfig(c.settings);
    importer().importString(c.text, "public.plain-text");
    EXPECT_EQ(processedNames(importer().fileNames()), c.expected) << c.name;
    if (!c.sources.empty()) {
      EXPECT_EQ(sourceNames(importer().fileNames()), c.sources) << c.name;
    }
  }
}

TEST_F(ImporterTest, WhiteSpaceTrimmingFollowsTheImportSetting) {
  importer().updateExportConfig([](auto& c) { c.replaceWhiteSpace = Ravelin::TextReplacement::underscore; });
  importer().updateImportConfig([](auto& c) { c.trimWhitespace = false; });
  EXPECT_EQ(importer().processName(" Jane Doe "), "_Jane_Doe_");
  importer().updateImportConfig([](auto& c) { c.trimWhitespace = true; });
  EXPECT_EQ(importer().processName(" Jane Doe \n"), "Jane_Doe__");
}

TEST_F(ImporterTest, HandMadeNames) {
  struct Case {
    std::string name;
    std::int64_t times;
    bool indexMode;
    Lines added;
    std::string logLine;
  };
  const Case cases[] = {
      {"Shot", 3, false, {"Shot1", "Shot2", "Shot3"}, "Adding new filename: Shot 3 times"},
      {"Shot", 3, true, {"1Shot", "2Shot", "3Shot"}, "Adding new filename: Shot 3 times"},
      {"Shot", 0, false, {"Shot"}, "Adding new filename: Shot"},
      {"Shot", -2, true, {"Shot"}, "Adding new filename: Shot"},
      {"a b\nc", 0, false, {"a b\nc"}, "Adding new filename: a\u2420b\u240Ac"},
      {"", 0, false, {""}, "Adding new filename: "},
  };
  for (const Case& c : cases) {
    importer_.reset();
    importer();
    takeLog();
    importer().addFilename(c.name, c.times, c.indexMode);
    EXPECT_EQ(sourceNames(importer().manualFilenames()), c.added) << c.name;
    Lines log = takeLog();
    ASSERT_EQ(log.size(), 4u) << c.name;  // one observer run for the whole batch
    EXPECT_EQ(log[0], c.logLine);
    EXPECT_EQ(log[1], "Did Set Manual Filenames");
    for (const auto& record : importer().manualFilenames()) {
      EXPECT_TRUE(record->isEditable());
      EXPECT_TRUE(record->context().empty());
    }
  }
  // A hand-made name equal to a datasource name stays in its own list only.
  importer_.reset();
  importer().importString("Smith\n", "public.plain-text");
  importer().addFilename("Smith", 0, false);
  EXPECT_EQ(processedNames(importer().fileNames()), (Lines{"Smith"}));
  EXPECT_FALSE(importer().fileNames()[0]->isEditable());
  EXPECT_EQ(importer().manualFilenames().size(), 1u);
}

TEST_F(ImporterTest, TokensInTheImporter) {
  struct Case {
    const char* name;
    std::vector<std::string> root;
    std::vector<std::string> subfolders;
    Lines names;  // processed names, then the first record's sub-folders
    Lines subdirs;
  };
  const Case cases[] = {
      {"datasource and fields", {"{Datasource}-{Last}"}, {}, {"class-Jones", "class-Smith"}, {}},
      {"a header named Index wins", {"{Index}"}, {}, {"7", "8"}, {}},
      {"sub-folders", {"{Filename}"}, {"{Parent Folder} 1", "{Index}-{Filename}"}, {"a", "b"}, {"a 1", "2-a"}},
      {"sub-folders are cleaned", {"{Filename}"}, {"{Year}.{Month}"}, {"a", "b"}, {"2026_3"}},
      {"date tokens", {"{Filename} {Day}"}, {}, {"a 7", "b 7"}, {}},
  };
  auto file = write("class.csv", "Filename,Last,Index\na,Smith,7\nb,Jones,8\n");
  for (const Case& c : cases) {
    importer_.reset();
    importer().importURL(file);
    TokenValueProvider provider;
    provider.rootFolder = c.root;
    provider.subfolders = c.subfolders;
    importer().setTokenProvider(provider);
    EXPECT_EQ(processedNames(importer().fileNames()), c.names) << c.name;
    EXPECT_EQ(importer().fileNames()[0]->processedSubDirs(), c.subdirs) << c.name;
  }
  // Hand-made names have no index; an empty expression list leaves the name as it is.
  TokenValueProvider indexOnly;
  indexOnly.rootFolder = {"[{Index}]"};
  importer().setTokenProvider(indexOnly);
  importer().addFilename("x", 0, false);
  EXPECT_EQ(importer().manualFilenames()[0]->processedName(), "[]");
  TokenValueProvider none;
  none.rootFolder.clear();
  importer().setTokenProvider(none);
  EXPECT_EQ(importer().manualFilenames()[0]->processedName(), "x");
}

TEST_F(ImporterTest, ProcessFilenameIsSilentAndMatchesTheList) {
  importer().importURL(write("r.csv", "Name\nJo Lee\n"));
  importer().updateExportConfig([](auto& c) { c.replaceWhiteSpace = Ravelin::TextReplacement::hyphen; });
  auto lists = std::make_tuple(importer().fileNames(), importer().datasourceFilenames(), importer().manualFilenames());
  takeLog();
  Filename fresh("Jo Lee");
  importer().processFilename(fresh);
  EXPECT_EQ(fresh.processedName(), importer().fileNames()[0]->processedName());
  EXPECT_TRUE(takeLog().empty());
  EXPECT_EQ(lists, std::make_tuple(importer().fileNames(), importer().datasourceFilenames(), importer().manualFilenames()));
}

// The parse shares one context table among records; it must agree with the per-record builder.
TEST_F(ImporterTest, SharedContextAgreesWithRecordBuilder) {
  importer().importURL(write("Shoot.csv", "Index,Datasource,Name\n5,D,a\n6,E,b\n"));
  const auto& view = *importer().fileView();
  for (std::size_t i = 0; i < view.size(); ++i) {
    auto built = importer().makeDatasourceFilename(i, view.record(i), view.headers());
    EXPECT_EQ(built->context().entries(), importer().datasourceFilenames()[i]->context().entries());
    EXPECT_EQ(built->filename(), importer().datasourceFilenames()[i]->filename());
    EXPECT_FALSE(built->isEditable());
  }
  EXPECT_EQ(importer().datasourceFilenames()[1]->context().value("Index"), "6");

  importer().importString("a,b\n", "public.plain-text");  // no headers, no datasource file
  EXPECT_EQ(importer().datasourceFilenames()[0]->context().entries(), (std::map<std::string, std::string>{{"Index", "1"}}));
  EXPECT_EQ(importer().datasourceFilenames()[0]->filename(), "a b");
}

// Token look-ups of header spellings the file has are answered from a table made once; every key,
// spelled as the headers are or only canonically alike, short rows and wide files, must get what the
// file's header lookup gives.
TEST(DatasourceContext, FindAgreesWithTheHeaderLookup) {
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += (i ? ",h" : "h") + std::to_string(i);
  const std::string texts[] = {"Caf\u00e9,Name,Index\nx,a,7\ny,b,\n", wide + "\n" + wide + "\n", "Name,name\nx,y\n"};
  const std::vector<std::string> keys = {"Caf\u00e9", "Cafe\u0301", "Name", "name", "Index", "Datasource", "h3", "h39",
                                         "$Caf\u00e9", "$Cafe\u0301", "$Name", "$Index", "$h39", "", "$"};
  for (const std::string& text : texts) {
    Ravelin::CSVImportConfig config;
    const RecordCSV::CSVReader::FileView view = RecordCSV::CSVReader::decode(text, config.readerConfiguration());
    for (const char* prefix : {"", "$"}) {
      const DatasourceContext context(view, "Shoot", prefix);
      for (std::size_t row = 0; row < view.size(); ++row) {
        for (const std::string& key : keys) {
          std::optional<std::string> expected;
          const std::string_view rest = std::string_view(key).substr(std::min(key.size(), std::strlen(prefix)));
          std::optional<std::size_t> column;
          if (!view.headers().empty() && key.starts_with(prefix)) column = view.lookup().find(rest);
          if (column) {
            if (*column < view[row].size()) expected = std::string(view[row][*column]);
          } else if (key == "Datasource") {
            expected = "Shoot";
          } else if (key == "Index") {
            expected = std::to_string(row + 1);
          }
          std::string scratch;
          const std::optional<std::string_view> found = context.find(row, key, scratch);
          EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, expected) << prefix << " " << key << " " << row;
        }
      }
    }
  }
}

}  // namespace
}  // namespace Pelmora_Zava::testing

namespace Pelmora_Zava::testing {
namespace {

// Lists long enough to be processed on several threads give what one thread would.
TEST_F(ImporterTest, LongListsMatchAOneThreadReference) {
  std::string text = "Name,Shoot\n";
  std::uint32_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t n = (state >> 8) % 14000;  // repeats give duplicates
    text += (n % 3 ? "Shot " : "shot ") + std::to_string(n) + (n % 7 ? "" : ".b") + "," + std::to_string(i % 5) + "\n";
  }
  importer().updateExportConfig([](auto& c) { c.padDigits = 6; });
  TokenValueProvider provider;
  provider.rootFolder = {"{Filename} {Shoot}"};
  importer().setTokenProvider(provider);
  importer().importString(text, "public.comma-separated-values-text");

  // Reference: each record processed alone, the first of each name kept, a stable sort.
  std::vector<std::shared_ptr<Filename>> reference;
  std::set<std::string> seen;
  for (const auto& record : importer().datasourceFilenames()) {
    Filename alone(record->filename(), false, record->context());
    importer().processFilename(alone);
    ASSERT_EQ(alone.processedName(), record->processedName());
    if (seen.insert(record->processedName()).second) reference.push_back(record);
  }
  std::stable_sort(reference.begin(), reference.end(), [](const auto& a, const auto& b) {
    return QVExtensions::naturalOrderLess(a->processedName(), b->processedName());
  });
  ASSERT_EQ(importer().fileNames().size(), reference.size());
  EXPECT_LT(reference.size(), 20000u);
  for (std::size_t i = 0; i < reference.size(); ++i)
    ASSERT_EQ(importer().fileNames()[i], reference[i]) << i << " " << reference[i]->processedName();
}

}  // namespace
}  // namespace Pelmora_Zava::testing
