#include <gtest/gtest.h>

#include "platform/text/CharacterSet.hpp"
#include "platform/text/TextEncoding.hpp"

namespace platform {
namespace {

TEST(TextEncoding, NamesResolveToKindsOrConverters) {
  struct Case {
    const char* name;
    std::optional<TextEncoding::Kind> kind;
  };
  const Case cases[] = {
      {"utf-8", TextEncoding::Kind::utf8},        {"UTF8", TextEncoding::Kind::utf8},
      {"utf-16", TextEncoding::Kind::utf16},      {"utf-16le", TextEncoding::Kind::utf16LittleEndian},
      {"UTF-32BE", TextEncoding::Kind::utf32BigEndian}, {"ascii", TextEncoding::Kind::ascii},
      {"latin1", TextEncoding::Kind::other},      {"no-such-encoding", std::nullopt},
  };
  for (const Case& c : cases) {
    auto encoding = TextEncoding::named(c.name);
    EXPECT_EQ(encoding.has_value(), c.kind.has_value()) << c.name;
    if (encoding && c.kind) {
      EXPECT_EQ(encoding->kind(), *c.kind) << c.name;
    }
  }
  EXPECT_EQ(TextEncoding::utf8().description(), "Unicode (UTF-8)");
  EXPECT_EQ(TextEncoding::named(TextEncoding::named("latin1")->name()), TextEncoding::named("latin1"));
}

TEST(CharacterSet, MembershipAndEquality) {
  const CharacterSet& blanks = CharacterSet::whitespaces();
  for (char32_t c : {U' ', U'\t', char32_t{0xA0}, char32_t{0x2003}, char32_t{0x3000}}) EXPECT_TRUE(blanks.contains(c));
  for (char32_t c : {U'\n', U'\r', U'a', char32_t{0x2028}}) EXPECT_FALSE(blanks.contains(c));
  EXPECT_TRUE(CharacterSet::whitespacesAndNewlines().contains(0x2028));
  EXPECT_EQ((CharacterSet{U'a', U'b'}), CharacterSet::fromScalars(U"ba"));
  EXPECT_TRUE(CharacterSet().empty());
  EXPECT_FALSE(CharacterSet{0x1F600}.empty());
}

}  // namespace
}  // namespace platform
