#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <list>

#include "QVExtensions/CollectionExtensions.hpp"
#include "QVExtensions/URLExtensions.hpp"

namespace QVExtensions {
namespace {

TEST(URLExtensions, BaseName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/Names.csv", "Names"}, {"/a/archive.tar.gz", "archive.tar"}, {"/a/README", "README"},
      {"/a/b/", "b"},              {"/a/.hidden", ".hidden"},              {"Names.CSV", "Names"},
      {"/a/Names.", "Names."},     {"/a/..csv", "."},                      {"/a/..", ".."},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(baseName(path), expected) << path;
}

TEST(URLExtensions, ExtensionAndNameChanges) {
  struct Case {
    const char* path;
    std::string (*change)(const char*);
    const char* expected;
  };
  const Case cases[] = {
      {"/a/b.csv", [](const char* p) { return replacingPathExtension(p, "txt").string(); }, "/a/b.txt"},
      {"/a/b.tar.gz", [](const char* p) { return replacingPathExtension(p, "zip").string(); }, "/a/b.tar.zip"},
      {"/a/b", [](const char* p) { return replacingPathExtension(p, "txt").string(); }, "/a/b.txt"},
      {"/a/b.csv", [](const char* p) { return replacingPathExtension(p, "").string(); }, "/a/b"},
      {"/a/b.csv", [](const char* p) { return renaming(p, "c", true).string(); }, "/a/c.csv"},
      {"/a/b.csv", [](const char* p) { return renaming(p, "c", false).string(); }, "/a/c"},
      {"/a/b", [](const char* p) { return renaming(p, "c", true).string(); }, "/a/c"},
      {"/a/b.", [](const char* p) { return renaming(p, "c", true).string(); }, "/a/c"},
      {"/a/b.", [](const char* p) { return replacingPathExtension(p, "txt").string(); }, "/a/b..txt"},
      {"/a/Report.", [](const char* p) { return incrementingTrailingNumber(p).string(); }, "/a/Report. 2"},
      {"/a/Report.csv", [](const char* p) { return incrementingTrailingNumber(p).string(); }, "/a/Report 2.csv"},
      {"/a/Report 2.csv", [](const char* p) { return incrementingTrailingNumber(p).string(); }, "/a/Report 3.csv"},
      {"/a/Report_7", [](const char* p) { return incrementingTrailingNumber(p, 1, 2, "%02d", "_").string(); },
       "/a/Report_09"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.change(c.path), c.expected) << c.path;

  std::filesystem::path inPlace = "/a/b.csv";
  replacePathExtension(inPlace, "tsv");
  rename(inPlace, "Names", true);
  incrementTrailingNumber(inPlace);
  EXPECT_EQ(inPlace, "/a/Names 2.tsv");
}

TEST(CollectionExtensions, IndexTests) {
  const std::array<int, 3> three{1, 2, 3};
  const std::vector<int> none;
  struct Case {
    std::int64_t index;
    bool valid, last, lastOrBeyond, first, firstOrBefore;
  };
  const Case cases[] = {
      {-1, false, false, false, false, true}, {0, true, false, false, true, true}, {2, true, true, true, false, false},
      {3, false, false, true, false, false},
      {std::numeric_limits<std::int64_t>::max(), false, false, true, false, false},
      {std::numeric_limits<std::int64_t>::min(), false, false, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isValidIndex(three, c.index), c.valid) << c.index;
    EXPECT_EQ(isLastIndex(three, c.index), c.last) << c.index;
    EXPECT_EQ(isLastIndex(three, c.index, true), c.lastOrBeyond) << c.index;
    EXPECT_EQ(isFirstIndex(three, c.index), c.first) << c.index;
    EXPECT_EQ(isFirstIndex(three, c.index, true), c.firstOrBefore) << c.index;
  }
  EXPECT_FALSE(isValidIndex(none, 0));
  EXPECT_TRUE(isLastIndex(none, -1));
}

TEST(CollectionExtensions, CompactedDropsAbsentValues) {
  const std::list<std::optional<std::string>> values{"a", std::nullopt, "b", std::nullopt};
  EXPECT_EQ(compacted(values), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(compacted(std::vector<std::optional<int>>{std::nullopt}).empty());
}

}  // namespace
}  // namespace QVExtensions
