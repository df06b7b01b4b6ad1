#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "TimeSeries/APIHelper.hpp"
#include "TimeSeries/CodableHelper.hpp"
#include "TimeSeries/DeletePredicateRequest.hpp"
#include "TimeSeries/Query.hpp"
#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/coding/CodingError.hpp"

namespace TimeSeries {
namespace {

using Json = nlohmann::ordered_json;
using platform::coding::DecodingError;

platform::Date utc(double secondsSince1970) { return platform::Date::fromTimeIntervalSince1970(secondsSince1970); }
constexpr double may1st2024Noon = 1714564800;

TEST(OpenISO8601DateFormatter, WritesNineDigitsAndReadsZeroToNine) {
  OpenISO8601DateFormatter formatter;
  EXPECT_EQ(formatter.string(utc(may1st2024Noon)), "2024-05-01T12:00:00.000000000Z");
  EXPECT_EQ(formatter.string(utc(may1st2024Noon + 0.123)), "2024-05-01T12:00:00.123000000Z");
  // Still in 9999, though it rounds into 10000.
  EXPECT_EQ(formatter.string(utc(253402300799.9996)), "9999-12-31T23:59:59.999000000Z");
  EXPECT_FALSE(formatter.string(utc(253402300800.0)));
  for (double unwritable : {std::numeric_limits<double>::infinity(), std::nan(""), 1e15, -1e15})
    EXPECT_FALSE(formatter.string(platform::Date{unwritable})) << unwritable;

  struct Case {
    const char* text;
    std::optional<double> seconds;  // since 1970
  };
  const Case cases[] = {
      {"2024-05-01T12:00:00Z", may1st2024Noon},
      {"2024-05-01T12:00:00.1Z", may1st2024Noon + 0.1},
      {"2024-05-01T12:00:00.123456789Z", may1st2024Noon + 0.123},  // kept to the millisecond, cut
      {"2024-05-01T12:00:00.999999999Z", may1st2024Noon + 0.999},
      {"2024-05-01T14:30:00+02:30", may1st2024Noon},
      {"2024-05-01T12:00:00.1234567890Z", std::nullopt},
      {"2024-05-01T12:00:00.Z", std::nullopt},
      {"2024-05-01T12:00:00", std::nullopt},
      {"2024-05-01 12:00:00Z", std::nullopt},
      {"2024-02-30T12:00:00Z", std::nullopt},
      {"2024-05-01T24:00:00Z", std::nullopt},
      {"0000-01-01T00:00:00Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<platform::Date> date = formatter.date(c.text);
    ASSERT_EQ(date.has_value(), c.seconds.has_value()) << c.text;
    if (date) {
      EXPECT_NEAR(date->timeIntervalSince1970(), *c.seconds, 1e-6) << c.text;
    }
  }
}

TEST(Query, EncodesOnlyPresentFields) {
  EXPECT_EQ(Query{"from(bucket: \"b\")"}.toJSON().dump(), R"x({"query":"from(bucket: \"b\")"})x");
  EXPECT_EQ(Dialect{}.toJSON().dump(), "{}");
  const Dialect defaultDialect{
      true, ",",
      std::vector{Dialect::Annotations::datatype, Dialect::Annotations::group, Dialect::Annotations::_default}, "#",
      Dialect::DateTimeFormat::rfc3339};
  EXPECT_EQ(defaultDialect.toJSON().dump(),
            R"({"header":true,"delimiter":",","annotations":["datatype","group","default"],"commentPrefix":"#",)"
            R"("dateTimeFormat":"RFC3339"})");
  const Query full{
      "q", Query::ModelType::flux, std::map<std::string, std::string>{{"b", "2"}, {"a", "1"}},
      Dialect{std::nullopt, std::nullopt, std::nullopt, std::nullopt, Dialect::DateTimeFormat::rfc3339nano},
      utc(may1st2024Noon)};
  EXPECT_EQ(full.toJSON().dump(),
            R"({"query":"q","type":"flux","params":{"a":"1","b":"2"},)"
            R"("dialect":{"dateTimeFormat":"RFC3339Nano"},"now":"2024-05-01T12:00:00.000000000Z"})");
  const Query decoded = Query::fromJSON(full.toJSON());
  EXPECT_EQ(decoded.toJSON(), full.toJSON());

  Query unwritable{"q"};
  unwritable.now = platform::Date{std::numeric_limits<double>::infinity()};
  EXPECT_THROW(unwritable.toJSON(), platform::coding::EncodingError);

  EXPECT_EQ(rawValue(Dialect::Annotations::_default), "default");
  EXPECT_EQ(fromRaw<Dialect::Annotations>("default"), Dialect::Annotations::_default);
  EXPECT_FALSE(fromRaw<Dialect::Annotations>("Default"));
  EXPECT_EQ(allCases<Dialect::Annotations>(),
            (std::array{Dialect::Annotations::group, Dialect::Annotations::datatype, Dialect::Annotations::_default}));
  EXPECT_EQ(allCases<Dialect::DateTimeFormat>().size(), 2u);
}

// Keys are made only from their exact names, and never from integers.
TEST(Query, CodingKeys) {
  using platform::coding::keyFromInt;
  using platform::coding::keyFromString;
  using platform::coding::keyStringValue;
  EXPECT_EQ(keyFromString<Query::CodingKeys>("now"), Query::CodingKeys::now);
  EXPECT_FALSE(keyFromString<Query::CodingKeys>("Now"));
  EXPECT_FALSE(keyFromInt<Query::CodingKeys>(0));
  EXPECT_EQ(keyStringValue(Dialect::CodingKeys::dateTimeFormat), "dateTimeFormat");
  EXPECT_EQ(keyFromString<Dialect::CodingKeys>("commentPrefix"), Dialect::CodingKeys::commentPrefix);
  EXPECT_FALSE(keyFromString<DeletePredicateRequest::CodingKeys>("Predicate"));
  EXPECT_FALSE(platform::coding::CodingKey(DeletePredicateRequest::CodingKeys::stop).intValue());
}

TEST(Query, DecodingFailures) {
  using Kind = DecodingError::Kind;
  struct Case {
    const char* json;
    Kind kind;
    const char* path;  // the coding path's key texts, joined with "/"
    const char* text;  // the debug text, when fixed here
  };
  const Case cases[] = {
      {R"({"type":"flux"})", Kind::keyNotFound, "",
       "No value associated with key CodingKeys(stringValue: \"query\", intValue: nil) (\"query\")."},
      {R"({"query":1})", Kind::typeMismatch, "query", "Expected to decode String but found a number instead."},
      {R"({"query":null})", Kind::valueNotFound, "query", "Expected String value but found null instead."},
      {R"({"query":"q","type":"Flux"})", Kind::dataCorrupted, "type",
       "Cannot initialize ModelType from invalid String value Flux"},
      {R"({"query":"q","params":{"a":1}})", Kind::typeMismatch, "params/a", nullptr},
      {R"({"query":"q","dialect":{"annotations":["group","Default"]}})", Kind::dataCorrupted,
       "dialect/annotations/Index 1", "Cannot initialize Annotations from invalid String value Default"},
      {R"({"query":"q","dialect":{"dateTimeFormat":"rfc3339"}})", Kind::dataCorrupted, "dialect/dateTimeFormat",
       nullptr},
      {R"({"query":"q","dialect":{"header":"yes"}})", Kind::typeMismatch, "dialect/header", nullptr},
      {R"({"query":"q","now":"yesterday"})", Kind::dataCorrupted, "now",
       "Date string does not match format expected by formatter."},
      {R"(["query"])", Kind::typeMismatch, "", nullptr},
  };
  for (const Case& c : cases) {
    try {
      Query::fromJSON(Json::parse(c.json));
      ADD_FAILURE() << "decoded: " << c.json;
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.json;
      std::string path;
      for (const auto& key : error.codingPath()) path += (path.empty() ? "" : "/") + std::string(key.stringValue());
      EXPECT_EQ(path, c.path) << c.json;
      if (c.text) {
        EXPECT_EQ(error.context().debugDescription, c.text) << c.json;
      }
    }
  }
  // Unknown keys are ignored; null is absent; an empty dialect has no fields.
  const Query query = Query::fromJSON(Json::parse(R"({"query":"q","extra":1,"type":null,"dialect":{}})"));
  EXPECT_EQ(query.query, "q");
  EXPECT_FALSE(query.type);
  ASSERT_TRUE(query.dialect);
  EXPECT_EQ(query.dialect->toJSON().dump(), "{}");
  const Dialect dialect = Dialect::fromJSON(Json::parse(R"({"dateTimeFormat":"RFC3339Nano"})"));
  EXPECT_EQ(dialect.dateTimeFormat, Dialect::DateTimeFormat::rfc3339nano);
}

TEST(DeletePredicateRequest, JSON) {
  const DeletePredicateRequest request{utc(may1st2024Noon), utc(may1st2024Noon + 60), std::nullopt};
  EXPECT_EQ(request.toJSON().dump(),
            R"({"start":"2024-05-01T12:00:00.000000000Z","stop":"2024-05-01T12:01:00.000000000Z"})");
  const auto read = DeletePredicateRequest::fromJSON(Json::parse(
      R"({"start":"2024-05-01T12:00:00Z","stop":"2024-05-01T12:01:00Z","predicate":"_measurement=\"cpu\""})"));
  EXPECT_EQ(read.stop, request.stop);
  EXPECT_EQ(read.predicate, "_measurement=\"cpu\"");
  EXPECT_FALSE(DeletePredicateRequest::fromJSON(
                   Json::parse(R"({"start":"2024-05-01T12:00:00Z","stop":"2024-05-01T12:01:00Z","predicate":null})"))
                   .predicate);
  try {
    DeletePredicateRequest::fromJSON(Json::parse(R"({"start":"2024-05-01T12:00:00Z"})"));
    FAIL();
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(error.key()->stringValue(), "stop");
  }
  for (double year10000 : {253402300800.0, -62135596801.0}) {
    const DeletePredicateRequest outOfRange{utc(year10000), utc(may1st2024Noon), std::nullopt};
    EXPECT_THROW(outOfRange.toJSON(), platform::coding::EncodingError);
  }
}

// A replaced date formatter is the one the encoder writes with.
TEST(CodableHelper, ReplacedDateFormatterAndEncoder) {
  struct Fixed final : DateFormatting {
    std::optional<std::string> string(platform::Date) const override { return "then"; }
    std::optional<platform::Date> date(std::string_view) const override { return platform::Date{0}; }
  };
  CodableHelper::setDateFormatter(std::make_shared<Fixed>());
  EXPECT_EQ(DeletePredicateRequest{}.toJSON().dump(), R"({"start":"then","stop":"then"})");
  EXPECT_EQ(Query::fromJSON(Json::parse(R"({"query":"q","now":"whenever"})")).now, platform::Date{0});
  CodableHelper::setDateFormatter(nullptr);
  EXPECT_NE(DeletePredicateRequest{}.toJSON().dump(), R"({"start":"then","stop":"then"})");

  EXPECT_EQ(CodableHelper::jsonEncoder()->encode(Query{"q"}).view(), "{\n  \"query\": \"q\"\n}");
  struct Compact final : JSONEncoder {
    platform::Data bytes(const Json& document) const override { return platform::Data::fromString(document.dump()); }
  };
  CodableHelper::setJSONEncoder(std::make_shared<Compact>());
  EXPECT_EQ(CodableHelper::jsonEncoder()->encode(Query{"q"}).view(), R"({"query":"q"})");
  CodableHelper::setJSONEncoder(nullptr);
}

TEST(TimeSeriesError, Descriptions) {
  auto generic = [](const char* message) { return std::make_exception_ptr(TimeSeriesError::generic(message)); };
  const Json body = Json::parse(R"({"code":"invalid","message":"bad \"org\""})");
  struct Case {
    TimeSeriesError error;
    const char* text;
  };
  const Case cases[] = {
      {TimeSeriesError::error(-1, std::nullopt, std::nullopt, generic("Invalid URL")), "(-1) Reason: Invalid URL"},
      {TimeSeriesError::error(404, TimeSeriesError::Headers{{"Content-Type", "application/json"}, {"X-Id", "7"}}, body,
                              generic("Unsuccessful HTTP StatusCode")),
       R"((404) Reason: Unsuccessful HTTP StatusCode, HTTP Body: {"code":"invalid","message":"bad \"org\""}, )"
       R"(HTTP Headers: ["Content-Type": "application/json", "X-Id": "7"])"},
      {TimeSeriesError::error(500, TimeSeriesError::Headers{}, std::nullopt, generic("x")),
       "(500) Reason: x, HTTP Headers: [:]"},
      {TimeSeriesError::error(502, TimeSeriesError::Headers{{"X-Note", "caf\xE9"}, {"X-Say", "\"hi\""}},
                              std::nullopt, generic("x")),
       "(502) Reason: x, HTTP Headers: [\"X-Note\": \"caf\xEF\xBF\xBD\", \"X-Say\": \"\\\"hi\\\"\"]"},
      {TimeSeriesError::generic("Missing data"), "Missing data"},
      {TimeSeriesError::cause(std::make_exception_ptr(std::runtime_error("stream broke"))), "Reason: stream broke"},
      {TimeSeriesError::queryException(897, "failed to execute query"), "(897) Reason: failed to execute query"},
      // A wrapped error is quoted by its description alone, whatever else it says.
      {TimeSeriesError::cause(std::make_exception_ptr(
           platform::Error("D", 1, "Stream failure", platform::Error::Details{"why", std::nullopt, "help", {}, {}}))),
       "Reason: Stream failure"},
  };
  for (const Case& c : cases) EXPECT_STREQ(c.error.what(), c.text);
  EXPECT_EQ(cases[1].error.statusCode(), 404);
  EXPECT_EQ(cases[1].error.body()->at("code"), "invalid");
  EXPECT_EQ(cases[6].error.kind(), TimeSeriesError::Kind::queryException);
}

