#include <gtest/gtest.h>

#include "platform/core/Base64.hpp"

namespace platform {
namespace {

TEST(Base64, StrictModeRefusesWhatTheDefaultSkips) {
  struct Case {
    const char* text;
    const char* bytes;          // nullptr: invalid in both modes
    bool validWhenStrict = true;
  };
  const Case cases[] = {
      {"", ""},
      {"Zm9vYmFy", "foobar"},
      {"Zm8=", "fo"},
      {"Zg==", "f"},
      {" Zm9v\nYmFy ", "foobar", false},
      {"Zm9v\r\nYmFy", "foobar", false},
      {"Zm9v\tYmFy", "foobar", false},
      {"Zg= =", "f", false},
      {"Zm9v\vYmFy", nullptr},
      {"Zm9v-_", nullptr},
      {"Zg", nullptr},
      {"Zg=", nullptr},
      {"Zg===", nullptr},
      {"Zg==Zg==", nullptr},
      {"=Zg=", nullptr},
      {"Zm9v\xC3\xA9", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<Data> expected = c.bytes ? std::optional(Data::fromString(c.bytes)) : std::nullopt;
    EXPECT_EQ(base64Decoded(c.text), expected) << c.text;
    EXPECT_EQ(base64Decoded(c.text, Base64Decoding::strict), c.validWhenStrict ? expected : std::nullopt) << c.text;
  }
  const Data all = [] {
    Data bytes;
    for (int i = 0; i < 256; ++i) bytes.bytes().push_back(static_cast<std::uint8_t>(i));
    return bytes;
  }();
  EXPECT_EQ(base64Decoded(base64Encoded(all), Base64Decoding::strict), all);
}

}  // namespace
}  // namespace platform
