#include <gtest/gtest.h>
#include <unicode/regex.h>

#include "Pelmora_Zava/ControlCharacters.hpp"
#include "Pelmora_Zava/Token.hpp"
#include "Pelmora_Zava/TokenValueProvider.hpp"
#include "TestSupport.hpp"
#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava {
namespace {

using Context = std::map<std::string, std::string>;

TEST(TokenValueProvider, FolderNameSubstitution) {
  struct Case {
    const char* name;
    std::string expression;
    std::string filename;
    Context context;
    TokenValues custom;
    TokenValues file;
    std::string expected;
  };
  const Case cases[] = {
      {"default expression", "{Filename}", "Smith", {}, {}, {}, "Smith"},
      {"token without value", "x{Foo}y", "Smith", {}, {}, {}, "xy"},
      {"date without leading zeros", "{Year}-{Month}-{Day} {Hour}.{Minute}.{Second}", "A", {}, {}, {}, "2026-3-7 9.5.4"},
      {"machine and users", "{Computer Name}/{Username}/{Full Username}", "A", {}, {}, {}, "Studio/anna/Anna Berg"},
      {"not tokens", "{my-token}{}{a.b}", "A", {}, {}, {}, "{my-token}{}{a.b}"},
      {"every occurrence in one pass", "{Filename} {Filename}", "Smith", {}, {}, {}, "Smith Smith"},
      {"white space belongs to the name", "{ Filename}", "Smith", {}, {}, {}, ""},
      {"non-ASCII token name", "{Jahr\u00e9}", "A", {{"Jahr\u00e9", "x"}}, {}, {}, "x"},
      {"index comes from the context", "{Index}", "A", {{"Index", "12"}}, {}, {}, "12"},
      {"parent folder has no value of its own", "[{Parent Folder}]", "A", {}, {}, {}, "[]"},
      {"custom wins over computed", "{Year}", "A", {}, {{"Year", "1999"}}, {}, "1999"},
      {"context wins over source name", "{Filename}", "A", {{"Filename", "B"}}, {}, {}, "B"},
      {"custom wins over context", "{Filename}", "A", {{"Filename", "B"}}, {{"Filename", "C"}}, {}, "C"},
      {"computed wins over file", "{Username}", "A", {}, {}, {{"Username", "file"}}, "anna"},
      {"file value fills the gaps", "{Shoot}", "A", {}, {}, {{"Shoot", "S1"}}, "S1"},
      {"values are expanded again", "{Stamp}", "A", {}, {{"Stamp", "{Year}-x"}}, {}, "2026-x"},
      {"rescan of the whole text", "{{Filename}}", "A", {}, {}, {}, ""},
      {"a name that is a token stays", "{Filename}", "{Filename}", {}, {}, {}, "{Filename}"},
      {"values naming each other end", "{A}", "x", {}, {{"A", "{B}"}, {"B", "{A}"}}, {}, "{A}"},
      {"a name spelt another way", "{Pre\u0301nom}", "A", {}, {{"Pr\u00e9nom", "x"}}, {}, "x"},
      {"custom wins over context spelt another way", "{Pr\u00e9nom}", "A", {{"Pr\u00e9nom", "ctx"}},
       {{"Pre\u0301nom", "custom"}}, {}, "custom"},
      {"self-growing value ends", "{A}", "x", {}, {{"A", "a{A}"}}, {}, std::string(64, 'a') + "{A}"},
  };
  auto machine = testing::fixedMachine();
  platform::ScopedSystemInfo scope(machine);
  for (const Case& c : cases) {
    TokenValueProvider provider;
    provider.rootFolder = {c.expression, "{Filename}!"};
    provider.customTokens = c.custom;
    provider.fileTokens = c.file;
    auto names = provider.processRootFolder(c.filename, TokenContext(c.context));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], c.expected) << c.name;
    EXPECT_EQ(provider.processFirstRootFolder(c.filename, TokenContext(c.context)), c.expected) << c.name;
    // The value map and the substitution with it agree with the lazy path.
    auto values = provider.tokenValues(c.filename, TokenContext(c.context));
    EXPECT_EQ(provider.replaceTokens(c.expression, values), c.expected) << c.name;
  }
}

