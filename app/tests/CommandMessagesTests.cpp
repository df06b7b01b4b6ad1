// What the command says about a datasource's mistakes and about a mistyped command: where
// the fault lies, what may cure it, and never an empty result without a word.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;
using namespace std::string_literals;

const std::string strayQuote =
    "The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.\n"
    "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar "
    "found within the field.\n";
const std::string unclosedQuote =
    "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End of File) "
    "was encountered before the field matched at the end with the closing escaping scalar.\n"
    "End the targeted field with the scaping scalar (double quotes by default).\n";
const std::string textAfterQuote =
    "The targeted field parsed successfully. However, the character right after it was not a field nor row "
    "delimiter.\n"
    "There seems to be some characters after the escaping character and before the next field or the end of the row. "
    "Please remove those.\n";
const std::string emptyHeader =
    "A header line was expected, but an empty line was found instead.\n"
    "Make sure there is a header line at the very beginning of the file or mark the configuration as 'no header'.\n";
const std::string noQuoting = "pelmora-zava: if the file uses no quoting, try --qualifier none\n";

std::string atLine(int line, const std::string& error) {
  return "pelmora-zava: Line " + std::to_string(line) + ": " + error;
}

std::string fieldCount(int line) {
  return atLine(line,
                "The number of fields is not constant between rows.\n"
                "Make sure the CSV file has always the same amount of fields per row (including the header row).\n") +
         "pelmora-zava: Line " + std::to_string(line) + " has 2 fields instead of 1; check --delimiter and --qualifier\n";
}