TEST(APIHelper, NamedValues) {
  using Scalar = APIHelper::Scalar;
  const APIHelper::List list{Scalar("a"), std::nullopt, Scalar("b")};
  const APIHelper::OptionalValues values{{"bucket", APIHelper::Value(Scalar("my bucket"))},
                                         {"org", std::nullopt},
                                         {"tags", APIHelper::Value(list)},
                                         {"limit", APIHelper::Value(Scalar(std::int64_t(10)))},
                                         {"flag", APIHelper::Value(Scalar(true))},
                                         {"ratio", APIHelper::Value(Scalar(0.5))}};
  const auto items = APIHelper::queryItemsFromValues(values);
  ASSERT_TRUE(items);
  EXPECT_EQ(
      *items,
      (std::vector<platform::URLQueryItem>{
          {"bucket", "my bucket"}, {"tags", "a"}, {"tags", "b"}, {"limit", "10"}, {"flag", "true"}, {"ratio", "0.5"}}));
  EXPECT_FALSE(APIHelper::queryItemsFromValues({{"org", std::nullopt}}));
  EXPECT_FALSE(APIHelper::queryItemsFromValues({{"tags", APIHelper::Value(APIHelper::List{std::nullopt})}}));
  EXPECT_EQ(APIHelper::headerValues(values),
            (APIHelper::Texts{
                {"bucket", "my bucket"}, {"tags", "a,b"}, {"limit", "10"}, {"flag", "true"}, {"ratio", "0.5"}}));
  EXPECT_EQ(std::get<Scalar>(APIHelper::pathItemValue(APIHelper::Value(list))), Scalar("a,b"));
  EXPECT_FALSE(APIHelper::nonNilValues({{"org", std::nullopt}}));
  EXPECT_EQ(APIHelper::nonNilValues(values)->size(), 5u);
  const auto texts = APIHelper::boolsToText(APIHelper::nonNilValues(values));
  EXPECT_EQ(std::get<Scalar>((*texts)[3].second), Scalar(std::string("true")));
  EXPECT_FALSE(APIHelper::boolsToText(std::nullopt));

  EXPECT_EQ(APIHelper::text(APIHelper::scalar(short(-3))), "-3");
  EXPECT_EQ(APIHelper::text(APIHelper::scalar(2.0f)), "2.0");
  EXPECT_EQ(APIHelper::scalar(false), Scalar(false));
  EXPECT_EQ(APIHelper::text(APIHelper::scalar("text")), "text");
  EXPECT_EQ(APIHelper::text(APIHelper::scalar('a')), "a");
  EXPECT_EQ(APIHelper::text(APIHelper::scalar(U'\u00E9')), "\xC3\xA9");
  EXPECT_EQ(APIHelper::text(APIHelper::scalar(std::vector<int>{1, 2})), "[1, 2]");
}

}  // namespace
}  // namespace TimeSeries
