// Nothing is made of a datasource the command read wrong: a line break that the row delimiter did
// not cut at in a name or the header, and a header whose only fault is empty fields. Each cure
// named is the one that, typed back, reads every record; the cases after each cure type it back.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const std::string usage = "Try 'pelmora-zava --help' for more information.\n";
const std::string duplicateHeaders =
    "pelmora-zava: The header row contain two fields with the same value.\nRequest a row instead of a record.\n";
const std::string emptyHeaderLine =
    "A header line was expected, but an empty line was found instead.\n"
    "Make sure there is a header line at the very beginning of the file or mark the configuration as 'no header'.\n";
const std::string carriageReturnAfterQuote =
    "The targeted field parsed successfully. However, the character right after it was not a field nor row "
    "delimiter.\n"
    "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for \"\\r\".\n";
const std::string fieldCount =
    "The number of fields is not constant between rows.\n"
    "Make sure the CSV file has always the same amount of fields per row (including the header row).\n";
const std::string loneCR = "its lines may end in CR alone; try --row-delimiter standard-plus";
const std::string loneLF = "its lines end in LF; try --row-delimiter standard";
const std::string pairedToStandard = "its lines end in CR LF; try --row-delimiter standard";

std::string said(const std::string& line) { return "pelmora-zava: " + line + "\n"; }

std::string inName(const std::string& character, int line) {
  return "the datasource would make a folder name holding the " + character + " that ends line " + std::to_string(line);
}

std::string inHeader(const std::string& character, int line) {
  return "the datasource's header would hold the " + character + " that ends line " + std::to_string(line);
}

std::string emptyFields(int line, int count) {
  return "line " + std::to_string(line) + "'s header has " + std::to_string(count) +
         " empty fields: name those columns or delete them";
}

