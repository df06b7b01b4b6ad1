#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/core/Base64.hpp"
#include "platform/defaults/PropertyListXML.hpp"

namespace platform {
namespace {

PropertyList roundTrip(const PropertyList& value) {
  std::string reason;
  auto read = PropertyListXML::read(PropertyListXML::write(value), &reason);
  EXPECT_TRUE(read) << reason << "\n" << PropertyListXML::write(value);
  return read.value_or(PropertyList(std::string("<unreadable>")));
}

TEST(PropertyListXML, ValuesRoundTripExactly) {
  const PropertyList values[] = {
      PropertyList(true),
      PropertyList(false),
      PropertyList(std::int64_t{0}),
      PropertyList(std::numeric_limits<std::int64_t>::min()),
      PropertyList(std::numeric_limits<std::int64_t>::max()),
      PropertyList(std::numeric_limits<std::uint64_t>::max()),
      PropertyList(std::uint64_t{1} << 63),
      PropertyList(0.1),
      PropertyList(-1e-300),
      PropertyList(5e-324),
      PropertyList(std::numeric_limits<double>::max()),
      PropertyList(-std::numeric_limits<double>::infinity()),
      PropertyList(""),
      PropertyList("   "),
      PropertyList(" <a & b> \"quoted\" 'single' ]]> "),
      PropertyList(std::string("nul\0bell\x07 cr\r lf\n crlf\r\n tab\t del\x7f", 33)),
      PropertyList("Grüße, 東京, 🎉"),
      PropertyList(Data()),
      PropertyList(Data(std::vector<std::uint8_t>{0, 1, 2, 250, 251, 255, 13})),
      PropertyList(Date{0}),
      PropertyList(Date{-0.25}),
      PropertyList(Date{12345.678901234}),
      PropertyList(Date{-3187296000.5}),
      PropertyList(Date{7e14 + 0.5}),
      PropertyList(PropertyList::Array{}),
      PropertyList(PropertyList::Array{PropertyList(1), PropertyList("x"), PropertyList(PropertyList::Array{})}),
      PropertyList(PropertyList::Dictionary{}),
      PropertyList(PropertyList::Dictionary{{"", PropertyList(1)},
                                            {"a&<b>", PropertyList(PropertyList::Dictionary{{"k", PropertyList(true)}})},
                                            {"\x01key", PropertyList(2.5)}}),
  };
  for (const PropertyList& value : values) EXPECT_EQ(roundTrip(value), value) << value.description();

  // NaN never compares equal, so check its kind instead.
  PropertyList nan = roundTrip(PropertyList(std::nan("")));
  ASSERT_TRUE(nan.real());
  EXPECT_TRUE(std::isnan(*nan.real()));
}

TEST(PropertyListXML, DateTexts) {
  struct Case {
    double seconds;
    std::string text;
  };
  const Case cases[] = {
      {0, "2001-01-01T00:00:00Z"},
      {-978307200, "1970-01-01T00:00:00Z"},
      {0.5, "2001-01-01T00:00:00.5Z"},
      {-0.25, "2000-12-31T23:59:59.75Z"},
      {86400 * 59, "2001-03-01T00:00:00Z"},
      {-12654403200, "1600-01-01T00:00:00Z"},
      {-978307200 - 62167219200.0 - 86400 * 365, "-0001-01-01T00:00:00Z"},
      // Just before the reference date the fraction is no binary difference, so nothing rounds away.
      {-0.1, "2000-12-31T23:59:59.9Z"},
      {-1e-300, "2000-12-31T23:59:59." + std::string(300, '9') + "Z"},
      {-31536000.123, "2000-01-01T23:59:59.877Z"},
      {725000000.123456, "2023-12-23T04:53:20.123456Z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PropertyListXML::dateText(Date{c.seconds}), c.text) << c.seconds;
    auto parsed = PropertyListXML::parseDate(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->timeIntervalSinceReferenceDate, c.seconds) << c.text;
  }
  for (const char* bad : {"", "2001-01-01", "2001-13-01T00:00:00Z", "2001-01-01T00:00:00", "2001-01-01T00:00:00.Z",
                          "2001-01-01T24:00:00Z", "2001-01-01T00:00:00Zx", "999999999999-01-01T00:00:00Z",
                          "-999999999999-12-31T23:59:59Z"})
    EXPECT_FALSE(PropertyListXML::parseDate(bad)) << bad;
}

TEST(PropertyListXML, ReadsOtherWritersAndRejectsMalformedDocuments) {
  auto document = [](std::string body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
  };
  struct Case {
    std::string text;
    std::optional<PropertyList> expected;
  };
  const Case cases[] = {
      {document("<dict><key>a</key><integer> 42 </integer><!-- note --><key>b</key><string><![CDATA[<x>]]></string></dict>"),
       PropertyList(PropertyList::Dictionary{{"a", PropertyList(42)}, {"b", PropertyList("<x>")}})},
      {document("<array><integer>+7</integer><real>1E3</real><real>-infinity</real></array>"),
       PropertyList(PropertyList::Array{PropertyList(7), PropertyList(1000.0), PropertyList(-HUGE_VAL)})},
      {document("<data>AAEC\n  +/8=</data>"), PropertyList(Data(std::vector<std::uint8_t>{0, 1, 2, 251, 255}))},
      {document("<string>&#65;&#x42;&quot;&apos;</string>"), PropertyList("AB\"'")},
      {"garbage", std::nullopt},
      {"", std::nullopt},
      {document("<dict><key>a</key><integer>1</integer>"), std::nullopt},
      {document("<dict><key>a</key></dict>"), std::nullopt},
      {document("<dict><integer>1</integer></dict>"), std::nullopt},
      {document("<integer>18446744073709551616</integer>"), std::nullopt},
      {document("<integer>-9223372036854775809</integer>"), std::nullopt},
      {document("<integer>1.5</integer>"), std::nullopt},
      {document("<real>one</real>"), std::nullopt},
      {document("<data>A</data>"), std::nullopt},
      {document("<string>&bogus;</string>"), std::nullopt},
      {document("<string>&#xD800;</string>"), std::nullopt},
      {document("<string><b/></string>"), std::nullopt},
      {document("<unknown/>"), std::nullopt},
      {document("<true/><false/>"), std::nullopt},
      {"<dict/>", std::nullopt},
  };
  for (const Case& c : cases) {
    std::string reason;
    auto read = PropertyListXML::read(c.text, &reason);
    EXPECT_EQ(read, c.expected) << c.text;
    if (!c.expected) {
      EXPECT_FALSE(reason.empty()) << c.text;
    }
  }
}

TEST(PropertyListXML, WritesTheUsualLayout) {
  PropertyList value(PropertyList::Dictionary{{"AllowFolderCountLogging", PropertyList(false)},
                                              {"FoldersCreatedCount", PropertyList(12)}});
  EXPECT_EQ(PropertyListXML::write(value),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>AllowFolderCountLogging</key>\n"
            "\t<false/>\n"
            "\t<key>FoldersCreatedCount</key>\n"
            "\t<integer>12</integer>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST(Base64, EncodesAndDecodes) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\0\xff\xfe", 3), "AP/+"}};
  for (const Case& c : cases) {
    EXPECT_EQ(base64Encoded(Data::fromString(c.bytes)), c.text);
    EXPECT_EQ(base64Decoded(c.text), Data::fromString(c.bytes)) << c.text;
  }
  for (const char* bad : {"Z", "Zg", "Zm9", "Zg=", "Zg===", "Z===", "Zm9v!", "Zg==Zg==", "=Zg="}) EXPECT_FALSE(base64Decoded(bad)) << bad;
  EXPECT_EQ(base64Decoded(" Zm9v\nYmFy "), Data::fromString("foobar"));
}

}  // namespace
}  // namespace platform
