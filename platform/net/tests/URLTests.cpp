#include <gtest/gtest.h>

#include "platform/net/URL.hpp"

namespace platform {
namespace {

TEST(URL, ParsesReferencesAndRefusesIllegalText) {
  struct Case {
    const char* text;
    bool valid;
    const char* scheme = nullptr;  // nullptr: none
    const char* host = nullptr;
    int port = -1;  // -1: none
    const char* path = "";
    const char* query = nullptr;
    const char* fragment = nullptr;
  };
  const Case cases[] = {
      {"https://user:pw@example.com:8086/api/v2/query?org=my%20org#top", true, "https", "example.com", 8086, "/api/v2/query", "org=my%20org", "top"},
      {"http://a/b%20c/", true, "http", "a", -1, "/b c", nullptr, nullptr},
      {"http://a/", true, "http", "a", -1, "/", nullptr, nullptr},
      {"http://a", true, "http", "a", -1, "", nullptr, nullptr},
      {"http://a:/x", true, "http", "a", -1, "/x", nullptr, nullptr},
      {"http://[::1]:80/", true, "http", "::1", 80, "/", nullptr, nullptr},
      {"http://[2001:db8::7]/", true, "http", "2001:db8::7", -1, "/", nullptr, nullptr},
      {"http://[::ffff:192.0.2.1]/", true, "http", "::ffff:192.0.2.1", -1, "/", nullptr, nullptr},
      {"http://[v7.a:b]/", true, "http", "v7.a:b", -1, "/", nullptr, nullptr},
      {"http://h%C3%A9/", true, "http", "h\xC3\xA9", -1, "/", nullptr, nullptr},
      {"mailto:jane@example.com", true, "mailto", nullptr, -1, "jane@example.com", nullptr, nullptr},
      {"urn:isbn:0451450523", true, "urn", nullptr, -1, "isbn:0451450523", nullptr, nullptr},
      {"a/b:c", true, nullptr, nullptr, -1, "a/b:c", nullptr, nullptr},
      {"//host/p", true, nullptr, "host", -1, "/p", nullptr, nullptr},
      {"?q=1", true, nullptr, nullptr, -1, "", "q=1", nullptr},
      {"#f?/", true, nullptr, nullptr, -1, "", nullptr, "f?/"},
      {"x?", true, nullptr, nullptr, -1, "x", "", nullptr},
      {"/%FF", true, nullptr, nullptr, -1, "", nullptr, nullptr},  // not UTF-8 once decoded
      {"", false},
      {"http://a/b c", false},
      {" http://a/", false},
      {"http://a/\xC3\xA9", false},
      {"http://a/%2", false},
      {"http://a/%zz", false},
      {"http://a/#x#y", false},
      {"http://a/<b>", false},
      {"http://a\\b/", false},
      {"http://a:8x/", false},
      {"http://[::1/", false},
      {"http://[1:2:3:4:5:6:7:8:9]/", false},
      {"http://[1::2::3]/", false},
      {"http://[::1]x/", false},
      {"http://a b/", false},
      {"1http://a/", false},
      {":foo", false},
      {"ht tp://a/", false},
  };
  for (const Case& c : cases) {
    std::optional<URL> url = URL::parse(c.text);
    ASSERT_EQ(url.has_value(), c.valid) << c.text;
    if (!url) continue;
    EXPECT_EQ(url->absoluteString(), c.text);
    EXPECT_EQ(url->scheme(), c.scheme ? std::optional<std::string_view>(c.scheme) : std::nullopt) << c.text;
    EXPECT_EQ(url->host(), c.host ? std::optional<std::string>(c.host) : std::nullopt) << c.text;
    EXPECT_EQ(url->port(), c.port >= 0 ? std::optional<int>(c.port) : std::nullopt) << c.text;
    EXPECT_EQ(url->path(), c.path) << c.text;
    EXPECT_EQ(url->query(), c.query ? std::optional<std::string_view>(c.query) : std::nullopt) << c.text;
    EXPECT_EQ(url->fragment(), c.fragment ? std::optional<std::string_view>(c.fragment) : std::nullopt) << c.text;
  }
}

TEST(URL, PercentDecodingNeedsTwoHexDigits) {
  EXPECT_EQ(percentDecoded("a%2Fb%2fc"), "a/b/c");
  EXPECT_EQ(percentDecoded("%00"), std::string(1, '\0'));
  EXPECT_FALSE(percentDecoded("%4"));
  EXPECT_FALSE(percentDecoded("%G0"));
}

}  // namespace
}  // namespace platform