TEST_F(Command, NoLineBreakTheRowsDidNotCutAtReachesANameOrTheHeader) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"crlf.csv", "Name\r\nAna\r\nBo\r\n"},
      {"lf.txt", "Ana\nBo\n"},
      {"grades.csv", "Name,G\r\nAna,1\r\nBo,2\r\n"},
      {"last-cr.csv", "Name\nAna\nBo\r"},
      {"cr-before-crlf.csv", "Name\r\nAna\r\nBo\r\r\nCy\r\n"},
      {"cr.txt", "Ana\rBo\rCy\r"},
      {"cell-breaks.csv", "Name,Note\r\nAna,a\nb\r\nBo,x\r\n"},
      {"quoted.csv", "Name\r\n\"A\rna\"\r\n\"B\no\"\r\n"},
      {"header-only.csv", "Name,G\r\n"},
      {"every-line-end.csv", "Name,G\r\nA,1\nB,2\r\nC,3\rD,4\r\n"},
  };
  for (const auto& [name, content] : files) write(name, content);

  const Case cases[] = {
      // A CR LF file cut at its CRs: the LFs begin the names.
      {{"crlf.csv", "--row-delimiter", "cr", "--export", "out"}, 1, "",
       said(inName("LF", 1) + "; " + pairedToStandard)},
      {{"crlf.csv", "--row-delimiter", "standard", "--export", "out", "--dry-run"}, 0, "out/Ana\nout/Bo\n", ""},
      // An LF file cut at CR LF or CR only: one name of every line.
      {{"lf.txt", "--row-delimiter", "crlf"}, 1, "", said(inName("LF", 1) + "; " + loneLF)},
      {{"lf.txt", "--row-delimiter", "cr", "--add", "Retakes"}, 1, "", said(inName("LF", 1) + "; " + loneLF)},
      {{"lf.txt", "--row-delimiter", "standard"}, 0, "Ana\nBo\n", ""},
      // A CR LF file cut at its LFs: the header's last field fails it even where the names come out right.
      {{"grades.csv", "--row-delimiter", "lf"}, 1, "", said(inHeader("CR", 1) + "; " + pairedToStandard)},
      {{"grades.csv", "--row-delimiter", "lf", "--folder", "{G}"}, 1, "",
       said(inHeader("CR", 1) + "; " + pairedToStandard)},
      {{"grades.csv", "--folder", "{G}"}, 0, "1\n2\n", ""},
      {{"header-only.csv", "--row-delimiter", "lf"}, 1, "",
       said("the datasource has a header row and no records; " + pairedToStandard)},
      {{"header-only.csv"}, 0, "", said("the datasource has a header row and no records")},
      // A lone CR at the end of the last line, or before a blank line, adds no row but is in a name.
      {{"last-cr.csv"}, 1, "", said(inName("CR", 3) + "; " + loneCR)},
      {{"last-cr.csv", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\n", ""},
      {{"cr-before-crlf.csv", "--export", "out"}, 1, "", said(inName("CR", 3) + "; " + loneCR)},
      {{"cr-before-crlf.csv", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\nCy\n", ""},
      // Before the clean-up turns it into something else.
      {{"cr.txt", "--whitespace", "underscore"}, 1, "", said(inName("CR", 1) + "; " + loneCR)},
      {{"cr.txt", "--whitespace", "hyphen", "--row-delimiter", "standard-plus"}, 0, "Ana\nBo\nCy\n", ""},
      // A column no name is made of may hold one; where a name is made of it, no row delimiter reads the file.
      {{"cell-breaks.csv", "--row-delimiter", "crlf"}, 0, "Ana\nBo\n", ""},
      {{"cell-breaks.csv", "--row-delimiter", "crlf", "--folder", "{Filename} {Note}"}, 1, "", said(inName("LF", 2))},
      {{"cell-breaks.csv", "--row-delimiter", "crlf", "--header", "none"}, 1, "", said(inName("LF", 2))},
      // In quotes, a line break is data, and the clean-up decides.
      {{"quoted.csv", "--whitespace", "underscore"}, 0, "A_na\nB_o\n", ""},
      // The row delimiter that reads every line end, not one that only reaches the next it misreads.
      {{"every-line-end.csv", "--row-delimiter", "crlf"}, 1, "",
       "pelmora-zava: Line 2: " + fieldCount + said(loneCR)},
      {{"every-line-end.csv", "--row-delimiter", "standard-plus"}, 0, "A\nB\nC\nD\n", ""},
  };
  expectAnswers(cases);
  EXPECT_TRUE(tree(folder_ / "out").empty());
}

TEST_F(Command, AHeaderOfEmptyFieldsGetsTheReadingsThatKeepEveryRecord) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"named-once.csv", "Name,,\nAna,4,x\nBo,5,y\n"},
      {"trailing-empty.csv", "Name,Grade,,\r\nAna,4,,\r\n"},
      {"title-short-row.csv", "Title,,\n,,\nName,Grade,Note\nAna,4,x\nBo,5\n"},
      {"title-two-columns.csv", "Photo list,\n,\nName,Grade\nAna,4\nBo,5\n"},
      {"names-only.csv", "Ana,,\nBo,,\nCy,,\n"},
      {"index-column.csv", ",Name,Grade\n1,Ana,4\n2,Bo,5\n"},
      {"changing-width.csv", "\na,b\nc,d,e\nf,g\nh,i,j\n"},
      {"quoted-crlf.csv", "\"N\",\"\",\"\"\r\nA,1,2\r\n"},
      {"title-crlf.csv", "T\r\nName\r\nA\r\n"},
      {"junk-cr.csv", "junk,x\r\n\rName,G\nA,1\n"},
      {"junk-lf.csv", "junk,x\r\n\nName,G\nA,1\n"},
  };
  for (const auto& [name, content] : files) write(name, content);

  const Case cases[] = {
      // Line 1 may be the header or a title: both readings, and each typed back keeps its records.
      {{"named-once.csv"}, 1, "",
       duplicateHeaders + said(emptyFields(1, 2) + "; if line 1 is a title above the header, try --starting-row 2")},
      {{"named-once.csv", "--starting-row", "2"}, 0, "Bo\n", ""},
      // Columns a spreadsheet saved empty: no reading but naming them keeps every record.
      {{"trailing-empty.csv"}, 1, "", duplicateHeaders + said(emptyFields(1, 2))},
      // The header below a title would fail on a later row: that fault, not the cure.
      {{"title-short-row.csv"}, 1, "",
       duplicateHeaders + said(emptyFields(1, 2) +
                               "; if line 1 is a title above the header, --starting-row 3 would fail: line 5 has 2 "
                               "fields instead of 3")},
      // A two-column title above a row of no text reads, with a warning that names the table's header.
      {{"title-two-columns.csv"}, 0, "Ana\nBo\nName\n",
       said("line 1's header has 1 empty field: name that column or delete it; if line 1 is a title above the header, "
            "try --starting-row 3") +
           said("Skipped 1 record whose folder name is empty")},
      {{"title-two-columns.csv", "--starting-row", "3"}, 0, "Ana\nBo\n", ""},
      // A list of names saved with empty columns reads right without a header row.
      {{"names-only.csv"}, 1, "",
       duplicateHeaders + said(emptyFields(1, 2) + "; if line 1 is a name, not a header, try --header none")},
      {{"names-only.csv", "--header", "none"}, 0, "Ana\nBo\nCy\n", ""},
      {{"index-column.csv"}, 0, "Ana\nBo\n", ""},
      // No row of these is a header with records below it.
      {{"changing-width.csv"}, 1, "", "pelmora-zava: Line 1: " + emptyHeaderLine},
      // The cure for the line ends, and what the header then needs, as one.
      {{"quoted-crlf.csv", "--row-delimiter", "lf"}, 1, "",
       "pelmora-zava: Line 1: " + carriageReturnAfterQuote +
           said(pairedToStandard + "; then " + emptyFields(1, 2))},
      // The empty row between a CR LF pair's halves is on that pair's line.
      {{"title-crlf.csv", "--row-delimiter", "standard-plus", "--starting-row", "2"}, 1, "",
       "pelmora-zava: Line 1: " + emptyHeaderLine + said("the header is on line 2; try --starting-row 3")},
      {{"title-crlf.csv", "--row-delimiter", "standard-plus", "--starting-row", "3"}, 0, "A\n", ""},
      {{"junk-cr.csv", "--row-delimiter", "standard-plus", "--starting-row", "2"}, 1, "",
       "pelmora-zava: Line 1: " + emptyHeaderLine + said("the header is on line 3; try --starting-row 4")},
      {{"junk-lf.csv", "--row-delimiter", "standard-plus", "--starting-row", "2"}, 1, "",
       "pelmora-zava: Line 1: " + emptyHeaderLine + said("the header is on line 3; try --starting-row 4")},
      {{"junk-lf.csv", "--row-delimiter", "standard-plus", "--starting-row", "4"}, 0, "A\n", ""},
  };
  expectAnswers(cases);
}

