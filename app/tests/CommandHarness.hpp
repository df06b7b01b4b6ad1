#pragma once
// Runs the built pelmora-zava on files in a temporary folder, as a person would, and
// collects what it answers: exit status, standard output and standard error.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/io/TemporaryDirectory.hpp"

namespace Pelmora_Zava::testing {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

/// One row of a table of runs: the arguments, standard input, and what the run must answer.
struct Expected {
  std::vector<std::string> arguments;
  int status;
  std::string out;
  std::string err;
  std::string input = "";
};

class Command : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const std::string& content) {
    std::ofstream(folder_ / name, std::ios::binary) << content;
    return folder_ / name;
  }

  /// Standard output goes to `output` when one is named (then `out` stays empty).
  Outcome run(const std::vector<std::string>& arguments, const std::string& input = "",
              const std::string& output = "") {
    // From the temporary folder, so that a folder made in the current one is seen and cleaned up.
    std::string line = "cd " + quoted(folder_.string()) + " && " + quoted(command_.string());
    for (const std::string& argument : arguments) line += " " + quoted(argument);
    const fs::path in = write(".stdin", input);
    const fs::path out = output.empty() ? folder_ / ".stdout" : fs::path(output);
    line += " <" + quoted(in.string()) + " >" + quoted(out.string()) + " 2>" + quoted((folder_ / ".stderr").string());
    Outcome outcome;
    const int status = std::system(line.c_str());
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (output.empty()) outcome.out = slurp(out);
    outcome.err = slurp(folder_ / ".stderr");
    return outcome;
  }

  /// Runs every row of `table`, each failure named by the row's arguments.
  template <std::size_t size>
  void expectAnswers(const Expected (&table)[size]) {
    for (const Expected& expected : table) {
      const Outcome outcome = run(expected.arguments, expected.input);
      std::string shown;
      for (const std::string& argument : expected.arguments) shown += argument + " ";
      EXPECT_EQ(outcome.status, expected.status) << shown;
      EXPECT_EQ(outcome.out, expected.out) << shown;
      EXPECT_EQ(outcome.err, expected.err) << shown;
    }
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

}  // namespace Pelmora_Zava::testing
