#include <gtest/gtest.h>

#include <unordered_set>

#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV {
namespace {

CSVReader::FileView decode(std::string_view text, bool header) {
  return CSVReader::decode(text, [&](CSVReader::Configuration& c) {
    c.headerStrategy = Strategy::Header::fromBool(header);
  });
}

struct LookupCase {
  const char* name;
  std::string text;
  bool header;
  std::string key;
  std::optional<std::vector<std::string>> column;
};

TEST(FileView, LookupByHeaderText) {
  const LookupCase cases[] = {
      {"name", "name,size\na.jpg,12\nb.jpg,7", true, "name", std::vector<std::string>{"a.jpg", "b.jpg"}},
      {"second", "name,size\na.jpg,12\nb.jpg,7", true, "size", std::vector<std::string>{"12", "7"}},
      {"case matters", "name,size\na.jpg,12", true, "Size", std::nullopt},
      {"no header", "name,size\na.jpg,12", false, "name", std::nullopt},
      {"header only", "name,size\n", true, "size", std::vector<std::string>{}},
      // Canonically equivalent texts are the same header, as the platform compares text.
      {"decomposed key", "caf\u00E9,x\n1,2", true, "cafe\u0301", std::vector<std::string>{"1"}},
      {"decomposed header", "cafe\u0301,x\n1,2", true, "caf\u00E9", std::vector<std::string>{"1"}},
      {"empty header", ",x\n1,2", true, "", std::vector<std::string>{"1"}},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CSVReader::FileView file = decode(c.text, c.header);
    EXPECT_EQ(file.column(c.key), c.column);
    if (!file.empty()) {
      const std::optional<std::string_view> field = file.field(0, c.key);
      EXPECT_EQ(field.has_value(), c.column.has_value());
      EXPECT_EQ(file.records()[0][c.key], field);
      if (field) {
        EXPECT_EQ(*field, c.column->front());
      }
    }
  }
}

TEST(FileView, DuplicateHeadersFailBeforeAnyRow) {
  const char* const cases[] = {"a,a\n1,2", "x,caf\u00E9,cafe\u0301\n1,2,3", ",\n1,2"};
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    CSVReader reader = CSVReader::initWithString(text, [](CSVReader::Configuration& c) {
      c.headerStrategy = Strategy::Header::firstLine();
    });
    try {
      (void)reader.readFileView();
      ADD_FAILURE() << "duplicate headers accepted";
    } catch (const CSVReaderError& error) {
      EXPECT_EQ(error.failureReason(), "The header row contain two fields with the same value.");
    }
    EXPECT_EQ(reader.status().kind(), CSVReader::Status::Kind::active);
    EXPECT_EQ(reader.count().rows, 1);
  }
  // Many distinct headers never collide.
  std::string headers;
  for (int i = 0; i < 5000; ++i) headers += (i ? "," : "") + std::to_string(i);
  EXPECT_EQ(decode(headers + "\n", true).lookup().size(), 5000u);
}

TEST(FileView, CollectionsAndRanges) {
  const CSVReader::FileView file = decode("h1,h2\na,b\nc,d\ne,f\n", true);
  ASSERT_EQ(file.size(), 3u);
  EXPECT_EQ(file.headers(), (std::vector<std::string>{"h1", "h2"}));
  EXPECT_EQ(file[1], (std::vector<std::string>{"c", "d"}));
  EXPECT_EQ(file.field(2, 1), "f");
  EXPECT_EQ(file.rows(), (std::vector<std::vector<std::string>>{{"a", "b"}, {"c", "d"}, {"e", "f"}}));
  EXPECT_EQ(file.end() - file.begin(), 3);
  EXPECT_EQ((*(file.begin() + 2))[0], "e");

  std::vector<std::size_t> sizes;
  for (const CSVReader::Record& record : file.records()) sizes.push_back(record.size());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 2, 2}));
  ASSERT_EQ(file.columns().size(), 2u);
  EXPECT_EQ(file.columns()[1], (std::vector<std::string>{"b", "d", "f"}));

  struct OutOfRange {
    const char* name;
    std::function<void()> access;
  };
  const OutOfRange accesses[] = {
      {"row", [&] { (void)file[3]; }},
      {"field index", [&] { (void)file.field(0, 2); }},
      {"field row", [&] { (void)file.field(3, 0); }},
      {"field row by header", [&] { (void)file.field(3, "h1"); }},
      {"record", [&] { (void)file.record(3); }},
      {"records view", [&] { (void)file.records()[3]; }},
      {"record field", [&] { (void)file.record(0)[2]; }},
      {"column", [&] { (void)file.column(2); }},
      {"columns view", [&] { (void)file.columns()[2]; }},
      {"headerless column", [] { (void)decode("a,b", false).column(0); }},
  };
  for (const OutOfRange& c : accesses) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(c.access(), std::out_of_range);
  }
}

TEST(FileView, EqualityAndHashing) {
  const CSVReader::FileView a = decode("h,i\n1,2\n", true);
  const CSVReader::FileView b = decode("x,y\n1,2\n", true);
  const CSVReader::FileView c = decode("1,2\n", false);
  const CSVReader::FileView d = decode("1,2\n3,4\n", false);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_NE(c, d);
  EXPECT_EQ(CSVReader::FileView(), decode("", true));
  EXPECT_EQ(decode("", false).size(), 0u);

  std::unordered_set<CSVReader::Record> records;
  for (const auto& record : d.records()) records.insert(record);
  records.insert(a.record(0));
  EXPECT_EQ(records.size(), 2u);
  EXPECT_EQ(a.record(0), c.record(0));
  EXPECT_NE(std::hash<CSVReader::Record>{}(d.record(0)), std::hash<CSVReader::Record>{}(d.record(1)));
  // A record keeps its text alive after the file view is gone.
  std::optional<CSVReader::Record> kept;
  {
    const CSVReader::FileView temporary = decode("k\nvalue", true);
    kept = temporary.record(0);
  }
  EXPECT_EQ((*kept)["k"], "value");
}

}  // namespace
}  // namespace RecordCSV

namespace RecordCSV {
namespace {

TEST(FileView, DroppedLinesAtEveryFieldPosition) {
  // One field per row and an empty line after each: a dropped line starts at every field index.
  std::string text = "n\n";
  for (int i = 0; i < 40000; ++i) text += "r" + std::to_string(i) + "\n\n";
  const CSVReader::FileView file = CSVReader::decode(std::string_view(text), [](CSVReader::Configuration& c) {
    c.headerStrategy = Strategy::Header::firstLine();
  });
  ASSERT_EQ(file.size(), 40000u);
  const std::vector<std::string> column = *file.column("n");
  for (int i : {0, 16383, 16384, 16385, 32768, 39999}) EXPECT_EQ(column[i], "r" + std::to_string(i));
}

}  // namespace
}  // namespace RecordCSV
