#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstring>
#include <random>

#include "TimeSeries/AnnotatedCSVParser.hpp"
#include "TimeSeries/CursorOperations.hpp"
#include "TimeSeries/QueryAPI.hpp"

namespace TimeSeries {

// Names and value kinds, for failure messages.
void PrintTo(const ResultRecord& record, std::ostream* out) {
  for (const auto& [name, value] : record.values()) *out << name << ":" << value.index() << " ";
}

namespace {

using Value = ResultRecord::Value;
using Values = ResultRecord::Values;

// Every record of an answer, or the failures met, as "fail: <text>" entries in order.
struct Parsed {
  std::vector<ResultRecord> records;
  std::vector<std::string> failures;
  std::shared_ptr<ResultTable> lastTable;
};

Parsed parse(const std::string& answer, int maxFailures = 5) {
  AnnotatedCSVParser parser(platform::Data::fromString(answer));
  Parsed parsed;
  while (true) {
    try {
      auto next = parser.next();
      if (!next) return parsed;
      parsed.lastTable = next->first;
      parsed.records.push_back(std::move(next->second));
    } catch (const TimeSeriesError& error) {
      parsed.failures.push_back(error.what());
      if (static_cast<int>(parsed.failures.size()) >= maxFailures) return parsed;
    }
  }
}

platform::Date utc(double secondsSince1970) { return platform::Date::fromTimeIntervalSince1970(secondsSince1970); }

TEST(AnnotatedCSVParser, TablesColumnsAndTypedCells) {
  const std::string answer =
      "#datatype,string,long,boolean,string,dateTime:RFC3339,dateTime:RFC3339Nano,double\r\n"
      "#group,false,false,true,true\r\n"
      "#default,_result,0,,,,,\r\n"
      ",result,table,flag,_measurement,_time,_stop,_value\r\n"
      ",,,,cpu,2024-05-01T12:00:00Z,2024-05-01T12:00:00.123456789Z,1.5\r\n"
      ",mine,3,t,,bad,2024-05-01T12:00:00+02:00,x\r\n"
      "\r\n"
      "#datatype,string,unsignedLong,base64Binary,duration,custom\r\n"
      "#group,false,false\r\n"
      "#default,,,,,\r\n"
      ",result,count,blob,span,other\r\n"
      ",r,+42,aGk=,-5,anything\r\n"
      ",r,-0,aG k=,,\r\n";
  const Parsed parsed = parse(answer);
  EXPECT_TRUE(parsed.failures.empty()) << parsed.failures[0];
  ASSERT_EQ(parsed.records.size(), 4u);
  EXPECT_EQ(parsed.records[0], ResultRecord(Values{{"result", std::string("_result")},
                                                   {"table", std::int64_t(0)},
                                                   {"flag", false},
                                                   {"_measurement", std::string("cpu")},
                                                   {"_time", utc(1714564800)},
                                                   {"_stop", utc(1714564800.123)},
                                                   {"_value", 1.5}}));
  EXPECT_EQ(parsed.records[1], ResultRecord(Values{{"result", std::string("mine")},
                                                   {"table", std::int64_t(3)},
                                                   {"flag", true},
                                                   {"_measurement", std::string()},
                                                   {"_stop", utc(1714557600)}}));
  EXPECT_EQ(parsed.records[2], ResultRecord(Values{{"result", std::string("r")},
                                                   {"count", std::uint64_t(42)},
                                                   {"blob", platform::Data::fromString("hi")},
                                                   {"span", std::int64_t(-5)},
                                                   {"other", std::string("anything")}}));
  EXPECT_EQ(parsed.records[3],
            ResultRecord(Values{{"result", std::string("r")}, {"count", std::uint64_t(0)}, {"other", std::string()}}));
  const std::vector<ResultColumn>& columns = parsed.lastTable->columns;
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[1].name, "count");
  EXPECT_EQ(columns[1].dataType(), "unsignedLong");
  EXPECT_EQ(columns[4].index(), 4);
  EXPECT_FALSE(columns[2].group);
}

// A later column of the same name replaces the earlier one's value, or removes it.
TEST(AnnotatedCSVParser, ColumnsThatShareAName) {
  const Parsed parsed = parse("#datatype,long,long,string\n,a,a,b\n,1,2,x\n,1,,y\n");
  ASSERT_EQ(parsed.records.size(), 2u);
  EXPECT_EQ(parsed.records[0], ResultRecord(Values{{"a", std::int64_t(2)}, {"b", std::string("x")}}));
  EXPECT_EQ(parsed.records[1], ResultRecord(Values{{"b", std::string("y")}}));
  EXPECT_EQ(parsed.records[0].values().size(), 2u);
}

// Records pulled without their table share the names of the header row; those handed out
// with the table carry their own. Both must read as the same records.
TEST(AnnotatedCSVParser, RecordsWithoutTheirTableMatchThoseWithIt) {
  const std::string answers[] = {
      "#datatype,string,long,double,dateTime:RFC3339,boolean\n#default,_result,,,,\n,result,table,v,t,ok\n"
      ",,1,2.5,2024-05-01T12:00:00Z,true\n,,x,2.5,2024-05-01T12:00:00Z,\n,r,2,,bad,0\n,r,3,1e3,,1\n",
      "#datatype,long,long,string\n,a,a,b\n,1,2,x\n,1,,y\n",
      "#datatype,long,string\n,n,s\n,1,a\n\n#datatype,unsignedLong,base64Binary\n,u,b\n,7,aGk=\n,-1,aGk\n",
      "#datatype,long,string\n,n,s\n,1,a\n,2\nno table\n,3,c\n,error,reference\n,boom,5\n",
      // A second #datatype row numbers its columns from 0 again: they read the first fields.
      "#datatype,long,string\n#datatype,string,long\n,a,b,c,d\n,1,x,y,2\n,7,,z,8\n",
  };
  for (const std::string& answer : answers) {
    SCOPED_TRACE(answer);
    AnnotatedCSVParser withTable(platform::Data::fromString(answer)), without(platform::Data::fromString(answer));
    for (int step = 0; step < 20; ++step) {
      std::optional<ResultRecord> a, b;
      std::string failureA, failureB;
      try {
        if (auto next = withTable.next()) a = std::move(next->second);
      } catch (const TimeSeriesError& error) {
        failureA = error.what();
      }
      try {
        b = without.nextRecord();
      } catch (const TimeSeriesError& error) {
        failureB = error.what();
      }
      ASSERT_EQ(failureA, failureB) << "step " << step;
      ASSERT_EQ(a.has_value(), b.has_value()) << "step " << step;
      if (!a && failureA.empty()) break;
      if (!a) continue;
      const ResultRecord copy = *b;
      EXPECT_EQ(*a, *b);
      EXPECT_EQ(*b, *a);
      EXPECT_EQ(copy, *a);
      ASSERT_EQ(a->values().size(), b->values().size()) << "step " << step;
      for (std::size_t k = 0; k < a->values().size(); ++k) {
        const auto& [name, value] = a->values()[k];
        EXPECT_EQ(b->values()[k].first, name);
        EXPECT_EQ(b->values()[k].second, value) << name;
        ASSERT_NE(b->value(name), nullptr) << name;
        EXPECT_EQ(*b->value(name), value) << name;
        EXPECT_EQ(copy.values()[k].second, value) << name;
      }
      EXPECT_EQ(b->value("missing"), nullptr);
    }
  }
}

TEST(AnnotatedCSVParser, GroupFlagsWaitForTheHeaderRow) {
  AnnotatedCSVParser parser(platform::Data::fromString(
      "#datatype,string,long\n#group,true,false\n,a,b\n,x,1\n#datatype,string\n#group,yes\n,c\n,y\n"));
  auto first = parser.next();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->first->columns[0].group);
  EXPECT_FALSE(first->first->columns[1].group);
  auto second = parser.next();
  ASSERT_TRUE(second);
  EXPECT_NE(second->first, first->first);
  EXPECT_TRUE(second->first->columns[0].group);
  EXPECT_EQ(first->first->columns.size(), 2u);  // the first table is left as it was
  EXPECT_FALSE(parser.next());
  EXPECT_FALSE(parser.next());
}