TEST_F(Command, AnOptionThatTakesOneValueGivenTwiceIsNamed) {
  write("names.csv", "Name\nAna\n");
  const Case cases[] = {
      {{"names.csv", "--row-delimiter", "cr", "--row-delimiter", "standard"}, 2, "",
       said("--row-delimiter is given twice; give it once") + usage},
      {{"names.csv", "--encoding=utf-8", "--encoding", "utf-8", "--encoding", "ascii"}, 2, "",
       said("--encoding is given 3 times; give it once") + usage},
      {{"names.csv", "--header", "row", "--header", "none"}, 2, "",
       said("--header is given twice; give it once") + usage},
      {{"names.csv", "--export", "a", "--export", "b"}, 2, "", said("--export is given twice; give it once") + usage},
      // Those that may repeat still do.
      {{"--add", "Bo", "--add", "Cy", "--add-series", "T", "2", "--add-series", "U", "1", "--token", "A=1", "--token",
        "B=2", "--folder", "{A}{Filename}", "--subfolder", "x", "--subfolder", "{B}", "--export", "out", "--dry-run"},
       0,
       "out/1Bo/x\nout/1Bo/2\nout/1Cy/x\nout/1Cy/2\nout/1T1/x\nout/1T1/2\nout/1T2/x\nout/1T2/2\nout/1U1/x\nout/1U1/2\n",
       ""},
  };
  expectAnswers(cases);
}

}  // namespace