/// 50,000 students, one with a stray quote on line 31338.
std::string largeRoster() {
  std::string text = "Student ID,First Name,Last Name\n";
  for (int id = 1; id <= 50'000; ++id)
    text += std::to_string(id) + (id == 31'337 ? ",Ann\"a," : ",Anna,") + "Berg\n";
  return text;
}

TEST_F(Command, SaysWhereADatasourceGoesWrongAndWhatMayCureIt) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"large.csv", largeRoster()},
      {"unclosed.csv", "Name\nAl\n\"Bo\nCy\n"},
      {"skipped.csv", "x\nName\nAl\nBo,x\n"},
      {"blank-lines.csv", "Name\nAl\n\n\nBo,x\n"},
      {"quoted-break.csv", "Name\n\"A\nl\"\nBo,x\n"},
      {"quoted-stray.csv", "Name\n\"A\nl\"\n\n\"C\"\"y\"\nB\"o\n"},
      {"crlf.csv", "Name\r\nAl\r\n\r\nB\"o\r\n"},
      {"utf16.csv", "\xFF\xFEN\0a\0m\0e\0\n\0A\0l\0\n\0B\0o\0,\0x\0\n\0"s},
      {"rows.txt", "a\n\nb\n\"c\n"},
      {"cr-only.csv", "Name,Grade\rAna,4\rBo,5\r"},
      {"empty.csv", ""},
      {"header-only.csv", "Name\n"},
      {"three-lines.csv", "Name\nAl\nBo"},
      {"blank.txt", "\n  \n\n"},
      {"semicolons.csv", "Nr;Name;Nachname\n1;Anna;Wei\xC3\x9F\n"},
      {"tabs.csv", "Nr\tName\n1\tAnna\n"},
      {"quoted-header.csv", "\"Nr,Name;Nachname\"\n1\n"},
      {"commas.tsv", "Name,Grade\nAna,4\n"},
      {"pipes.csv", "Name|Grade\nAna|4\n"},
      {"colons.tsv", "Name:Grade\nAna:4\n"},
      {"first-names.csv", "First Name\nAda\n"},
      {"names.csv", "Name\nAl\nBo\n"},
      {"blank.csv", "\n  \n\n"},
      {"blank-above.csv", "\n\nName\nA\n"},
      {"blank-above-skipped.csv", "x\n\n\n\"N\nm\"\nA\n"},
      {"suffix.csv", "Name,Grade\n\"Smith\" Jr,5\n"},
      {"ok.csv", "Name\nBo\n"},
  };
  for (const auto& [name, content] : files) write(name, content);
  fs::create_directory(folder_ / "shoot");
  write("shoot/Bo", "");

  const std::string usage = "Try 'pelmora-zava --help' for more information.\n";
  const std::string misspelled =
      "pelmora-zava: {Nme} is not a column header, a built-in token or a --token name; it stands for nothing\n"
      "pelmora-zava: Skipped 2 records whose folder name is empty\n"
      "pelmora-zava: no folder to make: every record's folder name is empty\n";
  const std::string longest(255, 'b');
  const std::string tooLong(300, 'z');
  const auto tooLongAt = [](const std::string& location) {
    return "pelmora-zava: The folder \xE2\x80\x9C" + location + "\xE2\x80\x9D couldn\xE2\x80\x99t be created.\n"
           "File name too long\n";
  };
  const Case cases[] = {
      // A reader error names the line an editor shows: the header, skipped and empty lines and
      // line breaks inside quotes all count.
      {{"large.csv"}, 1, "", atLine(31338, strayQuote) + noQuoting},
      {{"unclosed.csv"}, 1, "", atLine(3, unclosedQuote) + noQuoting},
      {{"skipped.csv", "--starting-row", "2"}, 1, "", fieldCount(4)},
      {{"blank-lines.csv"}, 1, "", fieldCount(5)},
      {{"quoted-break.csv"}, 1, "", fieldCount(4)},
      {{"quoted-stray.csv"}, 1, "", atLine(6, strayQuote) + noQuoting},
      {{"crlf.csv"}, 1, "", atLine(4, strayQuote) + noQuoting},
      {{"crlf.csv", "--row-delimiter", "standard-plus"}, 1, "", atLine(4, strayQuote) + noQuoting},
      {{"utf16.csv"}, 1, "", fieldCount(3)},
      {{"rows.txt"}, 1, "", atLine(4, unclosedQuote) + noQuoting},
      {{"-", "--type", "public.comma-separated-values-text"}, 1, "", fieldCount(3), "Name\n\nBo,x\n"},
      // No records is said, with the likely reason; line ends the row delimiter folds are a failure.
      {{"cr-only.csv"}, 1, "",
       "pelmora-zava: the datasource has a header row and no records; its lines may end in CR alone; try "
       "--row-delimiter standard-plus\n"},
      {{"cr-only.csv", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\n", ""},
      {{"empty.csv", "--add", "Retakes"}, 0, "Retakes\n", "pelmora-zava: the datasource has no records: it is empty\n"},
      // A datasource that is not there is named as typed too: the last component may not be the mistake.
      {{"term2/roster.csv"}, 1, "",
       "pelmora-zava: The file \u201Croster.csv\u201D couldn\u2019t be opened because there is no such file.\n"
       "pelmora-zava: no file is found at \u201Cterm2/roster.csv\u201D, the path as given\n"},
      {{"header-only.csv", "--export", "out"}, 0, "Exported 0 directories\n",
       "pelmora-zava: the datasource has a header row and no records\n"},
      // --starting-row counts rows as the reader cuts them, and so does its message.
      // Past the last row is a mistake when nothing else makes a folder.
      {{"three-lines.csv", "--starting-row", "999"}, 1, "",
       "pelmora-zava: the datasource has no records: --starting-row 999 is past its last row (3 rows)\n"},
      {{"three-lines.csv", "--starting-row", "999", "--add", "Retakes"}, 0, "Retakes\n",
       "pelmora-zava: the datasource has no records: --starting-row 999 is past its last row (3 rows)\n"},
      {{"cr-only.csv", "--starting-row", "2"}, 1, "",
       "pelmora-zava: the datasource has no records: --starting-row 2 is past its last row (1 row); its lines may "
       "end in CR alone; try --row-delimiter standard-plus\n"},
      {{"blank.txt"}, 0, "", "pelmora-zava: the datasource has no records: it holds only blank lines\n"},
      // Blank lines with a header row: none but them is no records; above the header, the header's row.
      {{"blank.csv", "--add", "Retakes"}, 0, "Retakes\n",
       "pelmora-zava: the datasource has no records: it holds only blank lines\n"},
      {{"blank-above.csv"}, 1, "", atLine(1, emptyHeader) + "pelmora-zava: the header is on line 3; try --starting-row 3\n"},
      {{"blank-above.csv", "--starting-row", "3"}, 0, "A\n", ""},
      {{"blank-above-skipped.csv", "--starting-row", "2"}, 1, "",
       atLine(2, emptyHeader) + "pelmora-zava: the header is on line 4; try --starting-row 4\n"},
      {{"blank-above-skipped.csv", "--starting-row", "4"}, 0, "A\n", ""},
      // Text after a closing quote: the file may use no quoting, and that option cures it.
      {{"suffix.csv"}, 1, "", atLine(2, textAfterQuote) + noQuoting},
      {{"suffix.csv", "--qualifier", "none"}, 0, "\"Smith\" Jr\n", ""},
      // A one-column header that holds another delimiter names it, unless a delimiter was chosen.
      {{"semicolons.csv"}, 0, "1;Anna;Wei\xC3\x9F\n",
       "pelmora-zava: the header holds ';' and no ','; try --delimiter semicolon\n"},
      {{"tabs.csv"}, 0, "1\tAnna\n", "pelmora-zava: the header holds a tab and no ','; try --delimiter tab\n"},
      {{"semicolons.csv", "--delimiter", "comma"}, 0, "1;Anna;Wei\xC3\x9F\n", ""},
      {{"quoted-header.csv"}, 0, "1\n", ""},
      // Commas read with any other delimiter, and delimiters the command does not read.
      {{"commas.tsv"}, 0, "Ana,4\n", "pelmora-zava: the header holds ',' and no tab; try --delimiter comma\n"},
      {{"commas.tsv", "--delimiter", "semicolon"}, 0, "Ana,4\n",
       "pelmora-zava: the header holds ',' and no ';'; try --delimiter comma\n"},
      {{"commas.tsv", "--delimiter", "space"}, 0, "Ana,4\n",
       "pelmora-zava: the header holds ',' and no space; try --delimiter comma\n"},
      {{"pipes.csv"}, 0, "Ana|4\n",
       "pelmora-zava: the header seems split by '|'; the command reads tab, comma, semicolon or space\n"},
      {{"colons.tsv"}, 0, "Ana_4\n",
       "pelmora-zava: the header seems split by ':'; the command reads tab, comma, semicolon or space\n"},
      {{"pipes.csv", "--delimiter", "comma"}, 0, "Ana|4\n", ""},
      // A brace that never closes stays text, and is named once.
      {{"--add", "x", "--folder", "{Last Name", "--subfolder", "{Last Name", "--subfolder", "RAW {Year",
        "--export", "out", "--dry-run"},
       0, "out/{Last Name/{Last Name\nout/{Last Name/RAW {Year\n",
       "pelmora-zava: {Last Name has no closing }\npelmora-zava: {Year has no closing }\n"},
      // Also one that a token follows; a closed brace that is no token is plain text, not this.
      {{"first-names.csv", "--folder", "{Last Name {First Name} {First-Name}", "--subfolder", "{Last Name  {Index}",
        "--export", "out", "--dry-run"},
       0, "out/{Last Name Ada {First-Name}/{Last Name  1\n", "pelmora-zava: {Last Name has no closing }\n"},
      // Records that all name nothing are a failure, whatever the run makes of them; none is no failure.
      {{"names.csv", "--folder", "{Nme}"}, 1, "", misspelled},
      {{"names.csv", "--folder", "{Nme}", "--export", "nothing", "--dry-run"}, 1, "", misspelled},
      {{"names.csv", "--folder", "{Nme}", "--export", "nothing"}, 1, "", misspelled},
      {{"empty.csv"}, 0, "", "pelmora-zava: the datasource has no records: it is empty\n"},
      // The dry run refuses a name too long for the file system as the export does, before it
      // prints a location.
      {{"--add", longest, "--export", "long", "--dry-run"}, 0, "long/" + longest + "\n", ""},
      {{"--add", "Bo", "--add", tooLong, "--export", "long", "--dry-run"}, 1, "", tooLongAt("long/" + tooLong)},
      {{"--add", "Bo", "--export", "long/" + tooLong, "--dry-run"}, 1, "", tooLongAt("long/" + tooLong + "/Bo")},
      {{"--add", "Bo", "--subfolder", "RAW", "--subfolder", tooLong, "--export", "long", "--dry-run"}, 1, "",
       tooLongAt("long/Bo/" + tooLong)},
      {{"--add", "Bo", "--add", tooLong, "--export", "long"}, 1, "", tooLongAt("long/" + tooLong)},
      // A folder that cannot be made for a file in the way names the file too.
      {{"ok.csv", "--export", "ok.csv"}, 1, "",
       "pelmora-zava: The folder \xE2\x80\x9Cok.csv/Bo\xE2\x80\x9D couldn\xE2\x80\x99t be created.\nNot a directory\n"
       "pelmora-zava: \xE2\x80\x9Cok.csv\xE2\x80\x9D is a file, not a folder\n"},
      {{"--add", "Bo", "--subfolder", "RAW", "--export", "shoot"}, 1, "",
       "pelmora-zava: The folder \xE2\x80\x9Cshoot/Bo/RAW\xE2\x80\x9D couldn\xE2\x80\x99t be created.\nNot a directory\n"
       "pelmora-zava: \xE2\x80\x9Cshoot/Bo\xE2\x80\x9D is a file, not a folder\n"},
      // A usage error ends with where to learn the usage.
      {{"--bogus"}, 2, "", "pelmora-zava: The following argument was not expected: --bogus\n" + usage},
      {{"--delimiter", "pipe"}, 2, "",
       "pelmora-zava: --delimiter: takes tab, comma, semicolon or space, not \"pipe\"\n" + usage},
      {{"--dry-run"}, 2, "", "pelmora-zava: --dry-run goes with --export\n" + usage},
      {{"--token", "x"}, 2, "", "pelmora-zava: --token takes NAME=VALUE, not \"x\"\n" + usage},
  };
  expectAnswers(cases);
  EXPECT_FALSE(fs::exists(folder_ / "out" / "{Last Name"));
  EXPECT_FALSE(fs::exists(folder_ / "nothing"));
  EXPECT_FALSE(fs::exists(folder_ / "long"));
}

// However many hints an empty header row calls for, the datasource's text is decoded for them
// once, beside the import's own decode: a large UTF-16 file costs a second each time.
TEST_F(Command, DecodesTheTextForItsReportOnce) {
  std::string utf16 = "\xFF\xFE"s;
  for (const char c : "\n\nName\nAl\nBo\n"s) utf16 += std::string{c, '\0'};
  const std::vector<std::pair<std::string, std::string>> files = {
      {"blank-above.csv", "\n\nName\nAl\n"}, {"blank.csv", "\n  \n\n"}, {"blank-above-16.csv", utf16}};
  for (const auto& [name, content] : files) {
    write(name, content);
    const Outcome outcome = run({name, "--verbose"});
    const auto count = [&](const std::string& line) {
      std::size_t found = 0;
      for (std::size_t at = outcome.err.find(line); at != std::string::npos; at = outcome.err.find(line, at + 1))
        ++found;
      return found;
    };
    EXPECT_EQ(count("Decoding data and assigning headers\n"), 1u) << name << outcome.err;
    EXPECT_EQ(count("Decoding the datasource's text for the command's report\n"), 1u) << name << outcome.err;
  }
}

}  // namespace