TEST(AnnotatedCSVParser, FailuresAndTheErrorTable) {
  const char* notFound = "Unable to parse CSV response. ResultTable definition was not found.";
  struct Case {
    const char* name;
    std::string answer;
    std::vector<std::string> failures;
    std::size_t records;
  };
  const Case cases[] = {
      {"empty", "", {}, 0},
      {"blank lines", "\n\n\r\n", {}, 0},
      {"a data row first", ",a,b\n,1,2\n", {notFound, notFound}, 0},
      {"error table",
       "#datatype,string,long\n#group,true,true\n#default,,\n,error,reference\n,failed to execute query,897\n",
       {"(897) Reason: failed to execute query"},
       0},
      {"empty reference", ",error,reference\n,boom,\n,again,x1\n", {"(0) Reason: boom", "(0) Reason: again"}, 0},
      {"error header last", "#datatype,string\n,a\n,error,reference\n", {}, 0},
      {"a data row that announces an error",
       "#datatype,string,string\n,a,b\n,x,y\n,error,reference\n,oops,12\n",
       {"(12) Reason: oops"},
       1},
      {"failures do not end the parse", ",x,y\n#datatype,long\n,n\n,7\n", {notFound}, 1},
      {"short data row",
       "#datatype,long,long\n,a,b\n,1\n,1,2\n",
       {"Unable to parse CSV response. Row 3 (data) has 1 values, but the table has 2 columns."},
       1},
      {"long default row",
       "#datatype,long\n#default,1,2\n,a\n,\n",
       {"Unable to parse CSV response. Row 2 (#default) has 2 values, but the table has 1 columns."},
       1},
      {"default before datatype",
       "#default,1\n#datatype,long\n,a\n,\n",
       {"Unable to parse CSV response. Row 1 (#default) has 1 values, but the table has 0 columns."},
       1},
      {"long header row",
       "#datatype,long\n,a,b\n,1\n",
       {"Unable to parse CSV response. Row 2 (header) has 2 names, but the table has 1 columns."},
       0},
      {"long group row",
       "#datatype,long\n#group,true,true\n,a\n",
       {"Unable to parse CSV response. Row 2 (#group) has 2 values, but the table has 1 columns."},
       0},
      {"error row without reference",
       ",error,reference\n,only a message\n",
       {"Unable to parse CSV response. Row 2 (error) has no reference."},
       0},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.answer);
    EXPECT_EQ(parsed.failures, c.failures) << c.name;
    EXPECT_EQ(parsed.records.size(), c.records) << c.name;
  }
}

