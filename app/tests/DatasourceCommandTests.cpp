// The command's one read of its datasource, whatever the datasource is: a pipe, a FIFO, a
// device, more bytes than it takes, or bytes in another encoding than the one it is told.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using Pelmora_Zava::testing::Outcome;
using Pelmora_Zava::testing::quoted;
using Pelmora_Zava::testing::slurp;

class DatasourceCommand : public Pelmora_Zava::testing::Command {
 protected:
  /// Runs `script` in bash (for process substitution, which std::system's /bin/sh lacks) from
  /// the temporary folder, with the command as $PZ. A script that has not ended after
  /// `seconds` is ended with everything it started, and its status is timeout's 124: a guard
  /// against a pipe or FIFO left waiting, far beyond what the slowest sanitizer build under
  /// load takes.
  Outcome runInBash(const std::string& script, int seconds = 600) {
    const std::string line = "cd " + quoted(folder_.string()) + " && PZ=" + quoted(command_.string()) +
                             " timeout " + std::to_string(seconds) + " bash -c " + quoted(script) + " </dev/null >" +
                             quoted((folder_ / ".stdout").string()) + " 2>" + quoted((folder_ / ".stderr").string());
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(folder_ / ".stdout"), slurp(folder_ / ".stderr")};
  }
};

std::string names(int count) {
  std::string text;
  char name[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "n%06d\n", i);
    text += name;
  }
  return text;
}

// A pipe or a FIFO gives its bytes once: each must reach the names, with or without an
// encoding to look for a mark in, every time.
TEST_F(DatasourceCommand, APipeOrAFIFOGivesEveryName) {
  const std::string few = "printf 'Name\\nAlice\\nBob\\n'";
  const std::string many = "{ echo Name; seq -f 'n%06g' 0 99999; }";
  struct Case {
    std::string script;
    std::string out;
    int times;  // what was lost depended on timing
  };
  const Case cases[] = {
      {"\"$PZ\" <(" + few + ")", "Alice\nBob\n", 3},
      {"\"$PZ\" <(" + many + ")", names(100000), 1},
      {"mkfifo few.csv && { " + few + " > few.csv & } && \"$PZ\" few.csv", "Alice\nBob\n", 3},
      {"mkfifo many.csv && { " + many + " > many.csv & } && \"$PZ\" many.csv", names(100000), 1},
  };
  for (const Case& c : cases) {
    for (const std::string encoding : {"", " --encoding utf-8", " --encoding windows-1252"}) {
      for (int time = 0; time < c.times; ++time) {
        std::filesystem::remove(folder_ / "few.csv");
        std::filesystem::remove(folder_ / "many.csv");
        const Outcome outcome = runInBash(c.script + encoding);
        EXPECT_EQ(outcome.status, 0) << c.script << encoding << "\n" << outcome.err;
        EXPECT_TRUE(outcome.out == c.out) << c.script << encoding << ": " << outcome.out.size() << " bytes";
        EXPECT_EQ(outcome.err, "");
      }
    }
  }
}