TEST(TokenValueProvider, SubstitutionStopsAtItsSizeLimit) {
  TokenValueProvider provider;
  // Each pass doubles the text; the passes stop once it is past the limit.
  TokenValues values{{"A", "{A}{A}x"}};
  std::string result = provider.replaceTokens("{A}", values);
  EXPECT_GT(result.size(), TokenValueProvider::substitutionSizeLimit);
  EXPECT_LT(result.size(), 4 * TokenValueProvider::substitutionSizeLimit);
  // A pass that would blow the text up by more than a megabyte is not made.
  TokenValues huge{{"A", std::string(40000, '{') + "{B}"}, {"B", std::string(200000, 'b')}};
  std::string guarded = provider.replaceTokens("{A}{A}{A}{A}{A}{A}", huge);
  EXPECT_LT(guarded.size(), 2u << 20);
}

TEST(TokenValueProvider, SubfoldersAndValueMaps) {
  platform::ScopedSystemInfo scope(testing::fixedMachine());
  TokenValueProvider provider;
  provider.subfolders = {"{Parent Folder} 1", "{Index}-{Filename}", "{Index}"};
  provider.customTokens = {{"Parent Folder", "custom"}, {"Index", "99"}};
  EXPECT_EQ(provider.processSubfolders("Smith", TokenContext(Context{{"Index", "7"}})),
            (std::vector<std::string>{"Smith 1", "2-Smith", "3"}));
  EXPECT_TRUE(TokenValueProvider().processSubfolders("Smith", {}).empty());

  auto values = TokenValueProvider::tokenValues(std::nullopt, TokenContext(Context{{"Shoot", "S"}}), {{"Day", "D"}},
                                                {{"Filename", "f"}, {"Extra", "e"}});
  const TokenValues expected = {{"Year", "2026"},  {"Month", "3"},           {"Day", "D"},
                                {"Hour", "9"},     {"Minute", "5"},          {"Second", "4"},
                                {"Computer Name", "Studio"}, {"Username", "anna"}, {"Full Username", "Anna Berg"},
                                {"Shoot", "S"},    {"Extra", "e"}};
  EXPECT_EQ(values, expected);

  platform::ScopedSystemInfo bare(std::make_shared<platform::FixedSystemInfo>(std::nullopt, std::nullopt, "u", "U"));
  auto sparse = TokenValueProvider::tokenValues("n", {}, {}, {{"Year", "y"}, {"Computer Name", "c"}});
  EXPECT_EQ(sparse, (TokenValues{{"Filename", "n"}, {"Username", "u"}, {"Full Username", "U"}}));
  TokenValueProvider fileOnly;
  fileOnly.fileTokens = {{"Year", "y"}, {"Computer Name", "c"}};
  EXPECT_EQ(fileOnly.processFirstRootFolder("n", {}), "n");
  fileOnly.rootFolder = {"{Year}{Computer Name}"};
  EXPECT_EQ(fileOnly.processFirstRootFolder("n", {}), "");
}