// A failure to read the answer is reported on that call and every later one, and the row it
// cut short never becomes a record.
TEST(AnnotatedCSVParser, AReadFailureIsReportedAgain) {
  AnnotatedCSVParser parser(platform::Data::fromString("#datatype,string\n,a\n,ok\n,bro\xff\xfeken\n,later\n"));
  auto first = parser.next();
  ASSERT_TRUE(first);
  for (int call = 0; call < 2; ++call) {
    try {
      parser.next();
      ADD_FAILURE() << "the read failure was not reported";
    } catch (const TimeSeriesError& error) {
      EXPECT_EQ(error.kind(), TimeSeriesError::Kind::cause);
      EXPECT_TRUE(std::string(error.what()).starts_with("Reason: ")) << error.what();
    }
  }
}

// Dates that repeat down a column are read once; each cell still gets the date of its own text.
TEST(AnnotatedCSVParser, RepeatedDatesReadAsTheirOwnText) {
  const std::string answer =
      "#datatype,dateTime:RFC3339,dateTime:RFC3339,string\n"
      "#default,,2024-05-01T12:00:00Z,\n"
      ",a,b,c\n"
      ",2024-05-01T12:00:00Z,2024-05-01T12:00:00Z,x\n"
      ",2024-05-01T12:00:00Z,2024-05-01T12:00:01Z,x\n"
      ",2024-05-01T12:00:01Z,,x\n"
      ",not a date,2024-05-01T12:00:01Z,x\n"
      ",not a date,not a date,x\n"
      ",,2024-05-01T12:00:00.5Z,x\n"
      "\n"
      "#datatype,string,dateTime:RFC3339\n"
      ",c,a\n"
      ",x,2024-05-01T12:00:00.5Z\n"
      ",2024-05-01T12:00:01Z,2024-05-01T12:00:00.5Z\n"
      "\n"
      // Texts that differ only in their middle, only at their end, or in length.
      "#datatype,dateTime:RFC3339\n"
      ",a\n"
      ",2024-05-01T12:00:00Z\n"
      ",2024-05-02T12:00:00Z\n"
      ",2024-05-02T12:00:00+00:00\n"
      ",2024-05-02T12:00:00+01:00\n"
      ",2024-05-02T12:00:00.000000000+01:00\n"
      ",2024-05-02T12:00:00.0000000000+01:00\n"
      ",2024-05-02T12:00:00.000000000+01:00\n"
      ",1\n";
  const double noon = 1714564800;
  const std::vector<std::vector<std::pair<const char*, std::optional<double>>>> expected = {
      {{"a", noon}, {"b", noon}},
      {{"a", noon}, {"b", noon + 1}},
      {{"a", noon + 1}, {"b", noon}},
      {{"a", std::nullopt}, {"b", noon + 1}},
      {{"a", std::nullopt}, {"b", std::nullopt}},
      {{"a", std::nullopt}, {"b", noon + 0.5}},
      {{"a", noon + 0.5}},
      {{"a", noon + 0.5}},
      {{"a", noon}},
      {{"a", noon + 86400}},
      {{"a", noon + 86400}},
      {{"a", noon + 82800}},
      {{"a", noon + 82800}},
      {{"a", std::nullopt}},
      {{"a", noon + 82800}},
      {{"a", std::nullopt}},
  };
  const Parsed parsed = parse(answer);
  EXPECT_TRUE(parsed.failures.empty());
  ASSERT_EQ(parsed.records.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    for (const auto& [name, seconds] : expected[i]) {
      const Value* value = parsed.records[i].value(name);
      ASSERT_EQ(value != nullptr, seconds.has_value()) << "record " << i << " " << name;
      if (value) {
        EXPECT_EQ(*value, Value(utc(*seconds))) << "record " << i << " " << name;
      }
    }
  }
}

