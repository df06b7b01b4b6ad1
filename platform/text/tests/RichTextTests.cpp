#include <gtest/gtest.h>

#include "platform/core/Error.hpp"
#include "platform/text/RichText.hpp"

namespace platform {
namespace {

std::string plain(std::string_view rtf) { return RichText::plainText(Data::fromString(rtf)); }

TEST(RichText, PlainTextOfDocuments) {
  struct Case {
    const char* name;
    std::string_view rtf;
    std::string_view expected;
  };
  const Case cases[] = {
      {"paragraphs and lines", "{\\rtf1\\ansi Smith\\par Jones\\line Lee}", "Smith\nJones\nLee"},
      {"behind a UTF-8 byte-order mark", "\xEF\xBB\xBF{\\rtf1\\ansi Smith\\par Jones}", "Smith\nJones"},
      {"tab", "{\\rtf1 a\\tab b}", "a\tb"},
      {"control word delimiter space is eaten, raw newlines ignored", "{\\rtf1\\b bold\\b0\r\n text}", "bold text"},
      {"escaped symbols", "{\\rtf1 \\{x\\}\\\\y}", "{x}\\y"},
      {"hex bytes in windows-1252", "{\\rtf1\\ansi Caf\\'e9 \\'80}", "Caf\u00e9 \u20ac"},
      {"hex bytes in another ansi code page", "{\\rtf1\\ansi\\ansicpg1251 \\'c8\\'e2}", "\u0418\u0432"},
      {"multibyte code page", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}", "\u3042"},
      {"mac roman", "{\\rtf1\\mac \\'8e}", "\u00e9"},
      {"unicode with one fallback", "{\\rtf1 \\u233?t\\u233 ?}", "\u00e9t\u00e9"},
      {"unicode negative parameter", "{\\rtf1 \\u-3913?}", "\uf0b7"},
      {"uc0 keeps following text", "{\\rtf1\\uc0 \\u8364 5}", "\u20ac5"},
      {"uc2 drops two fallbacks incl. hex", "{\\rtf1\\uc2 \\u8364\\'80\\'80x}", "\u20acx"},
      {"uc is scoped to its group", "{\\rtf1 {\\uc0 \\u8364 A}\\u8364 BC}", "\u20acA\u20acC"},
      {"surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", "\U0001F600"},
      {"skipped tables and info",
       "{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}{\\colortbl;\\red0\\green0\\blue0;}"
       "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}Body}",
       "Body"},
      {"optional destinations skipped", "{\\rtf1 a{\\*\\generator Writer;}b{\\*\\unknown x}c}", "abc"},
      {"picture, object, header and footer skipped",
       "{\\rtf1 {\\pict\\pngblip 89504e47}{\\object x}{\\header H}{\\footer F}{\\headerl L}text}", "text"},
      {"field result kept, instruction skipped",
       "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt Link}}.}", "Link."},
      {"binary data skipped", "{\\rtf1 a\\bin3 {}\\b}", "ab"},
      {"typographic words", "{\\rtf1 \\ldblquote x\\rdblquote\\emdash\\~}", "\u201cx\u201d\u2014\u00a0"},
      {"escaped newline is a paragraph", "{\\rtf1 a\\\nb}", "a\nb"},
      {"unbalanced groups end quietly", "{\\rtf1 a}}}b{", "ab"},
      {"truncated hex and word", "{\\rtf1 a\\'4", "a"},
      {"huge parameter", "{\\rtf1 \\uc99999999999999999999 \\u65 xy}", "A"},
  };
  for (const Case& c : cases) EXPECT_EQ(plain(c.rtf), c.expected) << c.name;
}

TEST(RichText, NonRichTextIsUTF8OrAnError) {
  EXPECT_EQ(plain("Name\nSm\u00f8rrebr\u00f8d\n"), "Name\nSm\u00f8rrebr\u00f8d\n");
  EXPECT_EQ(plain(""), "");
  EXPECT_EQ(plain("\xEF\xBB\xBFName\n"), "\xEF\xBB\xBFName\n");  // the reader drops the mark
  try {
    plain("caf\xe9");
    FAIL() << "expected an error";
  } catch (const Error& error) {
    EXPECT_EQ(error.domain(), RichText::errorDomain);
    EXPECT_EQ(error.code(), 1);
  }
}

}  // namespace
}  // namespace platform
