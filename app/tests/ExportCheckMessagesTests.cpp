// Options that would be ignored are refused before anything is read, and the dry run and the
// export both stop, before any folder is made, at what the export could not make.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const std::string usage = "Try 'pelmora-zava --help' for more information.\n";

std::string notCreated(const std::string& location, const std::string& reason) {
  return "pelmora-zava: The folder \xE2\x80\x9C" + location + "\xE2\x80\x9D couldn\xE2\x80\x99t be created.\n" +
         reason + "\n";
}

std::string fileInTheWay(const std::string& location, const std::string& file) {
  return notCreated(location, "Not a directory") + "pelmora-zava: \xE2\x80\x9C" + file +
         "\xE2\x80\x9D is a file, not a folder\n";
}

TEST_F(Command, StartingRowWithoutAHeaderRowIsAUsageError) {
  write("names.csv", "Name\nAl\nBo\n");
  write("rows.txt", "x\nName\nAl\nBo\n");
  const std::string needs = "pelmora-zava: --starting-row goes with --header row";
  const Case cases[] = {
      {{"names.csv", "--header", "none", "--starting-row", "2"}, 2, "", needs + ", not --header none\n" + usage},
      {{"rows.txt", "--starting-row", "2"}, 2, "", needs + "; a .txt file is read without a header row\n" + usage},
      // Decided from the command line alone: the file is never looked for.
      {{"absent.rtf", "--starting-row", "3"}, 2, "", needs + "; a .rtf file is read without a header row\n" + usage},
      {{"-", "--type", "public.plain-text", "--starting-row", "2"}, 2, "",
       needs + "; --type public.plain-text is read without a header row\n" + usage, "x\nName\nAl\n"},
      {{"-", "--type", "public.rtf", "--header", "none", "--starting-row", "2"}, 2, "",
       needs + ", not --header none\n" + usage},
      // --header row, a type read with one, or no type at all make it count.
      {{"rows.txt", "--header", "row", "--starting-row", "2"}, 0, "Al\nBo\n", ""},
      {{"-", "--type", "public.plain-text", "--header", "row", "--starting-row", "2"}, 0, "Al\n", "", "x\nName\nAl\n"},
      {{"-", "--starting-row", "2"}, 0, "Al\n", "", "x\nName\nAl\n"},
      {{"-", "--type", "public.tab-separated-values-text", "--starting-row", "2"}, 0, "Al\n", "", "x\nName\nAl\n"},
      {{"--add", "Cy", "--starting-row", "2"}, 0, "Cy\n", ""},
  };
  expectAnswers(cases);
}

TEST_F(Command, DryRunAndExportStopBeforeAnyFolderWhereTheExportWould) {
  write("ok.csv", "Name\nBo\n");
  fs::create_directory(folder_ / "shoot");
  write("shoot/Bo", "");
  fs::create_directory(folder_ / "shoot" / "Cy");
  write("shoot/Cy/RAW", "");
  fs::create_directories(folder_ / "root" / "real");
  write("root/plain", "");
  fs::create_directory_symlink("real", folder_ / "root" / "linked");
  fs::create_symlink("plain", folder_ / "root" / "filelink");
  const std::string tooLong(300, 'z');
  const Case cases[] = {
      // A file in the root's place, or above it.
      {{"ok.csv", "--export", "ok.csv", "--dry-run"}, 1, "", fileInTheWay("ok.csv/Bo", "ok.csv")},
      {{"ok.csv", "--export", "ok.csv/deeper", "--dry-run"}, 1, "", fileInTheWay("ok.csv/deeper/Bo", "ok.csv")},
      {{"ok.csv", "--export", "ok.csv/deeper"}, 1, "", fileInTheWay("ok.csv/deeper/Bo", "ok.csv")},
      // A file in a folder's place below the root, after a location that could be made.
      {{"--add", "Al", "--add", "Bo", "--export", "shoot", "--dry-run"}, 1, "", fileInTheWay("shoot/Bo", "shoot/Bo")},
      {{"--add", "Al", "--add", "Bo", "--export", "shoot"}, 1, "", fileInTheWay("shoot/Bo", "shoot/Bo")},
      {{"--add", "Al", "--add", "Bo", "--subfolder", "RAW", "--export", "shoot", "--dry-run"}, 1, "",
       fileInTheWay("shoot/Bo/RAW", "shoot/Bo")},
      {{"--add", "Cy", "--subfolder", "A", "--subfolder", "RAW", "--export", "shoot", "--dry-run"}, 1, "",
       fileInTheWay("shoot/Cy/RAW", "shoot/Cy/RAW")},
      // A link counts as what it leads to, as the export follows it inside the root.
      {{"--add", "linked", "--subfolder", "RAW", "--export", "root", "--dry-run"}, 0, "root/linked/RAW\n", ""},
      {{"--add", "filelink", "--subfolder", "RAW", "--export", "root", "--dry-run"}, 1, "",
       fileInTheWay("root/filelink/RAW", "root/filelink")},
      {{"--add", "Al", "--add", "filelink", "--subfolder", "RAW", "--export", "root"}, 1, "",
       fileInTheWay("root/filelink/RAW", "root/filelink")},
      {{"--add", "Al", "--add", "plain", "--export", "root"}, 1, "", fileInTheWay("root/plain", "root/plain")},
      // A name too long leaves no partial tree either.
      {{"--add", "Bo", "--add", tooLong, "--export", "long"}, 1, "",
       notCreated("long/" + tooLong, "File name too long")},
  };
  expectAnswers(cases);
  EXPECT_EQ(tree(folder_ / "shoot"), (std::vector<std::string>{"Bo", "Cy/", "Cy/RAW"}));
  EXPECT_EQ(tree(folder_ / "root" / "real"), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(folder_ / "root" / "Al"));
  EXPECT_FALSE(fs::exists(folder_ / "long"));
}

}  // namespace