// Only a file ends; a device may not, and any datasource past the bound is refused before it
// fills the memory. Standard input is read whatever it is.
TEST_F(DatasourceCommand, WhatMayNeverEndIsRefused) {
  std::filesystem::create_symlink("/dev/zero", folder_ / "z.csv");
  {
    std::ofstream(folder_ / "huge.csv");
    std::filesystem::resize_file(folder_ / "huge.csv", (std::uintmax_t{1} << 30) + 1);  // sparse: no room taken
  }
  const std::string device = "is a device, not a file; name a datasource file, or - to read standard input\n";
  const std::string bound = " holds more than 1 GiB, the most that is read; split it into smaller files\n";
  struct Case {
    std::string script;
    int status;
    std::string err;
    std::optional<std::string> out = std::nullopt;
  };
  const Case cases[] = {
      // The null device is the empty file people pass for one.
      {"\"$PZ\" /dev/null --add Alice", 0, "pelmora-zava: the datasource has no records: it is empty\n", "Alice\n"},
      {"\"$PZ\" /dev/zero", 1, "pelmora-zava: \u201C/dev/zero\u201D " + device},
      {"\"$PZ\" z.csv", 1, "pelmora-zava: \u201Cz.csv\u201D " + device},
      {"\"$PZ\" huge.csv", 1, "pelmora-zava: the datasource" + bound},
      {"\"$PZ\" - < huge.csv", 1, "pelmora-zava: standard input" + bound},
      {"\"$PZ\" - --add x < /dev/null", 0, ""},
  };
  for (const Case& c : cases) {
    const Outcome outcome = runInBash(c.script);
    EXPECT_EQ(outcome.status, c.status) << c.script << "\n" << outcome.err;
    if (!c.err.empty()) {
      EXPECT_EQ(outcome.err, c.err) << c.script;
    }
    if (c.out) {
      EXPECT_EQ(outcome.out, *c.out) << c.script;
    }
  }
}

// What is decided on is what is read: a link switched between a file and a device while the
// command runs gives the file's names or the device's refusal, never the device's bytes.
TEST_F(DatasourceCommand, ALinkSwitchedToADeviceIsNeverRead) {
  constexpr int runs = 200;
  write("names.csv", "Name\nAlice\nBob\n");
  std::filesystem::create_symlink("names.csv", folder_ / "z.csv");
  std::atomic<bool> stop = false;
  // Two switchers, each with a link of its own to rename, switch it twice as often.
  const auto switchLink = [&](const std::string& swapName) {
    const std::filesystem::path link = folder_ / "z.csv", swap = folder_ / swapName;
    while (!stop.load(std::memory_order_relaxed)) {
      for (const char* target : {"/dev/zero", "names.csv"}) {
        if (::symlink(target, swap.c_str()) == 0) ::rename(swap.c_str(), link.c_str());
      }
    }
  };
  std::thread switchers[] = {std::thread(switchLink, "swap1"), std::thread(switchLink, "swap2")};
  // One shell runs them all; a run that reads the device reads 1 GiB, so the whole is bounded.
  const Outcome loop = runInBash("for i in $(seq " + std::to_string(runs) +
                                 "); do \"$PZ\" z.csv >out.$i 2>err.$i; echo $? >status.$i; done");
  stop = true;
  for (std::thread& switcher : switchers) switcher.join();
  ASSERT_EQ(loop.status, 0) << "the runs did not end in time";
  const std::string refusal =
      "pelmora-zava: \u201Cz.csv\u201D is a device, not a file; name a datasource file, or - to read standard input\n";
  for (int run = 1; run <= runs; ++run) {
    const std::string n = std::to_string(run);
    const Outcome outcome{std::stoi(slurp(folder_ / ("status." + n))), slurp(folder_ / ("out." + n)),
                          slurp(folder_ / ("err." + n))};
    if (outcome.status == 0) {
      EXPECT_EQ(outcome.out, "Alice\nBob\n") << "run " << run;
      EXPECT_EQ(outcome.err, "") << "run " << run;
    } else {
      EXPECT_EQ(outcome.status, 1) << "run " << run;
      EXPECT_EQ(outcome.err, refusal) << "run " << run;
    }
  }
}

