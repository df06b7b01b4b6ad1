#include <gtest/gtest.h>

#include <vector>

#include "platform/text/Decimal.hpp"

namespace platform {
namespace {

TEST(Decimal, ParsesExactlyOrNotAtAll) {
  struct Case {
    const char* text;
    const char* locale;  // nullptr: no locale
    const char* description;  // nullptr: refused
  };
  const Case cases[] = {
      {"0", nullptr, "0"},
      {"-0", nullptr, "0"},
      {"+42", nullptr, "42"},
      {"-1.50", nullptr, "-1.5"},
      {".5", nullptr, "0.5"},
      {"5.", nullptr, "5"},
      {"000123.4500", nullptr, "123.45"},
      {"1e3", nullptr, "1000"},
      {"1.5E-3", nullptr, "0.0015"},
      {"2e+2", nullptr, "200"},
      {"12345678901234567890123456789012345678", nullptr, "12345678901234567890123456789012345678"},
      {"1e-999999999999999999999", nullptr, nullptr},
      {"0e999999999999", nullptr, "0"},
      {"123456789012345678901234567890123456789", nullptr, nullptr},  // 39 digits
      {"1234567890123456789012345678901234567800000", nullptr, "1234567890123456789012345678901234567800000"},
      {"1.5abc", nullptr, nullptr},
      {"1.5 ", nullptr, nullptr},
      {" 1.5", nullptr, nullptr},
      {"1 000", nullptr, nullptr},
      {"", nullptr, nullptr},
      {"-", nullptr, nullptr},
      {".", nullptr, nullptr},
      {"1e", nullptr, nullptr},
      {"1e+", nullptr, nullptr},
      {"e5", nullptr, nullptr},
      {"1.2.3", nullptr, nullptr},
      {"--1", nullptr, nullptr},
      {"1,5", nullptr, nullptr},
      {"1,5", "de_DE", "1,5"},
      {"1.5", "de_DE", nullptr},
      {"-0,25e1", "de_DE", "-2,5"},
      {"1.5", "en_US", "1.5"},
      {"1.5", "", "1.5"},
  };
  // Around the limits of the exponent: 10^-128 and 10^164 (38 digits times 10^127) fit.
  const std::string tiny = "0." + std::string(127, '0') + "1";
  const std::string huge = "1" + std::string(164, '0');
  const std::string tooTiny = "0." + std::string(128, '0') + "1";
  const Case limits[] = {
      {tiny.c_str(), nullptr, tiny.c_str()},
      {"1e-128", nullptr, tiny.c_str()},
      {"10e-129", nullptr, tiny.c_str()},
      {tooTiny.c_str(), nullptr, nullptr},
      {"1e164", nullptr, huge.c_str()},
      {huge.c_str(), nullptr, huge.c_str()},
      {"1e165", nullptr, nullptr},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.insert(all.end(), std::begin(limits), std::end(limits));
  for (const Case& c : all) {
    std::optional<Locale> locale;
    if (c.locale) locale = Locale(c.locale);
    std::optional<Decimal> value = Decimal::parse(c.text, locale);
    if (!c.description) {
      EXPECT_FALSE(value) << c.text << " gave " << value->description();
      continue;
    }
    ASSERT_TRUE(value) << c.text;
    EXPECT_EQ(value->description(locale), c.description) << c.text;
  }
}

TEST(Decimal, EqualValuesHaveOneFormAndOrderByValue) {
  auto d = [](const char* text) { return *Decimal::parse(text); };
  EXPECT_EQ(d("1.50"), d("1.5"));
  EXPECT_EQ(d("1500e-3"), d("1.5"));
  EXPECT_EQ(d("-0"), Decimal());
  EXPECT_EQ(Decimal(-15), d("-15"));
  EXPECT_EQ(Decimal(INT64_MIN).description(), "-9223372036854775808");
  const char* ascending[] = {"-1e10", "-2.5", "-2.45", "-0.001", "0", "0.0001", "0.001", "1", "9.99", "10", "1e38", "1e127"};
  for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
    EXPECT_LT(d(ascending[i]), d(ascending[i + 1])) << ascending[i] << " < " << ascending[i + 1];
    EXPECT_GT(d(ascending[i + 1]), d(ascending[i])) << ascending[i + 1] << " > " << ascending[i];
  }
  EXPECT_FALSE(Decimal::make(false, 1, 128 + Decimal::maximumDigits));
  EXPECT_EQ(Decimal::make(true, 10, 127)->description(), "-1" + std::string(128, '0'));
}

}  // namespace
}  // namespace platform
