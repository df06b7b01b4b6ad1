// Field texts into values: every strategy case, the parse rules, and the single-value container's errors.

#include <cmath>
#include <limits>
#include <variant>

#include "decoder/DecoderTestSupport.hpp"
#include "decoder/ShadowDecoder.hpp"
#include "platform/text/DateFormatter.hpp"

namespace RecordCSV {
namespace {

using platform::coding::Decoder;
using platform::coding::DecodingError;
using testing::AnyKey;
using testing::CodingFailure;
using testing::DecoderFailure;
using testing::indexKey;
using testing::path;

/// The text as the second field of a one-row input, escaped when it must be.
std::string rowWith(std::string_view text) {
  std::string escaped = "\"";
  for (const char c : text) escaped += c == '"' ? std::string("\"\"") : std::string(1, c);
  return "a," + escaped + "\"\n";
}

const std::string fieldPath = path({indexKey(0), "AnyKey(stringValue: \"1\", intValue: 1)"});

/// The field decoded as T through a row container, or how it failed.
template <typename T>
std::variant<T, CodingFailure, DecoderFailure> decodeField(const CSVDecoder& decoder, std::string_view text) {
  std::variant<T, CodingFailure, DecoderFailure> result = CodingFailure{};
  testing::withTopDecoder(decoder, rowWith(text), [&](Decoder& top) {
    auto row = top.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0));
    try {
      result = row.decode<T>(AnyKey::of(1));
    } catch (const DecodingError& error) {
      result =
          CodingFailure{error.kind(), error.type(), error.codingPath().description(), error.context().debugDescription};
    } catch (const CSVDecoderError& error) {
      result = testing::summary(error);
    }
  });
  return result;
}

CodingFailure mismatch(std::string_view text, const std::string& type) {
  return {DecodingError::Kind::typeMismatch, type, fieldPath,
          "The field '" + std::string(text) + "' was not of the expected type '" + type + "'."};
}

CodingFailure corrupted(std::string description) {
  return {DecodingError::Kind::dataCorrupted, "", fieldPath, std::move(description)};
}

template <typename T>
struct Case {
  std::string_view text;
  std::variant<T, CodingFailure, DecoderFailure> expected;
};

template <typename T>
void check(const CSVDecoder& decoder, std::initializer_list<Case<T>> cases) {
  for (const Case<T>& c : cases) EXPECT_EQ(decodeField<T>(decoder, c.text), c.expected) << "text: " << c.text;
}

CSVDecoder with(const std::function<void(CSVDecoder::Configuration&)>& setup) { return CSVDecoder(setup); }

TEST(DecoderSingleValue, Booleans) {
  check<bool>(CSVDecoder(), {{"yes", true},
                             {"Yes", true},
                             {"YES", true},
                             {"tRuE", true},
                             {"no", false},
                             {"FALSE", false},
                             {"", false},
                             {"y", mismatch("y", "Bool")},
                             {"t", mismatch("t", "Bool")},
                             {" true", mismatch(" true", "Bool")},
                             {"true ", mismatch("true ", "Bool")},
                             {"1", mismatch("1", "Bool")},
                             {"\uFF59es", mismatch("\uFF59es", "Bool")},  // a full-width y is no y
                             {"n\u00F6", mismatch("n\u00F6", "Bool")}});
  check<bool>(with([](auto& c) { c.boolStrategy = Strategy::BoolDecoding::deferredToBool(); }),
              {{"true", true},
               {"false", false},
               {"TRUE", mismatch("TRUE", "Bool")},
               {"", mismatch("", "Bool")},
               {"yes", mismatch("yes", "Bool")}});
  check<bool>(with([](auto& c) { c.boolStrategy = Strategy::BoolDecoding::numeric(); }),
              {{"1", true},
               {"0", false},
               {"2", mismatch("2", "Bool")},
               {"", mismatch("", "Bool")},
               {"true", mismatch("true", "Bool")}});
  check<bool>(with([](auto& c) {
                c.boolStrategy = Strategy::BoolDecoding::custom([](Decoder& field) {
                  EXPECT_EQ(field.codingPath().description(), fieldPath);
                  return field.singleValueContainer().decode<std::string>() == "ja";
                });
              }),
              {{"ja", true}, {"nein", false}});
  const CSVDecoder failing([](auto& c) {
    c.boolStrategy = Strategy::BoolDecoding::custom([](Decoder&) -> bool { throw std::runtime_error("x"); });
  });
  testing::withTopDecoder(failing, "a,b\n", [](Decoder& top) {
    auto row = top.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0));
    EXPECT_THROW(row.decode<bool>(AnyKey::of(1)), std::runtime_error);  // passes through unchanged
  });
}