// What the bytes say about their encoding is named where the command can see it: a mark that
// contradicts the encoding given, and rich text behind a mark.
TEST_F(DatasourceCommand, EncodingMistakesAreNamed) {
  using namespace std::string_literals;
  const std::string conflict =
      "pelmora-zava: The encoding passed in the configuration doesn't match the Byte Order Mark (BOM) from the input "
      "data\n";
  const auto markCure = [](const std::string& family) {
    std::string shown = family;
    for (char& c : shown) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "pelmora-zava: The datasource starts with a " + shown + " byte-order mark; leave out --encoding, or give " +
           "--encoding " + family + "\n";
  };
  const std::string utf8Failure =
      "pelmora-zava: Some input bytes couldn't be decoded as UTF8 characters\nMake sure the CSV only contains UTF8 "
      "characters or select a different encoding.\n";
  const std::string cure = "give --encoding NAME (for example --encoding windows-1252)\n";
  // Marked bytes are read in the mark's encoding or not at all: another encoding is no cure.
  const auto saveAgain = [](const std::string& family) {
    return "the datasource starts with a " + family + " byte-order mark, so no --encoding reads it: save it again as " +
           family + "\n";
  };
  const std::string spreadsheet =
      "pelmora-zava: this looks like a spreadsheet file, not text: export it as CSV or TSV first\n";
  const std::string richText = "\xEF\xBB\xBF{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Smith\\par Jones\\par}";
  struct Case {
    std::string file;  // the datasource's name; "-" for standard input
    std::string bytes;
    std::vector<std::string> options;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"names.csv", "\xEF\xBB\xBFName\n\xC3\x89mile\n", {"--encoding", "windows-1252"}, 1, "",
       conflict + markCure("utf-8")},
      {"-", "\xEF\xBB\xBFName\n\xC3\x89mile\n", {"--encoding", "latin1"}, 1, "", conflict + markCure("utf-8")},
      {"names.csv", "\xFF\xFEN\0a\0m\0e\0\n\0Z\0o\0\n\0"s, {"--encoding", "windows-1252"}, 1, "",
       conflict + markCure("utf-16")},
      {"names.txt", "\0\0\xFE\xFF\0\0\0Z\0\0\0\n"s, {"--encoding", "iso-8859-2"}, 1, "",
       conflict + markCure("utf-32")},
      // Bytes that are not in the encoding read: where the first wrong one is, and what to try.
      {"names.csv", "Name\nM\xFCller\n", {}, 1, "", utf8Failure + "pelmora-zava: line 2, byte 0xFC is not UTF-8; " + cure},
      {"-", "\xEF\xBB\xBFName\r\nAl\r\n\r\n\"B\no\"\r\nM\xC3\xBCller\xE9\n", {}, 1, "",
       utf8Failure + "pelmora-zava: line 6, byte 0xE9 is not UTF-8; " + saveAgain("UTF-8")},
      {"names.csv", "Name\nM\xFCller\n", {"--encoding", "ascii"}, 1, "",
       "pelmora-zava: The decoded byte is not an ASCII character.\nMake sure the CSV only contains ASCII characters or "
       "select a different encoding (e.g. UTF8).\npelmora-zava: line 2, byte 0xFC is not ASCII; " + cure},
      {"names.csv", "\xFF\xFEN\0a\0m\0e\0\n\0Z"s, {}, 1, "",
       "pelmora-zava: The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).\n"
       "Check the last UTF16 character of your input data/file.\npelmora-zava: " + saveAgain("UTF-16")},
      {"class.xlsx", "PK\x03\x04\x14\0\x06\0\x08\0\0\0!\0\xB5\x8A"s, {}, 1, "", utf8Failure + spreadsheet},
      {"class.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0\xFE\xFF"s, {"--header", "none"}, 1, "",
       utf8Failure + spreadsheet},
      // Without a mark the encoding given holds, as before.
      {"names.csv", "Name\n\xC9mile\n", {"--encoding", "windows-1252"}, 0, "\u00C9mile\n", ""},
      {"names.rtf", richText, {}, 0, "Jones\nSmith\n", ""},
      {"-", richText, {"--type", "public.rtf"}, 0, "Jones\nSmith\n", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {c.file};
    if (c.file != "-") arguments.front() = write(c.file, c.bytes).string();
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome outcome = run(arguments, c.file == "-" ? c.bytes : "");
    EXPECT_EQ(outcome.status, c.status) << c.file << (c.options.empty() ? "" : " " + c.options.back());
    EXPECT_EQ(outcome.out, c.out) << c.file;
    EXPECT_EQ(outcome.err, c.err) << c.file;
  }
}

}  // namespace
