// What the command says when the row delimiter does not match the datasource's line ends: the
// line an editor shows, and the --row-delimiter that reads the file, each cure run as printed.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const std::string fieldCountError =
    "The number of fields is not constant between rows.\n"
    "Make sure the CSV file has always the same amount of fields per row (including the header row).\n";
const std::string carriageReturnAfterQuote =
    "The targeted field parsed successfully. However, the character right after it was not a field nor row "
    "delimiter.\n"
    "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for \"\\r\".\n";
const std::string textAfterQuote =
    "The targeted field parsed successfully. However, the character right after it was not a field nor row "
    "delimiter.\n"
    "There seems to be some characters after the escaping character and before the next field or the end of the row. "
    "Please remove those.\n";
const std::string strayQuote =
    "The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.\n"
    "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar "
    "found within the field.\n";
const std::string loneCR = "its lines may end in CR alone; try --row-delimiter standard-plus";
const std::string loneLF = "its lines end in LF; try --row-delimiter standard";
const std::string pairedToStandard = "its lines end in CR LF; try --row-delimiter standard";
const std::string pairedToCRLF = "its lines end in CR LF; try --row-delimiter crlf";
const std::string noQuoting = "if the file uses no quoting, try --qualifier none";
const std::string noRecords = "the datasource has a header row and no records";

/// One line of the command's own.
std::string said(const std::string& line) { return "pelmora-zava: " + line + "\n"; }

std::string atLine(int line, const std::string& error) {
  return "pelmora-zava: Line " + std::to_string(line) + ": " + error;
}

std::string checkDelimiters(int line, int parsed, int expected) {
  return "pelmora-zava: Line " + std::to_string(line) + " has " + std::to_string(parsed) + " fields instead of " +
         std::to_string(expected) + "; check --delimiter and --qualifier\n";
}

std::string moreFields(int line, int parsed, int expected) {
  return "pelmora-zava: line " + std::to_string(line) + " has " + std::to_string(parsed) + " fields, the header " +
         std::to_string(expected) + "; a field that holds the delimiter must be in quotes\n";
}

