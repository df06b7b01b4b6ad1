#include <gtest/gtest.h>

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
