// Runs the built pelmora-zava on files in a temporary folder, as a person would.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "CommandHarness.hpp"
#include "Pelmora_Zava/TokenValueProvider.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const char* roster =
    "Student ID,First Name,Last Name,Image Name\n"
    "3,Émile,Dubois,IMG 10\n"
    "1,Anna,Smith,IMG 9\n"
    "2,Ben,O'Brien,IMG 1.jpg\n";

TEST_F(Command, PrintsProcessedNamesInNaturalOrder) {
  const fs::path file = write("roster.csv", roster);
  struct Case {
    std::vector<std::string> arguments;
    std::string expected;
    std::string input = "c d\na b\n";
  };
  const Case cases[] = {
      {{file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\n"},
      {{file.string(), "--pad-digits", "2.9"}, "IMG 01_jpg\nIMG 09\nIMG 10\n"},
      {{"--add", "7", "--pad-digits", "255"}, std::string(254, '0') + "7\n"},
      {{file.string(), "--whitespace", "hyphen", "--pad-digits", "3"}, "IMG-001_jpg\nIMG-009\nIMG-010\n"},
      {{file.string(), "--name-column", "Last Name", "--case", "uppercase"}, "DUBOIS\nO'BRIEN\nSMITH\n"},
      {{file.string(), "--folder", "{Last Name} {Index}", "--trim-end", "2"}, "Dubois\nO'Brien\nSmith\n"},
      {{file.string(), "--folder", "{Client}-{Filename}", "--token", "Client=Acme", "--illegal", "remove"},
       "Acme-IMG 1jpg\nAcme-IMG 9\nAcme-IMG 10\n"},
      {{"--add", "Shot", "--add-series", "Take", "2", "--number-first"}, "1Take\n2Take\nShot\n"},
      {{"-", "--type", "public.plain-text"}, "a b\nc d\n"},
      // Rich text on standard input is read as its plain text, without a header row.
      {{"-", "--type", "public.rtf"}, "Anna\nBen 2\n",
       "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Ben 2\\par Anna\\par}"},
      {{"-", "--type", "public.comma-separated-values-text"}, "a b\nc d\n", "Name\nc d\na b\n"},
      // Each occurrence of a repeatable option takes its own values only; the datasource stays the datasource.
      {{"--add", "Shot", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\nShot\n"},
      {{"--add-series", "Take", "1", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\nTake1\n"},
      {{"--folder", "{C}{Index}", "--token", "C=x", file.string()}, "x1\nx2\nx3\n"},
      {{"--subfolder", "s", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments, c.input);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, c.expected) << c.arguments.front();
    EXPECT_EQ(outcome.err, "");
  }
}

TEST_F(Command, ExportsTheTreeAndDryRunCreatesNothing) {
  const fs::path file = write("roster.csv", roster);
  const fs::path root = folder_ / "out";
  const std::vector<std::string> subfolders = {"--subfolder", "RAW", "--subfolder", "{Parent Folder} selects"};

  std::vector<std::string> arguments = {file.string(), "--name-column", "Last Name", "--export", root.string()};
  arguments.insert(arguments.end(), subfolders.begin(), subfolders.end());
  std::vector<std::string> dryRun = arguments;
  dryRun.push_back("--dry-run");

  const Outcome preview = run(dryRun);
  EXPECT_EQ(preview.status, 0) << preview.err;
  EXPECT_EQ(preview.out, (root / "Dubois/RAW").string() + "\n" + (root / "Dubois/Dubois selects").string() + "\n" +
                             (root / "O'Brien/RAW").string() + "\n" + (root / "O'Brien/O'Brien selects").string() +
                             "\n" + (root / "Smith/RAW").string() + "\n" + (root / "Smith/Smith selects").string() +
                             "\n");
  EXPECT_FALSE(fs::exists(root));

  for (int time = 0; time < 2; ++time) {  // a second export into the same root changes nothing
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "Exported 6 directories\n");
  }
  EXPECT_EQ(tree(root), (std::vector<std::string>{"Dubois/", "Dubois/Dubois selects/", "Dubois/RAW/", "O'Brien/",
                                                  "O'Brien/O'Brien selects/", "O'Brien/RAW/", "Smith/",
                                                  "Smith/RAW/", "Smith/Smith selects/"}));
}

TEST_F(Command, NothingIsCreatedOutsideTheRoot) {
  const fs::path root = folder_ / "out";
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> tree;
    std::string error;
  };
  const Case cases[] = {
      // Slashes nest folders; empty components are dropped.
      {{"--illegal", "none", "--add", "/a//b/", "--export", root.string()}, 0, {"a/", "a/b/"}, ""},
      {{"--illegal", "none", "--add", "ok", "--add", "../escape", "--export", root.string()}, 1, {}, "../escape"},
      {{"--illegal", "none", "--add", "ok", "--subfolder", "..", "--export", root.string()}, 1, {}, "\xE2\x80\x9C..\xE2\x80\x9D"},
      {{"--illegal", "none", "--add", "a/./b", "--export", root.string()}, 1, {}, "a/./b"},
      // A name that cleans to nothing is skipped instead of landing in the root.
      {{"--add", "ok", "--add", "  ", "--whitespace", "remove", "--subfolder", "s", "--export", root.string()},
       0, {"ok/", "ok/s/"}, "pelmora-zava: Skipped 1 record whose folder name is empty\n"},
  };
  for (const Case& c : cases) {
    fs::remove_all(root);
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_EQ(tree(root), c.tree);
    EXPECT_NE(outcome.err.find(c.error), std::string::npos) << outcome.err;
  }
  fs::remove_all(root);
  EXPECT_EQ(tree(folder_), (std::vector<std::string>{".stderr", ".stdin", ".stdout"}));
}

TEST_F(Command, FailuresExitWithTheirReasons) {
  const fs::path blocked = write("blocked", "a file where a folder should go");
  const fs::path badQuote = write("bad.csv", "Filename\nab\"c\n");
  const fs::path semicolons = write("semi.csv", "Filename;Other\nx\"y;1\n");
  const fs::path folderSource = folder_ / "shoot.csv";
  fs::create_directory(folderSource);
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string error;
  };
  const Case cases[] = {
      {{"--add", "x", "--export", (blocked / "root").string()}, 1, "", (blocked / "root" / "x").string()},
      {{badQuote.string()}, 1, "",
       "The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.\n"
       "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar "
       "found within the field.\n"},
      // Import options given after a failed import decode it anew.
      {{semicolons.string(), "--delimiter", "semicolon", "--qualifier", "none"}, 0, "x\"y\n", ""},
      {{(folder_ / "missing.csv").string()}, 1, "", "missing.csv"},
      {{folderSource.string()}, 1, "", "The file \xE2\x80\x9Cshoot.csv\xE2\x80\x9D couldn\xE2\x80\x99t be opened."},
      {{"--delimiter", "pipe"}, 2, "", "--delimiter"},
      {{"--encoding", "no-such-encoding"}, 2, "", "no-such-encoding"},
      {{"--token", "novalue"}, 2, "", "NAME=VALUE"},
      {{"--dry-run"}, 2, "", "--export"},
      {{"--add-series", "x", "1000000000000"}, 2, "", "at most 1000000 copies"},
      {{"--add", "x", "--export", ""}, 2, "", "--export takes a folder"},
      {{"--add-series", "x", "0"}, 2, "", "--add-series takes a COUNT of 1 or more, not 0"},
      {{"--add-series", "x", "-3"}, 2, "", "--add-series takes a COUNT of 1 or more, not -3"},
      // A choice is taken by its name, never by the number behind it.
      {{"--delimiter", "0"}, 2, "", "--delimiter: takes tab, comma, semicolon or space, not \"0\""},
      {{"--case", "3"}, 2, "", "--case"},
      {{"--header", "1"}, 2, "", "--header"},
      {{"--trim-start", "-1"}, 2, "", "--trim-start: takes a whole number, 0 or more, not \"-1\""},
      {{"--trim-end", "-1"}, 2, "", "0 or more"},
      {{"--starting-row", "0"}, 2, "", "1 or more"},
      // A width to pad to is a finite number within the cap, never silently changed.
      {{"--add", "7", "--pad-digits", "nan"}, 2, "", "--pad-digits: takes a number from 0 to 255, not \"nan\""},
      {{"--add", "7", "--pad-digits", "inf"}, 2, "", "not \"inf\""},
      {{"--add", "7", "--pad-digits", "-0.5"}, 2, "", "not \"-0.5\""},
      {{"--add", "7", "--pad-digits", "255.5"}, 2, "", "not \"255.5\""},
      {{"--add", "7", "--pad-digits", "1e400"}, 2, "", "not \"1e400\""},
      {{"--add", "7", "--pad-digits", "2x"}, 2, "", "not \"2x\""},
      {{""}, 2, "", "DATASOURCE is an empty text"},
      // A file's type comes from its extension; --type names standard input's, from a closed list.
      {{semicolons.string(), "--type", "public.plain-text"}, 2, "", "--type goes with standard input"},
      {{"--add", "x", "--type", "public.plain-text"}, 2, "", "--type goes with standard input"},
      {{"-", "--type", "public.csv"}, 2, "",
       "--type: takes public.comma-separated-values-text, public.tab-separated-values-text, public.plain-text or "
       "public.rtf, not \"public.csv\""},
      {{"--no-such-option"}, 2, "", "--no-such-option"},
      {{"--add"}, 2, "", "--add"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments.front() << "\n" << outcome.err;
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_NE(outcome.err.find(c.error), std::string::npos) << outcome.err;
    EXPECT_LT(outcome.err.size(), 400u) << outcome.err;
    if (!outcome.err.empty()) {
      EXPECT_TRUE(outcome.err.starts_with("pelmora-zava: ")) << outcome.err;
    }
  }
  EXPECT_FALSE(fs::exists(folder_ / "x"));
}

TEST_F(Command, DecodeFailuresEndTheCommandWithTheReaderTextAndACure) {
  const fs::path semicolons = write("semi.csv", "x,y\na;b,c\n");
  const fs::path oddUTF8 = write("odd.csv", "Name\nabc\n");
  const fs::path utf32 = write("utf32.csv", std::string("\xFF\xFE\0\0N\0\0\0", 8));
  const fs::path duplicate = write("dup.csv", "Name,Name\na,b\n");
  const fs::path nul = write("nul.csv", std::string("Name\na\0b\n", 9));
  const fs::path folderSource = folder_ / "shoot.csv";
  fs::create_directory(folderSource);
  const std::string fieldCount =
      "pelmora-zava: Line 2: The number of fields is not constant between rows.\n"
      "Make sure the CSV file has always the same amount of fields per row (including the header row).\n";
  // The reader's help for this one speaks to a programmer; the command gives its own.
  const std::string conflict =
      "pelmora-zava: The encoding passed in the configuration doesn't match the Byte Order Mark (BOM) from the input "
      "data\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const Case cases[] = {
      // Decoded under the settings as given, not kept from the decode before them.
      {{semicolons.string(), "--delimiter", "semicolon"},
       fieldCount + "pelmora-zava: Line 2 has 2 fields instead of 1; check --delimiter and --qualifier\n"},
      {{oddUTF8.string(), "--encoding", "utf-16"},
       "pelmora-zava: The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).\n"
       "Check the last UTF16 character of your input data/file.\n"
       "pelmora-zava: try --encoding utf-8\n"},
      {{utf32.string(), "--encoding", "utf-8"},
       conflict + "pelmora-zava: The datasource starts with a UTF-32 byte-order mark; leave out --encoding, or give "
                  "--encoding utf-32\n"},
      {{utf32.string(), "--encoding", "utf-16be", "--header", "none"},
       conflict + "pelmora-zava: The datasource starts with a UTF-32 byte-order mark; leave out --encoding, or give "
                  "--encoding utf-32\n"},
      {{duplicate.string()},
       "pelmora-zava: The header row contain two fields with the same value.\nRequest a row instead of a record.\n"
       "pelmora-zava: Give the columns different headers, or read the datasource without a header row: --header "
       "none\n"},
      {{folderSource.string()}, "pelmora-zava: The file \u201Cshoot.csv\u201D couldn\u2019t be opened.\n"
                                "pelmora-zava: \u201C" + folderSource.string() + "\u201D is a folder; name a datasource file\n"},
      {{folderSource.string() + "/"}, "pelmora-zava: The file \u201Cshoot.csv\u201D couldn\u2019t be opened.\n"
                                      "pelmora-zava: \u201C" + folderSource.string() +
                                          "/\u201D is a folder; name a datasource file\n"},
      {{nul.string(), "--export", (folder_ / "out").string()},
       "pelmora-zava: line 2 holds a NUL character, which no folder name can hold\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, 1) << c.arguments.front();
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, c.error);
  }
  EXPECT_FALSE(fs::exists(folder_ / "out"));
}

// Without --encoding the byte-order mark names the encoding, and without a mark it is UTF-8.
TEST_F(Command, ReadsTheEncodingTheMarkOrTheOptionNames) {
  using namespace std::string_literals;
  struct Case {
    std::string bytes;
    std::string encoding;  // empty: no --encoding
    std::string names;
    std::string error = "";
  };
  const std::string empty = "pelmora-zava: the datasource has no records: it is empty\n";
  const std::string utf16LE = "\xFF\xFEN\0a\0m\0e\0\n\0Z\0o\0\xEB\0\n\0"s;
  const Case cases[] = {
      {"Name\r\nZo\xEB\r\nAnna\r\n", "windows-1252", "Anna\nZo\u00EB\n"},
      {"Name\n\xA3ukasz\n", "iso-8859-2", "\u0141ukasz\n"},
      {"", "windows-1252", "", empty},
      {"", "utf-16", "", empty},
      {"", "", "", empty},
      {"Name\nZo\u00EB\n", "", "Zo\u00EB\n"},
      {"\xEF\xBB\xBFName\nZo\u00EB\n", "", "Zo\u00EB\n"},
      {utf16LE, "", "Zo\u00EB\n"},
      {utf16LE, "utf-16", "Zo\u00EB\n"},  // a byte order the option leaves open comes from the mark
      {"\xFE\xFF\0N\0a\0m\0e\0\n\0Z\0o\0\xEB\0\n"s, "", "Zo\u00EB\n"},
      {"\xFF\xFE\0\0N\0\0\0\n\0\0\0Z\0\0\0\n\0\0\0"s, "", "Z\n"},
      {"\0\0\xFE\xFF\0\0\0N\0\0\0\n\0\0\0Z\0\0\0\n"s, "", "Z\n"},
  };
  for (const Case& c : cases) {
    const fs::path file = write("source.csv", c.bytes);
    std::vector<std::string> arguments = {file.string()};
    if (!c.encoding.empty()) arguments.insert(arguments.end(), {"--encoding", c.encoding});
    for (const bool standardInput : {false, true}) {
      if (standardInput) arguments.front() = "-";
      const Outcome outcome = run(arguments, standardInput ? c.bytes : "");
      EXPECT_EQ(outcome.status, 0) << c.encoding << "\n" << outcome.err;
      EXPECT_EQ(outcome.out, c.names) << c.encoding << (standardInput ? " from standard input" : "");
      EXPECT_EQ(outcome.err, c.error);
    }
  }
}

// Standard input of a type is imported as a file of that type is: decoded and named once, with
// the same names and messages, and the same log but for the lines that say where it came from.
TEST_F(Command, StandardInputIsImportedOnceAsAFileOfItsTypeIs) {
  struct Case {
    std::string file;  // its extension gives the file's type
    std::string type;  // --type for standard input; empty for none
    std::string bytes;
    std::vector<std::string> options = {};
  };
  const Case cases[] = {
      {"roster.csv", "public.comma-separated-values-text", roster},
      {"names.csv", "public.comma-separated-values-text", "Name,Take\nAl,1\nAl,2\n \t,3\n"},
      {"names.tsv", "public.tab-separated-values-text", "Name\tNote\nSmith, J\tx\n"},
      {"names.txt", "public.plain-text", "b\na\n"},
      {"names.rtf", "public.rtf", "{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Ben 2\\par Anna\\par}"},
      {"names.dat", "", "Name;Note\nKim;x\n", {"--delimiter", "semicolon"}},
      {"empty.csv", "public.comma-separated-values-text", ""},
  };
  const auto decodes = [](const std::string& log) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("Decoding data", at)) != std::string::npos; ++at) ++count;
    return count;
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {write(c.file, c.bytes).string(), "--verbose"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome file = run(arguments);
    arguments.front() = "-";
    if (!c.type.empty()) arguments.insert(arguments.end(), {"--type", c.type});
    const Outcome input = run(arguments, c.bytes);

    EXPECT_EQ(input.status, file.status) << c.file;
    EXPECT_EQ(input.out, file.out) << c.file;
    const std::string type = c.type.empty() ? "unknown type" : c.type;
    std::string expected = file.err;
    const std::string fromFile = "Importing " + type + " from url\n";
    const std::size_t at = expected.find(fromFile);
    ASSERT_NE(at, std::string::npos) << file.err;
    expected.replace(at, fromFile.size(),
                     "Importing " + type + " from string\nImporting " + type + " from data\n");
    EXPECT_EQ(input.err, expected) << c.file;
    EXPECT_EQ(decodes(input.err), c.options.empty() ? 1u : decodes(file.err)) << c.file;
  }
}

TEST_F(Command, WarnsOfWhatItCannotDoAndGoesOn) {
  const fs::path file = write("names.csv", "Name,Take\nAnna,1\n \t,2\n ,3\n");
  const auto unknown = [](const std::string& token) {
    return "pelmora-zava: " + token +
           " is not a column header, a built-in token or a --token name; it stands for nothing";
  };
  const fs::path root = folder_ / "out";
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
    std::string error;
  };
  const Case cases[] = {
      {{file.string(), "--name-column", "Shot"}, "2\n3\nAnna 1\n",
       "pelmora-zava: the datasource has no header \"Shot\"; each name is its whole record\n"},
      {{file.string(), "--name-column", "Take"}, "1\n2\n3\n", ""},
      {{file.string(), "--export", root.string(), "--dry-run"}, (root / "Anna").string() + "\n",
       "pelmora-zava: Skipped 2 records whose folder name is empty\n"},
      {{file.string(), "--add", "\t", "--export", root.string()}, "Exported 1 directories\n",
       "pelmora-zava: Skipped 3 records whose folder name is empty\n"},
      // Printed names leave out what an export leaves out, and say so.
      {{"--add", "   ", "--add", "x"}, "x\n", "pelmora-zava: Skipped 1 record whose folder name is empty\n"},
      {{"--add", "Smith", "--add", "smith", "--add", "Smith", "--add-series", "Smith", "1", "--case", "uppercase"},
       "SMITH\nSMITH1\n", "pelmora-zava: Dropped 2 records whose folder name another record already has\n"},
      // The empty names share one entry of the list, but are skipped, not dropped.
      {{file.string(), "--add", "Anna"}, "Anna\n",
       "pelmora-zava: Skipped 2 records whose folder name is empty\n"
       "pelmora-zava: Dropped 1 record whose folder name another record already has\n"},
      // A token that has no value is named once, with the known name it may have meant.
      {{file.string(), "--folder", "{name} {Take}", "--subfolder", "{NAME}", "--subfolder", "{name}"}, "1\n2\n3\n",
       unknown("{name}") + ". Did you mean {Name}?\n" + unknown("{NAME}") + ". Did you mean {Name}?\n"},
      {{"--add", "x", "--folder", "{client}{ file name }{Index}{Nope}-{Filename}", "--token", "Client=A"}, "-x\n",
       unknown("{client}") + ". Did you mean {Client}?\n" + unknown("{ file name }") + ". Did you mean {Filename}?\n" +
           unknown("{Nope}") + "\n"},
      {{"--add", "x", "--folder", "{Filename}{Datasource}"}, "x\n",
       "pelmora-zava: {Datasource} stands for nothing without a datasource file\n"},
      {{file.string(), "--folder", "{Datasource} {Name}"}, "names\nnames Anna\n",
       "pelmora-zava: Dropped 1 record whose folder name another record already has\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.err, c.error);
  }
  EXPECT_EQ(tree(root), std::vector<std::string>{"Anna/"});
}

TEST_F(Command, LinksInsideTheRootLeadNowhereOutsideIt) {
  const fs::path root = folder_ / "out";
  fs::create_directories(root);
  fs::create_directories(folder_ / "outside");
  fs::create_directory_symlink("../outside", root / "A");
  const Outcome outcome = run({"--add", "0 first", "--add", "A", "--subfolder", "S", "--export", root.string()});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("\u201C" + (root / "A/S").string() + "\u201D"), std::string::npos) << outcome.err;
  EXPECT_TRUE(fs::is_empty(folder_ / "outside"));
  EXPECT_FALSE(fs::exists(root / "0 first"));
}

