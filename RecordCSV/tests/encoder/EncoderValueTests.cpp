#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "encoder/EncoderTestSupport.hpp"
#include "encoder/ShadowEncoder.hpp"
#include "platform/text/DateFormatter.hpp"

namespace RecordCSV::encodertest {
namespace {

using platform::coding::EncodingError;

/// The field text of one value, as the single field of a one-column file.
template <typename T>
std::string fieldOf(const T& value, const CSVEncoder::Setup& setup = {}) {
  const std::string text = encoded(std::vector<T>{value}, [&setup](CSVEncoder::Configuration& configuration) {
    configuration.setHeaders({"v"});
    if (setup) setup(configuration);
  });
  EXPECT_EQ(text.substr(0, 2), "v\n");
  EXPECT_EQ(text.back(), '\n');
  return text.substr(2, text.size() - 3);
}

TEST(EncoderValues, NumbersAreWrittenAsTheirShortestText) {
  struct Case {
    double value;
    const char* text;
  };
  const Case doubles[] = {
      {0.0, "0.0"},         {-0.0, "-0.0"},
      {2.0, "2.0"},         {100000.0, "100000.0"},
      {1e-4, "0.0001"},     {1e-5, "1e-05"},
      {0.1, "0.1"},         {-3.25, "-3.25"},
      {123456.789, "123456.789"},
      {9007199254740991.0, "9007199254740991.0"},
      {9007199254740992.0, "9.007199254740992e+15"},
      {1e16, "1e+16"},      {5e-324, "5e-324"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
  };
  for (const Case& c : doubles) EXPECT_EQ(fieldOf(c.value), c.text) << c.text;
  EXPECT_EQ(fieldOf(16777215.0f), "16777215.0");
  EXPECT_EQ(fieldOf(16777216.0f), "1.6777216e+07");
  EXPECT_EQ(fieldOf(0.1f), "0.1");
  EXPECT_EQ(fieldOf(1e-5f), "1e-05");

  EXPECT_EQ(fieldOf(std::int8_t{-128}), "-128");
  EXPECT_EQ(fieldOf(std::uint8_t{255}), "255");
  EXPECT_EQ(fieldOf(std::int16_t{-42}), "-42");
  EXPECT_EQ(fieldOf(std::uint32_t{7}), "7");
  EXPECT_EQ(fieldOf(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(fieldOf(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
}

TEST(EncoderValues, NonConformingFloatsFollowTheirStrategy) {
  const auto convert = [](CSVEncoder::Configuration& configuration) {
    configuration.nonConformingFloatStrategy = Strategy::NonConformingFloat::convert("+inf", "-inf", "NaN");
  };
  EXPECT_EQ(fieldOf(INFINITY, convert), "+inf");
  EXPECT_EQ(fieldOf(-HUGE_VAL, convert), "-inf");
  EXPECT_EQ(fieldOf(-std::nan(""), convert), "NaN");
  for (const double value : {INFINITY, -INFINITY, NAN}) {
    try {
      fieldOf(value);
      FAIL() << "no error for " << value;
    } catch (const EncodingError& error) {
      EXPECT_STREQ(error.what(), "The value is a non-conformant floating-point.");
      EXPECT_EQ(error.codingPath().size(), 2u);
      EXPECT_EQ(std::any_cast<double>(error.value()) == value, !std::isnan(value));
    }
  }
  // Where the value may not stand, that is the error.
  const CSVEncoderError misplaced = encoderError([] { encoded(std::vector<double>{NAN}); });
  EXPECT_EQ(misplaced.failureReason(), "A nested container is needed to encode at this coding path.");
}

TEST(EncoderValues, StrategiesTurnBooleansDatesBlobsAndDecimalsIntoText) {
  using Setup = CSVEncoder::Setup;
  const platform::Date tenSeconds = platform::Date::fromTimeIntervalSince1970(10);
  const auto dates = [](Strategy::DateEncoding strategy) -> Setup {
    return [strategy](CSVEncoder::Configuration& configuration) { configuration.dateStrategy = strategy; };
  };
  const auto blobs = [](Strategy::DataEncoding strategy) -> Setup {
    return [strategy](CSVEncoder::Configuration& configuration) { configuration.dataStrategy = strategy; };
  };
  const auto writing = [](std::string text) {
    return [text](platform::coding::Encoder& encoder) { encoder.singleValueContainer().encode(text); };
  };

  EXPECT_EQ(fieldOf(true), "true");
  EXPECT_EQ(fieldOf(false, [](auto& c) { c.boolStrategy = Strategy::BoolEncoding::numeric(); }), "0");
  EXPECT_EQ(fieldOf(true, [](auto& c) {
              c.boolStrategy = Strategy::BoolEncoding::custom([](bool value, platform::coding::Encoder& encoder) {
                encoder.singleValueContainer().encode(std::string(value ? "yes" : "no"));
              });
            }),
            "yes");

  EXPECT_EQ(fieldOf(platform::Date{12.5}), "12.5") << "a date's own coding is its seconds since 2001";
  EXPECT_EQ(fieldOf(tenSeconds, dates(Strategy::DateEncoding::secondsSince1970())), fieldOf(10.0));
  EXPECT_EQ(fieldOf(tenSeconds, dates(Strategy::DateEncoding::millisecondsSince1970())), fieldOf(10000.0));
  EXPECT_EQ(fieldOf(tenSeconds, dates(Strategy::DateEncoding::iso8601())), "1970-01-01T00:00:10.000Z");
  const auto years = std::make_shared<platform::DateFormatter>(
      platform::DateFormatter::Configuration{"yyyy", platform::Locale("en_US_POSIX"), "GMT"});
  EXPECT_EQ(fieldOf(tenSeconds, dates(Strategy::DateEncoding::formatted(years))), "1970");
  EXPECT_EQ(fieldOf(tenSeconds, dates(Strategy::DateEncoding::custom(
                                    [&](const platform::Date&, platform::coding::Encoder& e) { writing("then")(e); }))),
            "then");

  EXPECT_EQ(fieldOf(platform::Data({0, 1, 2, 250})), "AAEC+g==");
  EXPECT_EQ(fieldOf(platform::Data()), "\"\"") << "an empty field alone in its row";
  EXPECT_EQ(fieldOf(platform::Data({1}), blobs(Strategy::DataEncoding::custom(
                                             [&](const platform::Data&, platform::coding::Encoder& e) { writing("blob")(e); }))),
            "blob");
  // A blob's own coding asks for a sequence where a field stands.
  const CSVEncoderError nested = encoderError(
      [&] { fieldOf(platform::Data({1}), blobs(Strategy::DataEncoding::deferredToData())); });
  EXPECT_EQ(nested.failureReason(), "A CSV doesn't support more than two nested encoding container.");
  EXPECT_EQ(nested.helpAnchor(), "Don't ask for a unkeyed encoding container on this coding path.");

  const platform::Decimal threeAndAHalf = *platform::Decimal::parse("3.5");
  EXPECT_EQ(fieldOf(threeAndAHalf), "3.5");
  EXPECT_EQ(fieldOf(threeAndAHalf, [](auto& c) { c.decimalStrategy = Strategy::DecimalEncoding::locale(platform::Locale("de_DE")); }),
            "\"3,5\"");
  EXPECT_EQ(fieldOf(*platform::URL::parse("https://example.org/a/b?q=1#f")), "/a/b");
  EXPECT_EQ(fieldOf(std::string("as is")), "as is");
}

TEST(EncoderValues, NilIsEmptyOrWhatTheCustomFunctionWrites) {
  const std::vector<std::optional<std::int32_t>> values{1, std::nullopt, 3};
  EXPECT_EQ(encoded(values, [](auto& c) { c.setHeaders({"v"}); }), "v\n1\n\"\"\n3\n");
  EXPECT_EQ(encoded(values,
                    [](auto& c) {
                      c.setHeaders({"v"});
                      c.nilStrategy = Strategy::NilEncoding::custom(
                          [](platform::coding::Encoder& encoder) { encoder.singleValueContainer().encode("NULL"); });
                    }),
            "v\n1\nNULL\n3\n");

  // The custom function runs even where a plain value could not stand.
  int calls = 0;
  CSVEncoder encoder([&calls](CSVEncoder::Configuration& configuration) {
    configuration.setHeaders({"a", "b"});
    configuration.nilStrategy = Strategy::NilEncoding::custom([&calls](platform::coding::Encoder&) { ++calls; });
  });
  auto lazy = encoder.lazyToString();
  lazy.encodeRow(Custom{[](Encoder& row) { row.singleValueContainer().encodeNil(); }});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(lazy.endEncoding(), "a,b\n");
}

TEST(EncoderValues, ASingleValueStandsForARowOrTheFileOnlyWhenRowsHaveOneField) {
  const Custom one{[](Encoder& encoder) { encoder.singleValueContainer().encode(std::string("x")); }};
  const Custom two{[](Encoder& encoder) {
    encoder.singleValueContainer().encode(std::string("x"));
    encoder.singleValueContainer().encode(std::string("y"));
  }};
  const auto headers = [](std::vector<std::string> names) {
    return [names](CSVEncoder::Configuration& configuration) { configuration.setHeaders(names); };
  };
  const char* fileLevel = "A field is being encoded at file level.";
  EXPECT_EQ(encoded(one, headers({"h"})), "h\nx\n");
  // Whether the first value still waits in the buffer, ended its row or stands in an open row.
  for (const auto strategy :
       {Strategy::EncodingBuffer::keepAll, Strategy::EncodingBuffer::assembled, Strategy::EncodingBuffer::sequential}) {
    const CSVEncoderError second = encoderError([&] {
      encoded(two, [strategy](CSVEncoder::Configuration& configuration) {
        configuration.setHeaders({"h"});
        configuration.bufferingStrategy = strategy;
      });
    });
    EXPECT_EQ(second.failureReason(), fileLevel) << static_cast<int>(strategy);
  }
  EXPECT_EQ(encoderError([&] { encoded(one, headers({})); }).failureReason(), fileLevel);
  const CSVEncoderError wide = encoderError([&] { encoded(one, headers({"a", "b"})); });
  EXPECT_EQ(wide.failureReason(), fileLevel);
  EXPECT_EQ(wide.helpAnchor(),
            "Get a nested container representing the CSV file and then another one representing a CSV row.");

  auto lazy = CSVEncoder(headers({"h"})).lazyToString();
  lazy.encodeRow(one);
  lazy.encodeRow(one);
  EXPECT_EQ(lazy.endEncoding(), "h\nx\nx\n");
  auto wideRows = CSVEncoder(headers({"a", "b"})).lazyToString();
  const CSVEncoderError rowLevel = encoderError([&] { wideRows.encodeRow(one); });
  EXPECT_EQ(rowLevel.failureReason(), "A field is being encoded at row level.");
  EXPECT_EQ(rowLevel.helpAnchor(), "Get a nested container representing a CSV row.");
  EXPECT_EQ(rowLevel.userInfo().get<platform::coding::CodingPath>("Coding path"),
            platform::coding::CodingPath{IndexKey(0)});
  EXPECT_EQ(wideRows.currentIndex(), 0);

  // Three keys are one more than a file has levels; no container of the encoder's own leads there.
  ShadowEncoderSink sink(std::make_unique<CSVWriter>(), {}, {});
  ShadowEncoder deepEncoder(sink, {IndexKey(0), IndexKey(1), IndexKey(2)});
  const CSVEncoderError deep = encoderError([&] { deepEncoder.singleValueContainer().encode(1.0); });
  EXPECT_EQ(deep.failureReason(), "A CSV doesn't support more than two nested encoding container.");
  EXPECT_EQ(deep.helpAnchor(), "Don't ask for a single value encoding container on this coding path.");
}

}  // namespace
}  // namespace RecordCSV::encodertest