TEST(DecoderSingleValue, Integers) {
  const CSVDecoder decoder;
  check<std::int64_t>(decoder, {{"+42", 42},
                                {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
                                {"9223372036854775808", mismatch("9223372036854775808", "Int")},
                                {"1_000", mismatch("1_000", "Int")},
                                {"1 000", mismatch("1 000", "Int")},
                                {" 1", mismatch(" 1", "Int")},
                                {"1.0", mismatch("1.0", "Int")},
                                {"", mismatch("", "Int")},
                                {"+", mismatch("+", "Int")},
                                {"--1", mismatch("--1", "Int")},
                                {"0x10", mismatch("0x10", "Int")},
                                {"\u0661", mismatch("\u0661", "Int")}});  // an Arabic-Indic one is no ASCII digit
  check<std::int8_t>(decoder,
                     {{"-128", std::int8_t{-128}}, {"127", std::int8_t{127}}, {"128", mismatch("128", "Int8")}});
  check<std::int16_t>(decoder, {{"-32768", std::int16_t{-32768}}, {"32768", mismatch("32768", "Int16")}});
  check<std::int32_t>(decoder, {{"2147483647", 2147483647}, {"-2147483649", mismatch("-2147483649", "Int32")}});
  check<std::uint8_t>(decoder, {{"-0", std::uint8_t{0}},
                                {"-000", std::uint8_t{0}},
                                {"255", std::uint8_t{255}},
                                {"-1", mismatch("-1", "UInt8")},
                                {"256", mismatch("256", "UInt8")}});
  check<std::uint16_t>(decoder, {{"65535", std::uint16_t{65535}}, {"65536", mismatch("65536", "UInt16")}});
  check<std::uint32_t>(decoder, {{"+4294967295", 4294967295u}, {"4294967296", mismatch("4294967296", "UInt32")}});
  check<std::uint64_t>(decoder, {{"18446744073709551615", std::numeric_limits<std::uint64_t>::max()},
                                 {"18446744073709551616", mismatch("18446744073709551616", "UInt")}});
}

/// Compares NaN as equal to NaN, for the tables below.
struct Real {
  double value;
  friend bool operator==(const Real& a, const Real& b) {
    return (std::isnan(a.value) && std::isnan(b.value)) || a.value == b.value;
  }
};

template <typename Float>
std::variant<Real, CodingFailure, DecoderFailure> decodeReal(const CSVDecoder& decoder, std::string_view text) {
  auto result = decodeField<Float>(decoder, text);
  if (const Float* value = std::get_if<Float>(&result)) return Real{static_cast<double>(*value)};
  if (const CodingFailure* failure = std::get_if<CodingFailure>(&result)) return *failure;
  return std::get<DecoderFailure>(result);
}

TEST(DecoderSingleValue, FloatingPoint) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const CSVDecoder throwing;
  const CSVDecoder converting(
      [](auto& c) { c.nonConformingFloatStrategy = Strategy::NonConformingFloat::convert("inf", "-inf", "nan"); });
  const CSVDecoder digits(
      [](auto& c) { c.nonConformingFloatStrategy = Strategy::NonConformingFloat::convert("1", "2", "3"); });
  const struct {
    const CSVDecoder& decoder;
    bool single;
    std::string_view text;
    std::variant<Real, CodingFailure, DecoderFailure> expected;
  } cases[] = {
      {throwing, false, "1e3", Real{1000}},
      {throwing, false, "0x1p-2", Real{0.25}},
      {throwing, false, "-2.5", Real{-2.5}},
      {throwing, false, "1e-400", Real{0}},
      {throwing, false, " 1", mismatch(" 1", "Double")},
      {throwing, false, "1 ", mismatch("1 ", "Double")},
      {throwing, false, "", mismatch("", "Double")},
      {throwing, false, "1,5", mismatch("1,5", "Double")},
      {throwing, false, "inf", mismatch("inf", "Double")},
      {throwing, false, "nan", mismatch("nan", "Double")},
      {throwing, false, "1e400", mismatch("1e400", "Double")},
      {throwing, true, "1e39", mismatch("1e39", "Float")},
      {throwing, true, "0.5", Real{0.5}},
      {converting, false, "inf", Real{inf}},
      {converting, false, "-inf", Real{-inf}},
      {converting, false, "nan", Real{nan}},
      {converting, true, "inf", Real{inf}},
      {converting, false, "Infinity", mismatch("Infinity", "Double")},
      {converting, false, "INF", mismatch("INF", "Double")},
      {converting, false, "1e400", mismatch("1e400", "Double")},
      {digits, false, "1", Real{1}},
      {digits, false, "nan", mismatch("nan", "Double")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.single ? decodeReal<float>(c.decoder, c.text) : decodeReal<double>(c.decoder, c.text), c.expected)
        << "text: " << c.text;
  }
}

