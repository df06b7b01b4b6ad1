#include <gtest/gtest.h>

#include "platform/net/URLComponents.hpp"

namespace platform {
namespace {

using Items = std::vector<URLQueryItem>;

// Names and values reach the server as their own text: nothing in them can end an item,
// start another, or be read as a blank.
TEST(URLComponents, QueryItemsAreEncodedStrictly) {
  struct Case {
    Items items;
    const char* query;
  };
  const Case cases[] = {
      {{{"org", "C++"}, {"bucket", "a&bucket=prod"}}, "org=C%2B%2B&bucket=a%26bucket%3Dprod"},
      {{{"NAME", "Jane Doe"}, {"BODY", "caf\xC3\xA9 / 100% ?#"}},
       "NAME=Jane%20Doe&BODY=caf%C3%A9%20%2F%20100%25%20%3F%23"},
      {{{"safe", "AZaz09-._~"}, {"marks", "!$'()*,;:@[]"}},
       "safe=AZaz09-._~&marks=%21%24%27%28%29%2A%2C%3B%3A%40%5B%5D"},
      {{{"flag", std::nullopt}, {"empty", ""}, {"", "v"}}, "flag&empty=&=v"},
      {{{"ctl", std::string("\x01\x7F\n", 3)}}, "ctl=%01%7F%0A"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    URLComponents components = *URLComponents::parse("https://example.com/email/app-feedback?old=1#part");
    components.setQueryItems(c.items);
    EXPECT_EQ(components.percentEncodedQuery(), c.query);
    EXPECT_EQ(components.string(), "https://example.com/email/app-feedback?" + std::string(c.query) + "#part");
    ASSERT_TRUE(components.url()) << c.query;
    EXPECT_EQ(components.queryItems(), c.items) << c.query;
  }
  URLComponents components = *URLComponents::parse("http://127.0.0.1:8086/api/v2/delete?x=1");
  components.setQueryItems(std::nullopt);
  EXPECT_EQ(components.string(), "http://127.0.0.1:8086/api/v2/delete");
  EXPECT_FALSE(components.queryItems());
}

TEST(URLComponents, TakesAddressesApartAndBackTogether) {
  for (const char* text : {"http://user@127.0.0.1:8086/api/v2/query?org=my%20org#f", "https://[::1]/", "http://h",
                           "mailto:jane@example.com", "relative/path?q", "//host/p"}) {
    std::optional<URLComponents> components = URLComponents::parse(text);
    ASSERT_TRUE(components) << text;
    EXPECT_EQ(components->string(), text);
    ASSERT_TRUE(components->url());
    EXPECT_EQ(components->url()->absoluteString(), text);
  }
  const URLComponents parts = *URLComponents::parse("http://127.0.0.1:8086/api/v2/query?org=my%20org&a=1+2%2B3&b");
  EXPECT_EQ(parts.scheme(), "http");
  EXPECT_EQ(parts.percentEncodedHost(), "127.0.0.1");
  EXPECT_EQ(parts.percentEncodedPath(), "/api/v2/query");
  EXPECT_EQ(parts.queryItems(), (Items{{"org", "my org"}, {"a", "1+2+3"}, {"b", std::nullopt}}));
  EXPECT_FALSE(parts.percentEncodedFragment());

  for (const char* text : {"", "http://a b/", "http://a/%2", "ht tp://x"}) EXPECT_FALSE(URLComponents::parse(text));
  EXPECT_FALSE(URLComponents().url());
}

}  // namespace
}  // namespace platform