TEST_F(Command, NamesTheRowDelimiterThatReadsTheDatasourcesLineEnds) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"header-crlf.csv", "N,G\r\nB,2,3\r\n"},
      {"mixed-ends.csv", "Name,G\rA,1\r\nB,2,3\r"},
      {"crlf.csv", "Name,G\r\nA,1\r\nB,2\r\n"},
      {"quoted-crlf.csv", "\"N\",\"G\"\r\n\"A\",\"1\"\r\n"},
      {"cell-breaks.csv", "Name,Note\r\nAna,x\ny\r\nBo,z\r\n"},
      {"quoted-cr.csv", "\"Name\",\"Grade\"\r\"Ana\",\"4\"\r\"Bo\",\"5\"\r"},
      {"stray-cr.csv", "Name,Grade\rAn\"a,4\rBo,5\r"},
      {"one-cr.csv", "Name,G\nA,1\rB,2\n"},
      {"uneven-cr.csv", "Name,G\nA,1\rB,2,3\n"},
      {"later-cr.csv", "Name,G\nA,1,2\nB,3,4\rC,5,6\n"},
      {"cr-in-quotes.csv", "Name,G\nA,\"1\r2\",3\n"},
      {"cr-in-quoted-header.csv", "Name,\"G\rx\"\n"},
      {"cr-only.csv", "Name,Grade\rAna,4\rBo,5\r"},
      {"lf.csv", "Name,Grade\nAna,4\nBo,5\n"},
      {"quoted-lf.csv", "\"N\",\"G\"\n\"A\",\"1\"\n"},
  };
  for (const auto& [name, content] : files) write(name, content);

  const Case cases[] = {
      // A row that begins at the LF of a CR LF pair is on the line after the CR, unless that LF is all it holds.
      {{"header-crlf.csv", "--row-delimiter", "cr"}, 1, "", atLine(2, fieldCountError) + moreFields(2, 3, 2)},
      {{"mixed-ends.csv", "--row-delimiter", "cr"}, 1, "", atLine(3, fieldCountError) + moreFields(3, 3, 2)},
      // CR LF pairs cut in two: the row delimiter that reads the whole file, else the one that keeps an LF in a cell.
      {{"crlf.csv", "--row-delimiter", "cr"}, 1, "",
       atLine(3, fieldCountError) + said(pairedToStandard)},
      {{"crlf.csv", "--row-delimiter", "standard"}, 0, "A\nB\n", ""},
      {{"quoted-crlf.csv", "--row-delimiter", "lf"}, 1, "",
       atLine(1, carriageReturnAfterQuote) + said(pairedToStandard)},
      {{"quoted-crlf.csv", "--row-delimiter", "cr"}, 1, "", atLine(2, strayQuote) + said(pairedToStandard)},
      {{"quoted-crlf.csv", "--row-delimiter", "standard"}, 0, "A\n", ""},
      {{"cell-breaks.csv", "--row-delimiter", "lf"}, 1, "", atLine(3, fieldCountError) + said(pairedToCRLF)},
      {{"cell-breaks.csv", "--row-delimiter", "crlf"}, 0, "Ana\nBo\n", ""},
      // A CR alone ends a line inside the failing row: that cure comes first, and the others give way.
      {{"quoted-cr.csv"}, 1, "", atLine(1, carriageReturnAfterQuote) + said(loneCR)},
      {{"quoted-cr.csv", "--row-delimiter", "crlf"}, 1, "", atLine(1, carriageReturnAfterQuote) + said(loneCR)},
      {{"quoted-cr.csv", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\n", ""},
      {{"stray-cr.csv"}, 1, "", atLine(1, strayQuote) + said(loneCR)},
      {{"stray-cr.csv", "--row-delimiter", "standard-plus"}, 1, "", atLine(2, strayQuote) + said(noQuoting)},
      {{"stray-cr.csv", "--row-delimiter", "standard-plus", "--qualifier", "none"}, 0, "An\"a\nBo\n", ""},
      {{"one-cr.csv"}, 1, "", atLine(2, fieldCountError) + said(loneCR)},
      {{"one-cr.csv", "--row-delimiter", "standard-plus"}, 0, "A\nB\n", ""},
      {{"uneven-cr.csv"}, 1, "", atLine(2, fieldCountError) + said(loneCR)},
      {{"uneven-cr.csv", "--row-delimiter", "standard-plus"}, 1, "",
       atLine(3, fieldCountError) + moreFields(3, 3, 2)},
      // A CR inside a quoted field is data, and one in a row after the failing one is no cure for it.
      {{"later-cr.csv"}, 1, "", atLine(2, fieldCountError) + moreFields(2, 3, 2)},
      {{"cr-in-quotes.csv"}, 1, "", atLine(2, fieldCountError) + checkDelimiters(2, 3, 2)},
      {{"cr-in-quoted-header.csv"}, 0, "", said(noRecords)},
      // Every line folded into the header: the cure, and a failure whatever else would make a folder.
      {{"cr-only.csv", "--row-delimiter", "lf"}, 1, "", said(noRecords + "; " + loneCR)},
      {{"cr-only.csv", "--export", "out"}, 1, "", said(noRecords + "; " + loneCR)},
      {{"cr-only.csv", "--add", "Retakes"}, 1, "", said(noRecords + "; " + loneCR)},
      {{"lf.csv", "--row-delimiter", "crlf"}, 1, "", said(noRecords + "; " + loneLF)},
      {{"lf.csv", "--row-delimiter", "cr", "--export", "out", "--dry-run"}, 1, "", said(noRecords + "; " + loneLF)},
      {{"lf.csv", "--row-delimiter", "crlf", "--starting-row", "2"}, 1, "",
       said("the datasource has no records: --starting-row 2 is past its last row (1 row); " + loneLF)},
      {{"lf.csv", "--row-delimiter", "standard"}, 0, "Ana\nBo\n", ""},
      {{"quoted-lf.csv", "--row-delimiter", "crlf"}, 1, "", atLine(1, textAfterQuote) + said(loneLF)},
      {{"quoted-lf.csv", "--row-delimiter", "cr"}, 1, "", atLine(1, textAfterQuote) + said(loneLF)},
      {{"quoted-lf.csv", "--row-delimiter", "standard"}, 0, "A\n", ""},
  };
  expectAnswers(cases);
  EXPECT_TRUE(tree(folder_ / "out").empty());
}

}  // namespace