TEST(DecoderSingleValue, TextsAndAddresses) {
  const CSVDecoder decoder;
  check<std::string>(decoder, {{"", ""}, {" a, \"b\"\n", " a, \"b\"\n"}});
  const auto url = decodeField<platform::URL>(decoder, "https://example.org/a?b#c");
  ASSERT_TRUE(std::holds_alternative<platform::URL>(url));
  EXPECT_EQ(std::get<platform::URL>(url).absoluteString(), "https://example.org/a?b#c");
  for (const char* text : {"", "a b"})
    EXPECT_EQ(decodeField<platform::URL>(decoder, text), (decltype(url)(mismatch(text, "URL")))) << text;
}

TEST(DecoderSingleValue, Decimals) {
  const auto decimal = [](std::string_view text) { return *platform::Decimal::parse(text); };
  const std::string withoutLocale = "' couldn't be transformed into a Decimal using the '.locale' strategy.";
  check<platform::Decimal>(CSVDecoder(), {{"1.5", decimal("1.5")},
                                          {"-12e3", decimal("-12000")},
                                          {"1.5abc", corrupted("The string '1.5abc" + withoutLocale)},
                                          {"1,5", corrupted("The string '1,5" + withoutLocale)},
                                          {"", corrupted("The string '" + withoutLocale)}});
  check<platform::Decimal>(
      with([](auto& c) { c.decimalStrategy = Strategy::DecimalDecoding::locale(platform::Locale("de_DE")); }),
      {{"1,5", decimal("1.5")}, {"abc", corrupted("The string 'abc" + withoutLocale + " with locale 'de_DE'")}});
  check<platform::Decimal>(
      with([](auto& c) {
        c.decimalStrategy = Strategy::DecimalDecoding::custom([](Decoder& field) {
          return *platform::Decimal::parse("0." + field.singleValueContainer().decode<std::string>());
        });
      }),
      {{"25", decimal("0.25")}});
}

TEST(DecoderSingleValue, Dates) {
  const auto utc = [](double seconds) { return platform::Date::fromTimeIntervalSince1970(seconds); };
  const double instant = 1577934245.678;  // 2020-01-02T03:04:05.678Z
  check<platform::Date>(CSVDecoder(), {{"12.5", platform::Date{12.5}}, {"x", mismatch("x", "Double")}});
  check<platform::Date>(with([](auto& c) { c.dateStrategy = Strategy::DateDecoding::secondsSince1970(); }),
                        {{"86400", utc(86400)}, {"abc", mismatch("abc", "Double")}});
  check<platform::Date>(with([](auto& c) { c.dateStrategy = Strategy::DateDecoding::millisecondsSince1970(); }),
                        {{"1500", utc(1.5)}});
  check<platform::Date>(
      with([](auto& c) { c.dateStrategy = Strategy::DateDecoding::iso8601(); }),
      {{"2020-01-02T03:04:05.678Z", utc(instant)},
       {"2020-01-02T05:04:05.678+02:00", utc(instant)},
       {"2020-01-02",
        corrupted("The field '2020-01-02' couldn't be transformed into a Date using the '.iso8601' strategy.")}});
  auto formatter = std::make_shared<platform::DateFormatter>(platform::DateFormatter::Configuration{
      "dd.MM.yyyy HH:mm", platform::Locale("en_US_POSIX"), "GMT", std::nullopt, false});
  check<platform::Date>(
      with([&](auto& c) { c.dateStrategy = Strategy::DateDecoding::formatted(formatter); }),
      {{"02.01.2020 03:04", utc(1577934240)},
       {"2020", corrupted("The field '2020' couldn't be transformed into a Date using the '.formatted' strategy.")}});
  check<platform::Date>(
      with([](auto& c) { c.dateStrategy = Strategy::DateDecoding::formatted(nullptr); }),
      {{"2020", corrupted("The field '2020' couldn't be transformed into a Date using the '.formatted' strategy.")}});
  check<platform::Date>(with([](auto& c) {
                          c.dateStrategy = Strategy::DateDecoding::custom([](Decoder& field) {
                            return platform::Date{field.singleValueContainer().decode<double>() * 2};
                          });
                        }),
                        {{"3", platform::Date{6}}});
}

