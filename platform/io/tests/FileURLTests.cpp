#include <gtest/gtest.h>

#include "platform/io/FileURL.hpp"

namespace platform {
namespace {

TEST(FileURL, LocationsAndTheirText) {
  struct Case {
    const char* path;
    const char* url;
  };
  const Case cases[] = {
      {"/", "file:///"},
      {"/tmp/a b.csv", "file:///tmp/a%20b.csv"},
      {"/tmp/folder/", "file:///tmp/folder/"},
      {"/x/100%#?.txt", "file:///x/100%25%23%3F.txt"},
      {"/Grüße/東京", "file:///Gr%C3%BC%C3%9Fe/%E6%9D%B1%E4%BA%AC"},
      {"/a+b=c;d@e:f", "file:///a+b=c;d@e:f"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fileURLString(c.path), c.url);
    EXPECT_EQ(fileURLPath(c.url), std::filesystem::path(c.path)) << c.url;
  }
  EXPECT_EQ(fileURLString("relative.txt"), fileURLString(std::filesystem::current_path() / "relative.txt"));
  EXPECT_EQ(fileURLPath("FILE://localhost/tmp/x"), std::filesystem::path("/tmp/x"));
  for (const char* bad : {"", "/tmp/x", "http://example.com/x", "file://host/x", "file://", "file:///a%2", "file:///a%zz",
                          "file:///a%00b", "file:///a?query"})
    EXPECT_EQ(fileURLPath(bad), std::nullopt) << bad;
}

TEST(FileURL, LastComponentIgnoresATrailingSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"a/dir/", "dir"}, {"a/dir", "dir"}, {"/tmp/names.csv", "names.csv"}, {"names.csv", "names.csv"}, {"/", ""}};
  for (const auto& [path, name] : cases) EXPECT_EQ(lastPathComponent(path), name) << path;
}

}  // namespace
}  // namespace platform
