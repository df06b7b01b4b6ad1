#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "NestedArrays.hpp"
#include "WithinTimeLimit.hpp"

#include "platform/core/Base64.hpp"
#include "platform/defaults/PropertyListBinary.hpp"
#include "platform/defaults/PropertyListXML.hpp"

namespace platform {
namespace {

PropertyList roundTrip(const PropertyList& value) {
  std::string reason;
  std::string text = PropertyListXML::write(value, &reason).value_or("<unwritable: " + reason + ">");
  auto read = PropertyListXML::read(text, &reason);
  EXPECT_TRUE(read) << reason << "\n" << text;
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
                          "-999999999999-12-31T23:59:59Z", "2023-02-31T00:00:00Z", "2023-02-29T00:00:00Z",
                          "1900-02-29T00:00:00Z", "2023-04-31T12:00:00Z", "2023-00-10T00:00:00Z",
                          "2023-01-00T00:00:00Z", "+285428782-11-12T07:36:32Z",
                          // No second 60: it would read as the first second of the next day.
                          "2023-01-01T23:59:60Z", "2016-12-31T23:59:60Z", "2001-01-01T00:00:61Z"})
    EXPECT_FALSE(PropertyListXML::parseDate(bad)) << bad;
  for (const char* leapDay : {"2024-02-29T00:00:00Z", "2000-02-29T00:00:00Z", "-0004-02-29T00:00:00Z"})
    EXPECT_TRUE(PropertyListXML::parseDate(leapDay)) << leapDay;

  // What cannot be written exactly is refused, never clamped or replaced.
  constexpr double largest = 9007199254740991.0;  // 2^53 - 1 seconds
  for (double unwritable : {std::nan(""), HUGE_VAL, -HUGE_VAL, largest + 2, -largest - 2, 1e300}) {
    EXPECT_EQ(PropertyListXML::dateText(Date{unwritable}), std::nullopt) << unwritable;
    std::string reason;
    EXPECT_EQ(PropertyListXML::write(PropertyList(PropertyList::Array{PropertyList(Date{unwritable})}), &reason),
              std::nullopt);
    EXPECT_TRUE(reason.starts_with("date out of range")) << reason;
  }
  for (double extreme : {largest, -largest}) {
    auto text = PropertyListXML::dateText(Date{extreme});
    ASSERT_TRUE(text) << extreme;
    EXPECT_EQ(PropertyListXML::parseDate(*text), Date{extreme}) << *text;
  }
}

