// A datasource with hundreds of thousands of columns is read and named whole; how fast that
// goes is bench/wide_datasource.py's to measure.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

constexpr int columns = 200'000;

/// `prefix0`, `prefix1`, … and then `last`, one field a column.
std::string row(const std::string& prefix, const std::string& last, char separator) {
  std::string text;
  for (int column = 0; column + 1 < columns; ++column) text += prefix + std::to_string(column) + separator;
  return text + last + "\n";
}

/// The start of a text too long to show whole in a failure.
std::string shown(const std::string& text) { return text.substr(0, 100); }

using WideDatasource = Command;

TEST_F(WideDatasource, EveryColumnIsReadAndNamed) {
  // The name column comes last, so the header guess looks at every header before it finds it.
  const std::string file = write("wide.csv", row("c", "Name", ',') + row("v", "vName", ',') + row("x", "xName", ','))
                               .string();
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{file}, "vName\nxName\n", ""},
      {{file, "--header", "none"}, row("c", "Name", ' ') + row("v", "vName", ' ') + row("x", "xName", ' '), ""},
      {{file, "--folder", "{c199998} {Filename}"}, "v199998 vName\nx199998 xName\n", ""},
      // A token that stands for nothing is looked for among every header to suggest one.
      {{file, "--folder", "{Filename}{C199998}"}, "vName\nxName\n",
       "pelmora-zava: {C199998} is not a column header, a built-in token or a --token name; it stands for "
       "nothing. Did you mean {c199998}?\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, 0) << c.arguments.back() << ": " << shown(outcome.err);
    EXPECT_TRUE(outcome.out == c.out) << c.arguments.back() << ": " << shown(outcome.out);
    EXPECT_EQ(outcome.err, c.err) << c.arguments.back();
  }
}

}  // namespace
