// Options that would be ignored are refused before anything is read, and the dry run and the
// export both stop, before any folder is made, at what the export could not make.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

std::string fileInTheWay(const std::string& location, const std::string& file, const std::string& what = "a file") {
  return notCreated(location, "Not a directory") + "pelmora-zava: \xE2\x80\x9C" + file + "\xE2\x80\x9D is " + what +
         ", not a folder\n";
}

std::string linkOutside(const std::string& location, const std::string& root) {
  return "pelmora-zava: The folder \xE2\x80\x9C" + location +
         "\xE2\x80\x9D would lie outside the export folder.\nA symbolic link inside \xE2\x80\x9C" + root +
         "\xE2\x80\x9D leads to a place outside it, or to nowhere.\nRemove the link or choose another export folder.\n";
}

// A socket file stays when its descriptor is closed.
void makeSocket(const fs::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.native().size(), sizeof address.sun_path);
  path.native().copy(address.sun_path, path.native().size());
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(socket, 0);
  EXPECT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(socket);
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
  fs::create_directories(folder_ / "outside");
  fs::create_directory(folder_ / "links");
  fs::create_directory_symlink("../outside", folder_ / "links" / "Al");
  fs::create_directory_symlink("nowhere", folder_ / "links" / "Cy");
  write("links/Dee", "");
  fs::create_directory(folder_ / "special");
  ASSERT_EQ(::mkfifo((folder_ / "special" / "Bo").c_str(), 0600), 0);
  makeSocket(folder_ / "special" / "Sock");
  fs::create_symlink("Bo", folder_ / "special" / "Fl");
  fs::create_directory(folder_ / "empty");
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
      {{"--add", "Bo", "--add", tooLong, "--export", "empty", "--dry-run"}, 1, "",
       notCreated("empty/" + tooLong, "File name too long")},
      {{"--add", "Bo", "--subfolder", "RAW", "--export", "empty", "--dry-run"}, 0, "empty/Bo/RAW\n", ""},
      // A link out of the root or to nowhere stops the dry run as the export, before what follows it.
      {{"--add", "Al", "--export", "links", "--dry-run"}, 1, "", linkOutside("links/Al", "links")},
      {{"--add", "Al", "--add", "Dee", "--export", "links"}, 1, "", linkOutside("links/Al", "links")},
      {{"--add", "Cy", "--subfolder", "RAW", "--export", "links", "--dry-run"}, 1, "",
       linkOutside("links/Cy/RAW", "links")},
      {{"--add", "Cy", "--add", "Dee", "--export", "links"}, 1, "", linkOutside("links/Cy", "links")},
      {{"--add", "Cy", "--add", tooLong, "--export", "links"}, 1, "", linkOutside("links/Cy", "links")},
      // Other files in a folder's place are named for what they are, a link for where it leads.
      {{"--add", "Al", "--add", "Bo", "--export", "special", "--dry-run"}, 1, "",
       fileInTheWay("special/Bo", "special/Bo", "a FIFO")},
      {{"--add", "Al", "--add", "Bo", "--export", "special"}, 1, "", fileInTheWay("special/Bo", "special/Bo", "a FIFO")},
      {{"--add", "Fl", "--subfolder", "RAW", "--export", "special"}, 1, "",
       fileInTheWay("special/Fl/RAW", "special/Fl", "a FIFO")},
      {{"--add", "Sock", "--subfolder", "RAW", "--export", "special", "--dry-run"}, 1, "",
       fileInTheWay("special/Sock/RAW", "special/Sock", "a socket")},
  };
  expectAnswers(cases);
  EXPECT_EQ(tree(folder_ / "shoot"), (std::vector<std::string>{"Bo", "Cy/", "Cy/RAW"}));
  EXPECT_EQ(tree(folder_ / "root" / "real"), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(folder_ / "root" / "Al"));
  EXPECT_FALSE(fs::exists(folder_ / "long"));
  EXPECT_TRUE(fs::is_empty(folder_ / "empty"));
  EXPECT_TRUE(fs::is_empty(folder_ / "outside"));
  EXPECT_FALSE(fs::exists(folder_ / "special" / "Al"));
}

}  // namespace
