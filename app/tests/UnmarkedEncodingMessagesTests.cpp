// What the command says when a datasource's bytes are in another encoding than the one read,
// and when a folder name would hold a NUL or a CR that ends a line: the cure it names is
// run as typed, with the names it then gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;
using namespace std::string_literals;

/// `text` in UTF-16 or UTF-32 (`width` 2 or 4 bytes), without a byte-order mark.
std::string wide(std::u32string_view text, int width, bool littleEndian) {
  std::string bytes;
  for (const char32_t scalar : text)
    for (int i = 0; i < width; ++i) {
      const int shift = 8 * (littleEndian ? i : width - 1 - i);
      bytes += static_cast<char>((scalar >> shift) & 0xFF);
    }
  return bytes;
}

std::string looksLike(const std::string& width, const std::string& order) {
  return "pelmora-zava: the datasource looks like UTF-" + width + " " + order +
         "-endian without a byte-order mark; try --encoding utf-" + width + order.substr(0, 1) + "e\n";
}

std::string loneCR(int line) {
  return "pelmora-zava: the datasource would make a folder name holding the CR that ends line " + std::to_string(line) +
         "; its lines may end in CR alone; try --row-delimiter standard-plus\n";
}

TEST_F(Command, NamesTheEncodingAndTheCharactersThatNoNameCanHold) {
  const std::u32string grades = U"Name,Grade\nAl,4\nBo,5\n";
  const std::u32string accented = U"Name,Grade\nZo\u00EB,4\nBo,5\n";
  write("le.csv", wide(grades, 2, true));
  write("le-accent.csv", wide(accented, 2, true));
  write("be.csv", wide(grades, 2, false));
  write("le32.csv", wide(U"Name\nAl\nBo\n", 4, true));
  write("lines.txt", wide(U"Ana\nBo\n", 2, true));
  write("be32.tsv", wide(U"Name\nAl\nBo\n", 4, false));
  write("nul.csv", "Name\na\0b\n"s);
  write("nul-note.csv", "Name,Note\nAl,x\0y\n"s);
  write("lone.txt", "Al\rBo\rCy\r");
  write("lone-header.csv", "Name\nAl\rBo\rCy\n");
  write("quoted-cr.csv", "Name\n\"A\rl\"\nBo\n");
  write("marked.csv", "\xEF\xBB\xBFName\r\nM\xC3\xBCller\xE9\n");
  write("umlaut.csv", "Name\nM\xC3\xBCller\n");
  write("odd.csv", "Name\nabc\n");

  const std::string fieldCount =
      "pelmora-zava: The number of fields is not constant between rows.\n"
      "Make sure the CSV file has always the same amount of fields per row (including the header row).\n";
  const std::string notUTF8 =
      "pelmora-zava: Some input bytes couldn't be decoded as UTF8 characters\nMake sure the CSV only contains UTF8 "
      "characters or select a different encoding.\n";
  const std::string notUTF32 =
      "pelmora-zava: Some input bytes couldn't be decoded as multibyte UTF32\n"
      "Make sure the CSV only contains UTF32 characters.\n";
  const std::string nul = "pelmora-zava: line 2 holds a NUL character, which no folder name can hold\n";
  const Case cases[] = {
      // UTF-16 little-endian read as UTF-8: no line or delimiter is to blame, and no single-byte encoding cures.
      {{"le.csv"}, 1, "", fieldCount + looksLike("16", "little")},
      {{"le-accent.csv"}, 1, "", notUTF8 + looksLike("16", "little")},
      {{"le-accent.csv", "--encoding", "windows-1252"}, 1, "", fieldCount + looksLike("16", "little")},
      {{"le.csv", "--encoding", "utf-16le"}, 0, "Al\nBo\n", ""},
      {{"le-accent.csv", "--encoding", "utf-16le"}, 0, "Bo\nZo\u00EB\n", ""},
      {{"-", "--type", "public.comma-separated-values-text"}, 1, "", fieldCount + looksLike("16", "little"),
       wide(grades, 2, true)},
      // utf-16 without a mark reads big-endian, which holds: the letters it makes show the order,
      // and every name made of them would be garbled, whatever else makes a folder.
      {{"le.csv", "--encoding", "utf-16"}, 1, "", looksLike("16", "little")},
      {{"le.csv", "--encoding", "utf-16", "--add", "Retakes", "--export", "out"}, 1, "", looksLike("16", "little")},
      {{"lines.txt", "--encoding", "utf-16", "--export", "out"}, 1, "", looksLike("16", "little")},
      {{"lines.txt", "--encoding", "utf-16le", "--export", "out", "--dry-run"}, 0, "out/Ana\nout/Bo\n", ""},
      // Big-endian names would hold NULs, whatever --illegal says.
      {{"be.csv"}, 1, "", looksLike("16", "big")},
      {{"be.csv", "--illegal", "remove", "--export", "out"}, 1, "", looksLike("16", "big")},
      {{"be.csv", "--encoding", "utf-16be"}, 0, "Al\nBo\n", ""},
      {{"le32.csv"}, 1, "", looksLike("32", "little")},
      {{"le32.csv", "--encoding", "utf-32"}, 1, "", notUTF32 + looksLike("32", "little")},
      {{"le32.csv", "--encoding", "utf-32le"}, 0, "Al\nBo\n", ""},
      {{"be32.tsv"}, 1, "", looksLike("32", "big")},
      {{"be32.tsv", "--encoding", "utf-32be"}, 0, "Al\nBo\n", ""},
      // A NUL in UTF-8 text: its line, before anything is printed or made; a NUL in another column harms no name.
      {{"nul.csv"}, 1, "", nul},
      {{"nul.csv", "--illegal", "underscore", "--export", "out"}, 1, "", nul},
      {{"nul-note.csv"}, 0, "Al\n", ""},
      // A lone CR that the rows do not end, in a name: the first line it ends.
      {{"lone.txt"}, 1, "", loneCR(1)},
      {{"lone.txt", "--row-delimiter", "standard-plus"}, 0, "Al\nBo\nCy\n", ""},
      {{"lone-header.csv", "--export", "out"}, 1, "", loneCR(2)},
      {{"lone-header.csv", "--row-delimiter", "standard-plus", "--export", "out", "--dry-run"}, 0,
       "out/Al\nout/Bo\nout/Cy\n", ""},
      {{"lone-header.csv", "--header", "none"}, 1, "", loneCR(2)},
      {{"lone-header.csv", "--header", "none", "--row-delimiter", "standard-plus"}, 0, "Al\nBo\nCy\nName\n", ""},
      {{"--folder", "{Name}", "--subfolder", "{Name}", "-", "--type", "public.plain-text", "--header", "row"}, 1, "",
       loneCR(3), "Name\nAda\nBo\rCy\r"},
      // Quoted, a CR is data and ends no line.
      {{"quoted-cr.csv"}, 0, "A\rl\nBo\n", ""},
      // A mark fixes the encoding: naming another only leads back to the mark.
      {{"marked.csv"}, 1, "",
       notUTF8 + "pelmora-zava: line 2, byte 0xE9 is not UTF-8; the datasource starts with a UTF-8 byte-order mark, so "
                 "no --encoding reads it: save it again as UTF-8\n"},
      // Well-formed UTF-8 read as ASCII is UTF-8.
      {{"umlaut.csv", "--encoding", "ascii"}, 1, "",
       "pelmora-zava: The decoded byte is not an ASCII character.\nMake sure the CSV only contains ASCII characters or "
       "select a different encoding (e.g. UTF8).\npelmora-zava: line 2, byte 0xC3 is not ASCII; try --encoding "
       "utf-8\n"},
      {{"umlaut.csv", "--encoding", "utf-8"}, 0, "M\u00FCller\n", ""},
      {{"odd.csv", "--encoding", "utf-16"}, 1, "",
       "pelmora-zava: The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).\n"
       "Check the last UTF16 character of your input data/file.\npelmora-zava: try --encoding utf-8\n"},
      {{"odd.csv", "--encoding", "utf-8"}, 0, "abc\n", ""},
  };
  expectAnswers(cases);
  EXPECT_FALSE(fs::exists(folder_ / "out"));
  // The line of a name's CR or NUL comes from the one decode of the report.
  for (const std::string file : {"lone-header.csv", "nul.csv"}) {
    const std::string log = run({file, "--verbose"}).err;
    const std::string decoding = "Decoding the datasource's text for the command's report";
    std::size_t decodes = 0;
    for (std::size_t at = log.find(decoding); at != std::string::npos; at = log.find(decoding, at + 1)) ++decodes;
    EXPECT_EQ(decodes, 1U) << file;
  }
}

}  // namespace
