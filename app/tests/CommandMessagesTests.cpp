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
      {"ok.csv", "Name\nBo\n"},
  };
  for (const auto& [name, content] : files) write(name, content);
  fs::create_directory(folder_ / "shoot");
  write("shoot/Bo", "");

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
    std::string input = "";
  };
  const std::string usage = "Try 'pelmora-zava --help' for more information.\n";
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
      // No records is said, with the likely reason, and is no failure.
      {{"cr-only.csv"}, 0, "",
       "pelmora-zava: the datasource has a header row and no records; its lines may end in CR alone; try "
       "--row-delimiter standard-plus\n"},
      {{"cr-only.csv", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\n", ""},
      {{"empty.csv", "--add", "Retakes"}, 0, "Retakes\n", "pelmora-zava: the datasource has no records: it is empty\n"},
      {{"header-only.csv", "--export", "out"}, 0, "Exported 0 directories\n",
       "pelmora-zava: the datasource has a header row and no records\n"},
      {{"three-lines.csv", "--starting-row", "999"}, 0, "",
       "pelmora-zava: the datasource has no records: --starting-row 999 is past its last line (3 lines)\n"},
      {{"blank.txt"}, 0, "", "pelmora-zava: the datasource has no records: it holds only blank lines\n"},
      // A one-column header that holds another delimiter names it, unless a delimiter was chosen.
      {{"semicolons.csv"}, 0, "1;Anna;Wei\xC3\x9F\n",
       "pelmora-zava: the header holds ';' and no ','; try --delimiter semicolon\n"},
      {{"tabs.csv"}, 0, "1\tAnna\n", "pelmora-zava: the header holds a tab and no ','; try --delimiter tab\n"},
      {{"semicolons.csv", "--delimiter", "comma"}, 0, "1;Anna;Wei\xC3\x9F\n", ""},
      {{"quoted-header.csv"}, 0, "1\n", ""},
      // A brace that never closes stays text, and is named once.
      {{"--add", "x", "--folder", "{Last Name", "--subfolder", "{Last Name", "--subfolder", "RAW {Year",
        "--export", "out", "--dry-run"},
       0, "out/{Last Name/{Last Name\nout/{Last Name/RAW {Year\n",
       "pelmora-zava: {Last Name has no closing }\npelmora-zava: {Year has no closing }\n"},
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
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments, c.input);
    EXPECT_EQ(outcome.status, c.status) << c.arguments.front();
    EXPECT_EQ(outcome.out, c.out) << c.arguments.front();
    EXPECT_EQ(outcome.err, c.err) << c.arguments.front();
  }
  EXPECT_FALSE(fs::exists(folder_ / "out" / "{Last Name"));
}

}  // namespace