TEST(PropertyListXML, WriterAndReaderAgreeOnDepth) {
  constexpr int limit = PropertyListXML::maximumDepth;
  auto document = [](const std::string& body) { return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</plist>"; };
  auto xmlArrays = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text.insert(0, "<array>") += "</array>";
    return text;
  };
  // A root array nested `levels` deep puts its innermost array at depth levels - 1.
  for (int levels : {limit, limit + 1, limit + 2}) {
    bool fits = levels - 1 <= limit;
    EXPECT_EQ(PropertyListXML::unwritableReason(nestedArrays(levels)).has_value(), !fits) << levels;
    EXPECT_EQ(PropertyListXML::write(nestedArrays(levels)).has_value(), fits) << levels;
    EXPECT_EQ(PropertyListXML::read(document(xmlArrays(levels))).has_value(), fits) << levels;
  }
  // As a dictionary's entry, one level less.
  EXPECT_FALSE(PropertyListXML::unwritableReason(nestedArrays(limit), 1));
  EXPECT_EQ(PropertyListXML::unwritableReason(nestedArrays(limit + 1), 1), "nested deeper than 512 levels");

  // A dictionary's entry that cannot be held is left out alone, when the caller asks for that.
  std::string text = document("<dict><key>deep</key>" + xmlArrays(limit + 1) + "<key>keep</key><integer>1</integer>" +
                              "<key>far</key><date>+300000000-01-01T00:00:00Z</date><key>fits</key>" +
                              xmlArrays(limit) + "<key>holder</key><dict><key>deep</key>" + xmlArrays(limit) +
                              "<key>shallow</key><true/></dict></dict>");
  EXPECT_EQ(PropertyListXML::read(text), std::nullopt);
  std::vector<std::string> leftOut;
  auto read = PropertyListXML::read(text, nullptr, &leftOut);
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, PropertyList(PropertyList::Dictionary{{"keep", PropertyList(1)}, {"fits", nestedArrays(limit)}}));
  EXPECT_EQ(leftOut, (std::vector<std::string>{"deep", "far", "holder"}));
  // Malformed is still malformed, and only a root dictionary has entries to leave out.
  for (const std::string& bad : {document("<dict><key>a</key><date>2023-02-31T00:00:00Z</date></dict>"),
                                 document("<dict><key>a</key>" + xmlArrays(limit + 1) + "<key>b</key><integer>x</integer></dict>"),
                                 document(xmlArrays(limit + 2))}) {
    leftOut.clear();
    EXPECT_EQ(PropertyListXML::read(bad, nullptr, &leftOut), std::nullopt) << bad;
    EXPECT_TRUE(leftOut.empty());
  }
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
  EXPECT_EQ(PropertyListXML::write(value).value_or(""),
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

// A binary property list of one date, as other writers make it: the header, the date object
// (0x33 and a big-endian double), a one-entry offset table and the trailer.
Data binaryDate(double seconds) {
  std::string bytes = "bplist00\x33";
  std::uint64_t bits = 0;
  std::memcpy(&bits, &seconds, sizeof bits);
  for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(bits >> shift);
  bytes += '\x08';
  bytes += std::string(6, '\0') + "\x01\x01";
  for (std::uint64_t field : {std::uint64_t{1}, std::uint64_t{0}, std::uint64_t{17}})
    for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>(field >> shift);
  return Data::fromString(bytes);
}

TEST(PropertyListBinary, DatesAndTextsAreKeptOrRefused) {
  // Before the reference date the fraction counts backwards: -1.5 is not -0.5.
  for (double seconds : {0.0, 12.5, -0.25, -1.5, -347155200.5, 2147483647.0, -2147483648.0}) {
    const std::optional<Data> bytes = PropertyListBinary::write(PropertyList::Array{Date{seconds}});
    ASSERT_TRUE(bytes) << seconds;
    const std::optional<PropertyList> read = PropertyListBinary::read(*bytes);
    ASSERT_TRUE(read && read->array() && read->array()->at(0).date()) << seconds;
    EXPECT_EQ(read->array()->at(0).date()->timeIntervalSinceReferenceDate, seconds);
  }
  // Dates of other writers that lie beyond the 32-bit seconds are read as they are.
  for (double seconds : {-3187296000.0, 4102444800.0, -0.5}) {
    const std::optional<PropertyList> read = PropertyListBinary::read(binaryDate(seconds));
    ASSERT_TRUE(read && read->date()) << seconds;
    EXPECT_EQ(read->date()->timeIntervalSinceReferenceDate, seconds);
  }
  // The format's writer ends a text at a NUL: such a text is refused, not cut short.
  EXPECT_FALSE(PropertyListBinary::write(PropertyList(std::string("a\0b", 3))));
  EXPECT_FALSE(PropertyListBinary::write(PropertyList::Dictionary{{std::string("k\0x", 3), 1}}));
  EXPECT_TRUE(PropertyListBinary::write(PropertyList::Dictionary{{"k", "Zoë"}}));
}

TEST(PropertyListBinary, DeepOrWidelySharedDocumentsAreRefusedUnparsed) {
  // 100,000 nested arrays, in under a megabyte: the parser would recurse once per level.
  std::vector<std::vector<std::uint32_t>> chain(100'000);
  for (std::uint32_t i = 0; i + 1 < chain.size(); ++i) chain[i] = {i + 1};
  EXPECT_FALSE(PropertyListBinary::read(binaryArrays(chain)));
  EXPECT_FALSE(PropertyListBinary::read(binaryLattice()));
  // A reference back up is a loop, not a document.
  EXPECT_FALSE(PropertyListBinary::read(binaryArrays({{1}, {0}})));
  // Within the limits the same shapes read, shared leaves and all.
  std::vector<std::vector<std::uint32_t>> shallow(300);
  for (std::uint32_t i = 0; i + 1 < shallow.size(); ++i) shallow[i] = {i + 1};
  EXPECT_TRUE(PropertyListBinary::read(binaryArrays(shallow)));
  const std::optional<PropertyList> shared = PropertyListBinary::read(binaryArrays({{1, 1, 1}, {}}));
  ASSERT_TRUE(shared && shared->array());
  EXPECT_EQ(shared->array()->size(), 3u);
}

TEST(PropertyListBinary, SharedObjectsAreWeighedByWhatTheirCopiesCost) {
  // The reader copies a shared object for every reference: these few kilobytes would take gigabytes.
  // A refusal is answered at once; the time limit only keeps a reader that parses them from stalling the suite,
  // however loaded the machine.
  const std::pair<const char*, Data> costly[] = {
      {"text", binaryFanOut(60'000, sharedText())},
      {"data", binaryFanOut(16'000, sharedData())},
      {"array", binaryFanOut(1'000'000, sharedIntegers())},
  };
  for (const auto& [name, data] : costly) {
    const std::optional<std::int64_t> accepted =
        resultWithin(std::chrono::minutes(1), [&data = data] { return PropertyListBinary::read(data) ? 1 : 0; });
    EXPECT_EQ(accepted, 0) << name;
  }
  // Shared a few hundred times, they read, each reference as a value of its own.
  const std::optional<PropertyList> texts = PropertyListBinary::read(binaryFanOut(300, sharedText()));
  ASSERT_TRUE(texts && texts->array());
  EXPECT_EQ(texts->array()->size(), 300u);
  EXPECT_EQ(texts->array()->back(), PropertyList(std::string(16 * 1024, 'x')));
  const std::optional<PropertyList> arrays = PropertyListBinary::read(binaryFanOut(300, sharedIntegers()));
  ASSERT_TRUE(arrays && arrays->array());
  EXPECT_EQ(arrays->array()->front().array()->size(), 16u);
}

TEST(PropertyListBinary, LongArraysReadInLinearTime) {
  constexpr std::int64_t count = 1'000'000;
  const Data document = [] {
    std::vector<BinaryObject> objects{BinaryObject::array({})};
    objects.reserve(count + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
      objects.front().references.push_back(i + 1);
      objects.push_back(BinaryObject::number(i));
    }
    return binaryDocument(objects);
  }();
  // Item by item from the list's start, this took hours.
  const std::optional<std::int64_t> wrong = resultWithin(std::chrono::seconds(60), [&document] {
    const std::optional<PropertyList> read = PropertyListBinary::read(document);
    if (!read || !read->array() || std::ssize(*read->array()) != count) return std::int64_t{-1};
    std::int64_t mismatches = 0;
    for (std::int64_t i = 0; i < count; ++i) {
      const std::int64_t* item = (*read->array())[static_cast<std::size_t>(i)].integer();
      mismatches += !item || *item != i;
    }
    return mismatches;
  });
  EXPECT_EQ(wrong, 0);
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