// The table handed out with a record belongs to the caller, who may change it; rows are then
// read by the table as it stands, never past their end or past the columns their header
// row settled.
TEST(AnnotatedCSVParser, ACallerMayChangeTheTable) {
  AnnotatedCSVParser parser(
      platform::Data::fromString("#datatype,long,string\n,n,s\n,1,a\n,2,b\n,3,c\n,4,d\n,5,e\n"));
  auto first = parser.next();
  ASSERT_TRUE(first);
  std::vector<ResultColumn>& columns = first->first->columns;
  columns.emplace_back(9, "long");
  EXPECT_THROW(parser.next(), TimeSeriesError);  // the row has too few values for three columns
  columns.pop_back();
  columns[1].name = "renamed";
  auto third = parser.next();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->second, ResultRecord(Values{{"n", std::int64_t(3)}, {"renamed", std::string("c")}}));
  columns[1] = ResultColumn(7, "string");
  EXPECT_THROW(parser.next(), TimeSeriesError);  // its cell would be past the row
  columns.clear();
  auto fifth = parser.next();
  ASSERT_TRUE(fifth);
  EXPECT_TRUE(fifth->second.values().empty());
}

TEST(AnnotatedCSVParser, NumbersAndBooleans) {
  const std::string answer =
      "#datatype,long,unsignedLong,double,boolean\n,l,u,d,b\n"
      ",+5,+5,1e3,yes\n"
      ",-9223372036854775808,18446744073709551615,0x1p4,  -007\n"
      ",9223372036854775808,18446744073709551616, 1,0\n"
      ",--5,-0000,1x,+t\n"
      ",5 ,-1,-inf,false\n";
  const Parsed parsed = parse(answer);
  ASSERT_EQ(parsed.records.size(), 5u);
  EXPECT_EQ(parsed.records[0],
            ResultRecord(Values{{"l", std::int64_t(5)}, {"u", std::uint64_t(5)}, {"d", 1000.0}, {"b", true}}));
  EXPECT_EQ(parsed.records[1], ResultRecord(Values{{"l", std::numeric_limits<std::int64_t>::min()},
                                                   {"u", std::numeric_limits<std::uint64_t>::max()},
                                                   {"d", 16.0},
                                                   {"b", true}}));
  EXPECT_EQ(parsed.records[2], ResultRecord(Values{{"b", false}}));
  EXPECT_EQ(parsed.records[3], ResultRecord(Values{{"u", std::uint64_t(0)}, {"b", true}}));
  EXPECT_EQ(parsed.records[4], ResultRecord(Values{{"d", -std::numeric_limits<double>::infinity()}, {"b", false}}));
}

