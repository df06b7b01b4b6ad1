// What the command says when a datasource's header is not its first row, or a row is narrower
// or wider than its header: the real header's line and a --starting-row that reads the file,
// and the delimiter and quoting named only where they can be the cause.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const std::string duplicateHeaders =
    "pelmora-zava: The header row contain two fields with the same value.\nRequest a row instead of a record.\n";
const std::string headerNone =
    "pelmora-zava: Give the columns different headers, or read the datasource without a header row: --header none\n";
const std::string emptyHeaderAtLine1 =
    "pelmora-zava: Line 1: A header line was expected, but an empty line was found instead.\n"
    "Make sure there is a header line at the very beginning of the file or mark the configuration as 'no header'.\n";

std::string widthFailure(int line) {
  return "pelmora-zava: Line " + std::to_string(line) +
         ": The number of fields is not constant between rows.\n"
         "Make sure the CSV file has always the same amount of fields per row (including the header row).\n";
}

std::string said(const std::string& line) { return "pelmora-zava: " + line + "\n"; }

std::string headerOn(int line, int row) {
  return "pelmora-zava: the header is on line " + std::to_string(line) + "; try --starting-row " +
         std::to_string(row) + "\n";
}

TEST_F(Command, NamesTheHeaderBelowSpreadsheetRowsAndWhatARowOfAnotherWidthMeans) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty-rows.csv", ",,\n,,\nName,Grade,Note\nAna,4,x\n"},
      {"blank-then-empty-row.csv", "\n,,\nName,Grade,Note\nAna,4,x\n"},
      {"padded-title.csv", "Title,,\n,,\nName,Grade,Note\nAna,4,x\n"},
      {"title-row.csv", "Title\n\nName,Grade\nAna,4\n"},
      {"one-column.csv", "Name\nLovelace, Ada\nBabbage, Charles\n"},
      {"caption.csv", ",,\nReport 2024\nName,Grade,Note\nAna,4,x\n"},
      {"header-only.csv", "\n,,\nName,Grade,Note\n"},
      {"ragged-below.csv", ",,\nName,Grade,Note\nAna,4,x\nBo,5\n"},
      {"unnamed-column.csv", "\nName,,Note\nAna,4,x\nBo,5,y\n"},
      {"empty-row-unnamed-column.csv", ",,\nName,,Note\nAna,4,x\n"},
      {"unnamed-columns.csv", "Name,,,Note\nAna,4,x,y\nBo,5,z,w\n"},
      {"named-twice.csv", "Name,Name\nAna,Bo\n"},
      {"title-then-rows.csv", "Title\n\nName,Grade\nAna,4\nBo\n"},
      {"title-no-blank.csv", "Title\nName,Grade\nAna,4\n"},
      {"releases.csv",
       "version,codename,series,created,release,eol,eol-server,eol-esm\n"
       "6.06 LTS,Dapper Drake,dapper,2004-10-20,2006-06-01,2009-07-14\n"},
      {"zones.tsv", "#codes\tcoordinates\tTZ\tcomments\nAD\t+4230+00131\tEurope/Andorra\n"},
      {"unquoted.csv", "Name,City\nBerg, Anna,Oslo\n"},
      {"quoted.csv", "Name,City\n\"Berg, Anna\",Oslo\n"},
      {"semicolons.csv", "Name;Address, City;Zip\nAna;Main St;0150\n"},
  };
  for (const auto& [name, content] : files) write(name, content);

  const Case cases[] = {
      // Empty rows and a title padded to the table's width lie above the header; --header none
      // would make the header a folder.
      {{"empty-rows.csv"}, 1, "", duplicateHeaders + headerOn(3, 3)},
      {{"empty-rows.csv", "--starting-row", "3"}, 0, "Ana\n", ""},
      {{"blank-then-empty-row.csv"}, 1, "", emptyHeaderAtLine1 + headerOn(3, 3)},
      {{"blank-then-empty-row.csv", "--starting-row", "2"}, 1, "", duplicateHeaders + headerOn(3, 3)},
      {{"blank-then-empty-row.csv", "--starting-row", "3"}, 0, "Ana\n", ""},
      {{"padded-title.csv"}, 1, "",
       duplicateHeaders + said("line 1's header has 2 empty fields: name those columns or delete them; if line 1 is a "
                               "title above the header, try --starting-row 3")},
      {{"padded-title.csv", "--starting-row", "3"}, 0, "Ana\n", ""},
      // A row of another width than the rows below it is no header either.
      {{"caption.csv"}, 1, "", duplicateHeaders + headerOn(3, 3)},
      {{"caption.csv", "--starting-row", "3"}, 0, "Ana\n", ""},
      // A header with no record below it is not named: typed back, it would make nothing.
      {{"header-only.csv"}, 1, "", emptyHeaderAtLine1},
      {{"header-only.csv", "--starting-row", "3"}, 0, "",
       "pelmora-zava: the datasource has a header row and no records\n"},
      // A header with an unnamed column is still the header.
      {{"unnamed-column.csv"}, 1, "", emptyHeaderAtLine1 + headerOn(2, 2)},
      {{"unnamed-column.csv", "--starting-row", "2"}, 0, "Ana\nBo\n", ""},
      {{"empty-row-unnamed-column.csv"}, 1, "", duplicateHeaders + headerOn(2, 2)},
      {{"empty-row-unnamed-column.csv", "--starting-row", "2"}, 0, "Ana\n", ""},
      // A header that would fail in turn is named with what it fails on; unnamed columns are the header's own mistake.
      {{"ragged-below.csv"}, 1, "",
       duplicateHeaders + said("the header is on line 2, but --starting-row 2 would fail: line 4 has 2 fields instead of 3")},
      {{"unnamed-columns.csv"}, 1, "",
       duplicateHeaders + said("line 1's header has 2 empty fields: name those columns or delete them")},
      {{"named-twice.csv"}, 1, "", duplicateHeaders + headerNone},
      // A title above a blank row and a wider table: its header, then what else may be wrong.
      {{"title-row.csv"}, 1, "",
       widthFailure(3) + headerOn(3, 3) +
           "pelmora-zava: Line 3 has 2 fields instead of 1; check --delimiter and --qualifier\n"},
      {{"title-row.csv", "--starting-row", "3"}, 0, "Ana\n", ""},
      {{"title-then-rows.csv"}, 1, "",
       widthFailure(3) + "pelmora-zava: Line 3 has 2 fields instead of 1; check --delimiter and --qualifier\n"},
      {{"title-no-blank.csv"}, 1, "",
       widthFailure(2) + "pelmora-zava: Line 2 has 2 fields instead of 1; check --delimiter and --qualifier\n"},
      {{"one-column.csv"}, 1, "",
       widthFailure(2) + "pelmora-zava: Line 2 has 2 fields instead of 1; check --delimiter and --qualifier\n"},
      // A row narrower or wider than a header of several fields: the options cannot help.
      {{"releases.csv"}, 1, "",
       widthFailure(2) +
           "pelmora-zava: line 2 has 6 of the header's 8 fields; every row must have as many fields as the header\n"},
      {{"zones.tsv"}, 1, "",
       widthFailure(2) +
           "pelmora-zava: line 2 has 3 of the header's 4 fields; every row must have as many fields as the header\n"},
      {{"unquoted.csv"}, 1, "",
       widthFailure(2) +
           "pelmora-zava: line 2 has 3 fields, the header 2; a field that holds the delimiter must be in quotes\n"},
      {{"quoted.csv"}, 0, "Berg, Anna\n", ""},
      // They can where the row holds a quote or the header another delimiter.
      {{"quoted.csv", "--qualifier", "none"}, 1, "",
       widthFailure(2) + "pelmora-zava: Line 2 has 3 fields instead of 2; check --delimiter and --qualifier\n"},
      {{"semicolons.csv"}, 1, "",
       widthFailure(2) + "pelmora-zava: Line 2 has 1 field instead of 2; check --delimiter and --qualifier\n"},
      {{"semicolons.csv", "--delimiter", "semicolon"}, 0, "Ana\n", ""},
  };
  expectAnswers(cases);
}

}  // namespace