// The hand-written token finder must agree with the regular-expression engine's
// reading of \{([\w\s]+)\} for every scalar inside the braces.
TEST(TokenPattern, AgreesWithRegexEngineOnEveryScalar) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexPattern> regex(icu::RegexPattern::compile(u"\\{([\\w\\s]+)\\}", 0, status));
  ASSERT_TRUE(U_SUCCESS(status));
  std::unique_ptr<icu::RegexMatcher> matcher(regex->matcher(status));
  TokenPattern pattern;
  int mismatches = 0;
  for (char32_t c = 0; c < 0x110000; ++c) {
    if (!platform::isScalar(c) || c == '}') continue;
    std::string text = "{a";
    platform::appendUTF8(text, c);
    text += "}";
    matcher->reset(icu::UnicodeString::fromUTF8(text));
    bool expected = matcher->find();
    bool actual = pattern.firstMatch(text).has_value();
    if (expected != actual && ++mismatches < 10) ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(c);
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(TokenPattern, LeftmostMatchAndItsParts) {
  struct Case {
    std::string text;
    std::optional<std::pair<std::size_t, std::string>> expected;  // location, name
  };
  const Case cases[] = {
      {"plain", std::nullopt},
      {"{}", std::nullopt},
      {"{{Year}}", std::pair<std::size_t, std::string>{1, "Year"}},
      {"a{b-c}{Day}", std::pair<std::size_t, std::string>{6, "Day"}},
      {"\u00e9{Full Username}", std::pair<std::size_t, std::string>{2, "Full Username"}},
      {"{open", std::nullopt},
      {"{a\n b}", std::pair<std::size_t, std::string>{0, "a\n b"}},
  };
  for (const Case& c : cases) {
    auto match = TokenPattern().firstMatch(c.text);
    ASSERT_EQ(match.has_value(), c.expected.has_value()) << c.text;
    if (!match) continue;
    EXPECT_EQ(match->location, c.expected->first) << c.text;
    EXPECT_EQ(match->name, c.expected->second) << c.text;
    EXPECT_EQ(match->text, "{" + c.expected->second + "}") << c.text;
  }
}

TEST(Token, TextConversions) {
  using Pieces = std::vector<Token::Piece>;
  struct Case {
    std::string text;
    Pieces pieces;
    std::string joined;
  };
  const Case cases[] = {
      {"ab{Year}cd", {std::string("ab"), Token("Year"), std::string("cd")}, "ab{Year}cd"},
      {"", {}, ""},
      {"{Day}{Month}", {Token("Day"), Token("Month")}, "{Day}{Month}"},
      {"a{open", {std::string("a"), std::string("open")}, "aopen"},
      {"close}b", {Token("close"), std::string("b")}, "{close}b"},
      {"{}x{}", {std::string("x")}, "x"},
      {"a{\u0301b}", {Token("a{\u0301b")}, "{a{\u0301b}"},  // a brace with an accent is another character
      {"x\u0600{Day}", {Token("x\u0600{Day")}, "{x\u0600{Day}"},  // so is a brace after a prepended mark
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Token::tokenize(c.text), c.pieces) << c.text;
    EXPECT_EQ(Token::joinedString(c.pieces, ""), c.joined) << c.text;
  }
  EXPECT_EQ(Token::joinedString({std::string("a"), Token("B")}, ", "), "a, {B}");
  EXPECT_EQ(Token::string(Token::Piece(Token("Day"))), "{Day}");
  EXPECT_EQ(Token::representedObject("{Day}"), Token::Piece(Token("Day")));
  EXPECT_EQ(Token::representedObject("Day"), Token::Piece(std::string("Day")));
  EXPECT_EQ(Token::representedObject("{}"), Token::Piece(Token("")));
  EXPECT_EQ(Token::representedObject("{"), Token::Piece(std::string("{")));
  EXPECT_EQ(Token::representedObject("{Day}\u0301"), Token::Piece(std::string("{Day}\u0301")));
  EXPECT_EQ(Token("Year").description(), "{Year}");
  EXPECT_EQ(std::hash<Token>()(Token("Year")), std::hash<Token>()(Token(std::string("Year"))));
  EXPECT_EQ(Token("Pr\u00e9nom"), Token("Pre\u0301nom"));
  EXPECT_EQ(std::hash<Token>()(Token("Pr\u00e9nom")), std::hash<Token>()(Token("Pre\u0301nom")));
  EXPECT_FALSE(Token("Pr\u00e9nom") == Token("Prenom"));
}

TEST(ControlCharacters, Pictures) {
  struct Case {
    std::string text;
    bool mapsLineBreaks;
    std::u32string expected;
  };
  const Case cases[] = {
      {"a b\n\r\t", true, U"a\u2420b\u240A\u240D\u2409"},
      {"a b\n\r\t", false, U"a b\n\r\u2409"},
      {std::string("\0\x1f\x7f", 3), false, U"\u2400\u241F\u2421"},
      {std::string("\0\x7f!", 3), true, U"\u2400\u2421!"},
      {"\u00e9\u2028", true, U"\u00e9\u2028"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(visualizingControlCharacters(c.text, c.mapsLineBreaks), c.expected) << c.text << c.mapsLineBreaks;
}

}  // namespace
}  // namespace Pelmora_Zava