// The README's export examples, with the root in the temporary folder.
TEST_F(Command, TheReadmeExamplesExportEveryName) {
  const fs::path root = folder_ / "Captures/Class-Photos";
  const Outcome students =
      run({(fs::path(PZ_SOURCE_DIR) / "examples/roster.csv").string(), "--folder",
           "{Last Name} {First Name} {Student ID}", "--whitespace", "underscore", "--illegal", "remove", "--subfolder",
           "RAW", "--subfolder", "{Parent Folder} selects ({Teacher})", "--export", root.string()});
  EXPECT_EQ(students.status, 0);
  EXPECT_EQ(students.err, "");
  EXPECT_TRUE(fs::is_directory(root / "Nguyen_Uma_1001/Nguyen_Uma_1001_selects_(Mr_Brown)"));
  const Outcome retakes = run({"--add", "Retakes", "--subfolder", "RAW", "--export", root.string()});
  EXPECT_EQ(retakes.status, 0);
  EXPECT_EQ(retakes.out, "Exported 1 directories\n");
  EXPECT_EQ(retakes.err, "");
  EXPECT_TRUE(fs::is_directory(root / "Retakes/RAW"));
}

TEST_F(Command, OutputThatCannotBeWrittenFailsTheCommand) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--add", "x"}, {"--add", "x", "--export", "root", "--dry-run"}}) {
    const Outcome outcome = run(arguments, "", "/dev/full");
    EXPECT_EQ(outcome.status, 1) << arguments.back();
    EXPECT_EQ(outcome.err, "pelmora-zava: standard output could not be written: No space left on device\n");
  }
}