TEST(DecoderSingleValue, Data) {
  const auto bytes = [](std::string_view text) { return platform::Data::fromString(text); };
  const auto invalid = [](std::string_view text) {
    return corrupted("The field '" + std::string(text) + "' couldn't be transformed into a Base64 data blob.");
  };
  check<platform::Data>(CSVDecoder(), {{"aGVsbG8=", bytes("hello")},
                                       {"", bytes("")},
                                       {"aGVs\nbG8=", invalid("aGVs\nbG8=")},
                                       {"aGVs bG8=", invalid("aGVs bG8=")},
                                       {"aGVsbG8", invalid("aGVsbG8")}});
  check<platform::Data>(with([](auto& c) {
                          c.dataStrategy = Strategy::DataDecoding::custom([](Decoder& field) {
                            return platform::Data::fromString(field.singleValueContainer().decode<std::string>() + "!");
                          });
                        }),
                        {{"hi", bytes("hi!")}});
  // A field is no sequence of bytes: the blob's own decoding asks for an unkeyed container too deep.
  EXPECT_EQ(decodeField<platform::Data>(
                with([](auto& c) { c.dataStrategy = Strategy::DataDecoding::deferredToData(); }), "aGk="),
            (decltype(decodeField<platform::Data>(CSVDecoder(), ""))(
                DecoderFailure{2,
                               "A CSV doesn't support more than two nested decoding container.",
                               "Don't ask for a unkeyed decoding container on this coding path.",
                               {{"Coding path", fieldPath}}})));
}

TEST(DecoderSingleValue, NilStrategies) {
  testing::withTopDecoder(CSVDecoder(), "a,\n", [](Decoder& top) {
    auto row = top.container<AnyKey>().nestedContainer<AnyKey>(AnyKey::of(0));
    EXPECT_FALSE(row.decodeNil(AnyKey::of(0)));
    EXPECT_TRUE(row.decodeNil(AnyKey::of(1)));
    EXPECT_EQ(row.decodeIfPresent<std::int64_t>(AnyKey::of(1)), std::nullopt);
  });
}

ShadowDecoderSource sourceOf(const std::string& text) {
  return ShadowDecoderSource(CSVReader::initWithString(text, CSVReader::Configuration{}), CSVDecoder::Configuration{},
                             {});
}

TEST(DecoderSingleValue, FocusByPathLength) {
  using platform::coding::CodingKey;
  const DecoderFailure required{2,
                                "A nested container is needed to decode CSV row values",
                                "Request a nested container instead of trying to decode the value directly.",
                                {{"Coding path", "[]"}}};
  // The whole input is one value only when it is one row of one field.
  EXPECT_EQ(CSVDecoder().decode<std::int64_t>(std::string("5\n")), 5);
  for (const char* text : {"5\n6\n", "5,6\n", ""})
    EXPECT_EQ(testing::decoderFailure([&] { (void)CSVDecoder().decode<std::int64_t>(std::string(text)); }), required)
        << text;
  EXPECT_EQ(testing::codingFailure([] { (void)CSVDecoder().decode<std::int64_t>(std::string("x")); }),
            (CodingFailure{DecodingError::Kind::typeMismatch, "Int", path({indexKey(0), indexKey(0)}),
                           "The field 'x' was not of the expected type 'Int'."}));

  // A row is one value only when rows have one field.
  CSVDecoder::Lazy lazy = CSVDecoder().lazy(std::string("7\ny\n"));
  EXPECT_EQ(lazy.decode<std::int64_t>(), 7);
  EXPECT_EQ(testing::codingFailure([&] { (void)lazy.decode<std::int64_t>(); }),
            (CodingFailure{DecodingError::Kind::typeMismatch, "Int", path({indexKey(1), indexKey(0)}),
                           "The field 'y' was not of the expected type 'Int'."}));
  EXPECT_EQ(testing::decoderFailure([] { (void)CSVDecoder().lazy(std::string("7,8\n")).decode<std::int64_t>(); }),
            (DecoderFailure{required.code, required.reason, required.help, {{"Coding path", path({indexKey(0)})}}}));

  ShadowDecoderSource source = sourceOf("1\n2\n");
  // A row past the end is not nil, and asking does not fail.
  EXPECT_FALSE(ShadowDecoder(source, {CodingKey(IndexKey(5))}).singleValueContainer().decodeNil());
  const CodingKey name("Key", "r", std::nullopt);
  const platform::coding::CodingPath three{CodingKey(IndexKey(0)), CodingKey(IndexKey(0)), CodingKey(IndexKey(0))};
  EXPECT_EQ(testing::decoderFailure([&] { (void)ShadowDecoder(source, three).singleValueContainer(); }),
            (DecoderFailure{2,
                            "A CSV doesn't support more than two nested decoding containers.",
                            "Don't ask for a single value encoding container on this coding path.",
                            {{"Coding path", three.description()}}}));
  // The row key is looked at before the field key, which here names no header either.
  const platform::coding::CodingPath named{name, name};
  EXPECT_EQ(testing::decoderFailure([&] { (void)ShadowDecoder(source, named).singleValueContainer(); }),
            (DecoderFailure{2,
                            "The coding key identifying a CSV row couldn't be transformed into an integer value.",
                            "The provided coding key identifying a CSV row must implement `intValue`.",
                            {{"Coding path", named.description()}, {"Key", name.description()}}}));
}

}  // namespace
}  // namespace RecordCSV
