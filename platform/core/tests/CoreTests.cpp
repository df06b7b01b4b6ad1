#include <gtest/gtest.h>

#include "platform/core/Error.hpp"
#include "platform/core/FloatingPointText.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"

namespace platform {
namespace {

TEST(Unicode, UTF8RoundTripAndValidation) {
  const std::u32string scalars = U"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(toScalars(toUTF8(scalars)), scalars);
  EXPECT_TRUE(isWellFormedUTF8(toUTF8(scalars)));
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"}) EXPECT_FALSE(isWellFormedUTF8(bad));
}

TEST(FloatingPointText, AsThePlatformPrintsNumbers) {
  const std::pair<double, const char*> doubles[] = {
      {0.0, "0.0"},      {-0.0, "-0.0"},     {1.0, "1.0"},         {100000.0, "100000.0"}, {0.0001, "0.0001"},
      {0.00001, "1e-05"}, {1e16, "1e+16"},   {9007199254740991.0, "9007199254740991.0"}, {0.1, "0.1"},
      {-2.5, "-2.5"},     {1.0 / 0.0, "inf"}, {-1.0 / 0.0, "-inf"}, {0.0 / 0.0, "nan"}};
  for (const auto& [value, text] : doubles) {
    EXPECT_EQ(floatingPointText(value), text);
    EXPECT_EQ(describe(value), text);  // error user information prints numbers the same way
  }
  EXPECT_EQ(floatingPointText(16777215.0f), "16777215.0");
  EXPECT_EQ(floatingPointText(16777216.0f), "1.6777216e+07");
  EXPECT_EQ(floatingPointText(0.1f), "0.1");
}

TEST(Error, WhatIsOneLineOfDescriptionAndReason) {
  struct Case {
    std::string description;
    std::optional<std::string> reason;
    const char* what;
  };
  const Case cases[] = {
      {"Invalid input", std::nullopt, "Invalid input"},
      {"Invalid input", "The row is short.", "Invalid input: The row is short."},
      {"The folder \u201Cx\u201D couldn\u2019t be created.", "Permission denied",
       "The folder \u201Cx\u201D couldn\u2019t be created. Permission denied"},
      {"Bad\nname", "line one\r\nline two", "Bad\u240Aname: line one\u240D\u240Aline two"},
  };
  for (const Case& c : cases) {
    const Error error("Test", 1, c.description, Error::Details{c.reason, "recover", "help", {}, nullptr});
    EXPECT_EQ(std::string(error.what()), c.what);
    EXPECT_EQ(error.description(), c.description);
    const Error copy = error;
    EXPECT_STREQ(copy.what(), c.what);
  }
}

TEST(Log, CapturedLinesAndRestoredSink) {
  std::vector<std::string> outer;
  LogSink previous = setLogSink([&](std::string_view line) { outer.emplace_back(line); });
  {
    CapturedLog captured;
    log("Did Set ExportConfig");
    log("");
    EXPECT_EQ(captured.lines(), (std::vector<std::string>{"Did Set ExportConfig", ""}));
  }
  log("after");
  EXPECT_EQ(outer, std::vector<std::string>{"after"});
  setLogSink(std::move(previous));
}

}  // namespace
}  // namespace platform
