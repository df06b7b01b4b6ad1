// Every import and export option is in force before the command's one decode and naming: the
// names, their order, the messages and the exit status are those of applying the options one
// after the other, and the log shows one decode.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;
using namespace std::string_literals;

std::size_t occurrences(const std::string& text, const std::string& line) {
  std::size_t count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  return count;
}

TEST_F(Command, EveryOptionNamesAsOneAfterTheOtherWould) {
  write("roster.csv",
        "Student ID,First Name,Last Name,Teacher\n7,Uma , Nguyen,Mr. Brown\n12,Ada,Lovelace,Ms. Hopper\n"
        "3,bo,de la Cruz,Mr. Brown\n");
  write("skip.csv", "x,y\nName,Grade\n Al ,1\nBo,2\n");
  write("names.rtf", "{\\rtf1\\ansi Name\\par Ada\\par Bo\\par}");
  write("marked.csv", "\xFF\xFEN\0a\0m\0e\0\n\0A\0d\0a\0\n\0B\0\xF6\0\n\0"s);
  // One reads only under its options, the other only without them.
  write("semi.csv", "Name;Grade\n\"A;B\";4\nCy;5\n");
  write("stray.csv", "Name\nAl \"x\"\nBo\n");
  write("oneil.csv", "Name\nO'Brien\nAl\n");

  const Case cases[] = {
      {{"roster.csv"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--header", "none"}, 0, "3 bo de la Cruz Mr_ Brown\n7 Uma Nguyen Mr_ Brown\n12 Ada Lovelace Ms_ Hopper\nStudent ID First Name Last Name Teacher\n", ""},
      {{"roster.csv", "--starting-row", "2"}, 0, "3\n12\n", ""},
      {{"roster.csv", "--delimiter", "semicolon"}, 0, "3,bo,de la Cruz,Mr_ Brown\n7,Uma , Nguyen,Mr_ Brown\n12,Ada,Lovelace,Ms_ Hopper\n", "pelmora-zava: the header holds ',' and no ';'; try --delimiter comma\n"},
      {{"roster.csv", "--row-delimiter", "standard-plus"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--encoding", "windows-1252"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--no-trim-whitespace"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--qualifier", "single"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--whitespace", "underscore"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--illegal", "remove"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--illegal", "none"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--case", "uppercase"}, 0, "3\n7\n12\n", ""},
      {{"roster.csv", "--pad-digits", "3"}, 0, "003\n007\n012\n", ""},
      {{"roster.csv", "--trim-start", "1"}, 0, "2\n", "pelmora-zava: Skipped 2 records whose folder name is empty\n"},
      {{"roster.csv", "--trim-end", "2"}, 1, "", "pelmora-zava: Skipped 3 records whose folder name is empty\npelmora-zava: no folder to make: every record's folder name is empty\n"},
      {{"roster.csv", "--name-column", "Teacher"}, 0, "Mr_ Brown\nMs_ Hopper\n", "pelmora-zava: Dropped 1 record whose folder name another record already has\n"},
      {{"roster.csv", "--name-column", "Nobody"}, 0, "3 bo de la Cruz Mr_ Brown\n7 Uma Nguyen Mr_ Brown\n12 Ada Lovelace Ms_ Hopper\n", "pelmora-zava: the datasource has no header \"Nobody\"; each name is its whole record\n"},
      {{"roster.csv", "--folder", "{Last Name} {First Name} {Student ID}", "--whitespace", "underscore", "--illegal", "remove"}, 0, "de_la_Cruz_bo_3\nLovelace_Ada_12\nNguyen_Uma_7\n", ""},
      {{"roster.csv", "--folder", "{Last Name}", "--subfolder", "{Parent Folder} ({Teacher})", "--no-trim-whitespace", "--case", "lowercase", "--export", "out", "--dry-run"}, 0, "out/ nguyen/ nguyen (mr_ brown)\nout/de la cruz/de la cruz (mr_ brown)\nout/lovelace/lovelace (ms_ hopper)\n", ""},
      {{"skip.csv", "--starting-row", "2", "--no-trim-whitespace"}, 0, " Al \nBo\n", ""},
      {{"names.rtf"}, 0, "Ada\nBo\nName\n", ""},
      {{"names.rtf", "--header", "row"}, 0, "Ada\nBo\n", ""},
      {{"marked.csv"}, 0, "Ada\nB\xC3""\xB6""\n", ""},
      {{"marked.csv", "--case", "uppercase", "--encoding", "utf-16"}, 0, "ADA\nB\xC3""\x96""\n", ""},
      {{"semi.csv"}, 1, "", "pelmora-zava: Line 2: The targeted field parsed successfully. However, the character right after it was not a field nor row delimiter.\nThere seems to be some characters after the escaping character and before the next field or the end of the row. Please remove those.\npelmora-zava: if the file uses no quoting, try --qualifier none\n"},
      {{"semi.csv", "--delimiter", "semicolon"}, 0, "A;B\nCy\n", ""},
      {{"stray.csv"}, 1, "", "pelmora-zava: Line 2: The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.\nAdd the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar found within the field.\npelmora-zava: if the file uses no quoting, try --qualifier none\n"},
      {{"stray.csv", "--qualifier", "none"}, 0, "Al \"x\"\nBo\n", ""},
      {{"oneil.csv"}, 0, "Al\nO'Brien\n", ""},
      {{"oneil.csv", "--qualifier", "single"}, 1, "", "pelmora-zava: Line 2: The escaping scalar (double quotes by default) is not allowed within fields which aren't already escaped.\nAdd the escaping scalar at the very beginning and the very end of the field and escape the escaping scalar found within the field.\npelmora-zava: if the file uses no quoting, try --qualifier none\n"},
      {{"-", "--type", "public.plain-text", "--no-trim-whitespace", "--add", "Retakes"}, 0, " Al \nBo\nRetakes\n", "", " Al \nBo\n"},
  };
  expectAnswers(cases);
}

TEST_F(Command, OptionsAddNoDecodeOrNaming) {
  write("roster.csv", "Name,Grade\nAda,4\nBo,5\n");
  const Outcome outcome = run({"roster.csv", "--no-trim-whitespace", "--delimiter", "comma", "--whitespace",
                               "underscore", "--illegal", "remove", "--add", "Retakes", "--verbose"});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "Ada\nBo\nRetakes\n");
  EXPECT_EQ(occurrences(outcome.err, "Decoding data and assigning headers\n"), 1u) << outcome.err;
  // A new importer names its empty lists once before anything is imported.
  const std::string imported = outcome.err.substr(outcome.err.find("Importing "));
  EXPECT_EQ(occurrences(imported, "total filenames\n"), 1u) << outcome.err;
}

}  // namespace