TEST_F(Command, VerboseWritesTheLogAndHelpAndVersionSucceed) {
  const Outcome verbose = run({"--verbose", "--add", "x"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_NE(verbose.err.find("Adding new filename: x"), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("There are now 1 total filenames"), std::string::npos) << verbose.err;
  // The dry run looks at every location before it prints them; a skipped record is logged once.
  const Outcome skipped = run({"--verbose", "--illegal", "none", "--add", "x", "--add", "/", "--export", "out", "--dry-run"});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  const std::string skipping = "Skipping \"/\": its folder name is empty";
  const std::size_t first = skipped.err.find(skipping);
  EXPECT_NE(first, std::string::npos) << skipped.err;
  EXPECT_EQ(skipped.err.find(skipping, first + 1), std::string::npos) << skipped.err;
  for (const char* flag : {"--help", "--version"}) {
    const Outcome outcome = run({flag});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("pelmora-zava"), std::string::npos) << outcome.out;
  }
  const std::string help = run({"--help"}).out;
  for (const char* names : {"{tab,comma,semicolon,space}", "{none,underscore,hyphen,remove}", "{none,row}",
                            "{standard,standard-plus,lf,cr,crlf}", "{double,single,none}",
                            "{none,capitalize,lowercase,uppercase}"})
    EXPECT_NE(help.find(names), std::string::npos) << names;
  EXPECT_EQ(help.find("->"), std::string::npos) << help;
  // Enough to use the command: what each option does when not given, every token, every type.
  std::string flowing;  // the help's words, wherever its lines break
  for (char c : help)
    if (!std::isspace(static_cast<unsigned char>(c)))
      flowing += c;
    else if (!flowing.ends_with(' '))
      flowing += ' ';
  for (const char* text : {"(default: underscore, so \"Mr. Brown\" becomes \"Mr_ Brown\"", "(default: none, they stay)",
                           "(default: row; none for .txt and .rtf)", "(default: comma; tab for .tsv)",
                           "(default: 1)", "(default: the one the byte-order mark names, else utf-8)", "(default: double)",
                           "(default: 0, digits stay)", "(default: {Filename}", "2.9 pads to 2",
                           "the rows above it are skipped", "--starting-row ROW", "public.comma-separated-values-text",
                           "public.tab-separated-values-text", "public.plain-text", "public.rtf"})
    EXPECT_NE(flowing.find(text), std::string::npos) << text;
  std::vector<std::string> tokens = Pelmora_Zava::TokenValueProvider::builtInTokens();
  tokens.push_back("Datasource");
  for (const std::string& token : tokens) EXPECT_NE(help.find("\n  {" + token + "} "), std::string::npos) << token;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

}  // namespace
