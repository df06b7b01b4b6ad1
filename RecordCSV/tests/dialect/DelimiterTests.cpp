#include <gtest/gtest.h>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/Delimiter.hpp"
#include "RecordCSV/Strategy.hpp"

namespace RecordCSV {
namespace {

TEST(Delimiter, FieldAndRowScalars) {
  EXPECT_EQ(Delimiter::Field(",").scalars, U",");
  EXPECT_EQ(Delimiter::Field("::").scalars, U"::");
  EXPECT_TRUE(Delimiter::Field("").scalars.empty());

  auto row = Delimiter::Row::fromTexts({"", "\n", "\r\n"});
  ASSERT_TRUE(row);
  EXPECT_EQ(row->scalars.size(), 2u);
  EXPECT_FALSE(Delimiter::Row::fromTexts({"", ""}));
  EXPECT_EQ(Delimiter::Row::standard().description(), "\n");
  EXPECT_EQ(Delimiter::Row::fromTexts({"b", "a"})->description(), "a");
}

TEST(Delimiter, ScalarsPairRejectsOnlyExactClashes) {
  struct Case {
    std::u32string field;
    Delimiter::RowSet row;
    bool valid;
  };
  const Case cases[] = {
      {U",", {U"\n", U","}, false},
      {U",", {U",\n"}, true},
      {U"", {U"\n"}, false},
      {U",", {}, false},
      {U",", {U""}, false},
      {U"\t", {U"\t"}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(Delimiter::Scalars::make(c.field, c.row).has_value(), c.valid);
}

TEST(CSVError, BridgesDomainCodeAndDebugDescription) {
  platform::UserInfo info;
  info.add("Row index", std::int64_t{3});
  CSVReaderError error(CSVReader::Error::invalidInput, "reason", "help", info);
  EXPECT_EQ(error.domain(), "RecordCSV.Reader");
  EXPECT_EQ(error.code(), 2);
  EXPECT_EQ(error.description(), "Invalid input");
  EXPECT_STREQ(error.what(), "Invalid input: reason");
  EXPECT_FALSE(error.recoverySuggestion());
  EXPECT_EQ(error.debugDescription(),
            "[CSVReader] Invalid input\n\tReason: reason\n\tHelp: help\n\tUser info: Row index: 3");
  EXPECT_EQ(error.userInfo().get<std::int64_t>("Row index"), 3);
  EXPECT_EQ(Strategy::Header::fromBool(true), Strategy::Header::firstLine());
}

}  // namespace
}  // namespace RecordCSV
