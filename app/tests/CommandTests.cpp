// Runs the built pelmora-zava on files in a temporary folder, as a person would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/io/TemporaryDirectory.hpp"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

class Command : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const std::string& content) {
    std::ofstream(folder_ / name, std::ios::binary) << content;
    return folder_ / name;
  }

  Outcome run(const std::vector<std::string>& arguments, const std::string& input = "") {
    std::string line = quoted(command_.string());
    for (const std::string& argument : arguments) line += " " + quoted(argument);
    const fs::path in = write(".stdin", input);
    line += " <" + quoted(in.string()) + " >" + quoted((folder_ / ".stdout").string()) + " 2>" +
            quoted((folder_ / ".stderr").string());
    Outcome outcome;
    const int status = std::system(line.c_str());
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = slurp(folder_ / ".stdout");
    outcome.err = slurp(folder_ / ".stderr");
    return outcome;
  }

  std::vector<std::string> tree(const fs::path& root) {
    std::vector<std::string> entries;
    if (!fs::exists(root)) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      entries.push_back(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  platform::TemporaryDirectory temporary_;
  fs::path command_ = fs::path(PZ_BINARY_DIR) / "app" / "pelmora-zava";
  fs::path folder_ = temporary_.path();
};

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
  };
  const Case cases[] = {
      {{file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\n"},
      {{file.string(), "--whitespace", "hyphen", "--pad-digits", "3"}, "IMG-001_jpg\nIMG-009\nIMG-010\n"},
      {{file.string(), "--name-column", "Last Name", "--case", "uppercase"}, "DUBOIS\nO'BRIEN\nSMITH\n"},
      {{file.string(), "--folder", "{Last Name} {Index}", "--trim-end", "2"}, "Dubois\nO'Brien\nSmith\n"},
      {{file.string(), "--folder", "{Client}-{Filename}", "--token", "Client=Acme", "--illegal", "remove"},
       "Acme-IMG 1jpg\nAcme-IMG 9\nAcme-IMG 10\n"},
      {{"--add", "Shot", "--add-series", "Take", "2", "--number-first"}, "1Take\n2Take\nShot\n"},
      {{"-", "--type", "public.plain-text"}, "a b\nc d\n"},
      // Each occurrence of a repeatable option takes its own values only; the datasource stays the datasource.
      {{"--add", "Shot", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\nShot\n"},
      {{"--add-series", "Take", "1", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\nTake1\n"},
      {{"--folder", "{C}{Index}", "--token", "C=x", file.string()}, "x1\nx2\nx3\n"},
      {{"--subfolder", "s", file.string()}, "IMG 1_jpg\nIMG 9\nIMG 10\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments, "c d\na b\n");
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
       0, {"ok/", "ok/s/"}, ""},
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
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments.front() << "\n" << outcome.err;
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_NE(outcome.err.find(c.error), std::string::npos) << outcome.err;
  }
}

TEST_F(Command, VerboseWritesTheLogAndHelpAndVersionSucceed) {
  const Outcome verbose = run({"--verbose", "--add", "x"});
  EXPECT_EQ(verbose.status, 0);
  EXPECT_NE(verbose.err.find("Adding new filename: x"), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("There are now 1 total filenames"), std::string::npos) << verbose.err;
  for (const char* flag : {"--help", "--version"}) {
    const Outcome outcome = run({flag});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("pelmora-zava"), std::string::npos) << outcome.out;
  }
}

}  // namespace