// Texts made of the characters that matter to number reading, each read both ways.
TEST(AnnotatedCSVParser, DoublesReadExactlyAsStrtodReadsThem) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string alphabet = "0123456789+-.eEpPxXaAfFiInNtTyY() \t";
  std::mt19937 random(20240501);
  const std::vector<std::string> fixed = {"1e400",
                                          "-1e400",
                                          "1e-400",
                                          "4.9406564584124654e-324",
                                          "2.2250738585072011e-308",
                                          "0x1.fffffffffffffp1023",
                                          "0x1p-1075",
                                          "0x1.00000000000018p-1023",
                                          "-0x1.51c87896100218p-1023",
                                          "0x1.fffffffffffff8p-1023",
                                          "0x0.0000000000001cp-1022",
                                          "0x1.0000000000000cp-1024",
                                          "0x",
                                          "0x.8",
                                          "0xp1",
                                          "nan(123)",
                                          "-nan",
                                          "infinity",
                                          "INF",
                                          "+.5",
                                          ".",
                                          "-",
                                          "1e",
                                          "1e+",
                                          "00"};
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    if (i < static_cast<int>(fixed.size())) {
      text = fixed[static_cast<std::size_t>(i)];
    } else {
      const std::size_t length = random() % 10;
      for (std::size_t j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
    }
    char* end = nullptr;
    const double expected = strtod_l(text.c_str(), &end, c);
    const bool whole =
        !text.empty() && end == text.c_str() + text.size() && !std::isspace(static_cast<unsigned char>(text[0]));
    const std::optional<double> read = AnnotatedCSVParser::parseDouble(text);
    ASSERT_EQ(read.has_value(), whole) << '"' << text << '"';
    if (!read) continue;
    std::uint64_t a, b;
    std::memcpy(&a, &*read, sizeof a);
    std::memcpy(&b, &expected, sizeof b);
    if (std::isnan(expected))
      ASSERT_TRUE(std::isnan(*read) && std::signbit(*read) == std::signbit(expected)) << text;
    else
      ASSERT_EQ(a, b) << '"' << text << '"';
  }
}

TEST(ResultRecord, EqualityAcrossNumberKinds) {
  const double twoTo63 = 9223372036854775808.0, twoTo64 = 18446744073709551616.0;
  struct Case {
    Value a, b;
    bool equal;
  };
  const Case cases[] = {
      {std::uint64_t(1), std::int64_t(1), true},
      {std::int64_t(1), 1.0, true},
      {std::uint64_t(1), 1.0, true},
      {std::int64_t(-1), std::uint64_t(std::numeric_limits<std::uint64_t>::max()), false},
      {std::int64_t(std::numeric_limits<std::int64_t>::max()), twoTo63, false},
      {std::int64_t(std::numeric_limits<std::int64_t>::min()), -twoTo63, true},
      {std::uint64_t(std::numeric_limits<std::uint64_t>::max()), twoTo64, false},
      {std::uint64_t(9007199254740993u), 9007199254740992.0, false},
      {1.5, std::int64_t(1), false},
      {std::nan(""), std::nan(""), false},
      {true, std::int64_t(1), false},
      {true, true, true},
      {std::string("1"), std::int64_t(1), false},
      {platform::Data::fromString("a"), platform::Data::fromString("a"), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResultRecord::equal(c.a, c.b), c.equal) << c.a.index() << " " << c.b.index();
    EXPECT_EQ(ResultRecord::equal(c.b, c.a), c.equal);
  }
  EXPECT_EQ(ResultRecord({{"a", std::int64_t(2)}}), ResultRecord({{"a", 2.0}}));
  EXPECT_NE(ResultRecord({{"a", std::int64_t(2)}}), ResultRecord({{"b", std::int64_t(2)}}));
}

}  // namespace
}  // namespace TimeSeries
