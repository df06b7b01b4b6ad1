// What the command says about a braced text that the token pattern leaves as text while a
// header of the datasource is called so: which cure reaches the column, and that the cure,
// typed into a shell as printed, gives the names.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandHarness.hpp"

namespace {

using namespace Pelmora_Zava::testing;

const std::string noToken = "is no token: a token name holds letters, digits, _ and spaces; ";

std::string line(const std::string& text) { return "pelmora-zava: " + text + "\n"; }

/// The cure for a text in the folder expression; `cure` is typed as printed in the case that runs it.
std::string nameColumnCure(const std::string& braced, const std::string& cure) {
  return line(braced + " " + noToken + "give " + cure + " and write {Filename} in its place");
}

TEST_F(Command, NamesTheCureForAHeaderThatCannotBeAToken) {
  write("roster.csv", "First Name,Last Name,E-mail,Student #\nAda,Lovelace,ada@x.org,7\nAlan,Turing,alan@y.org,8\n");
  write("renamed.csv", "First Name,Last Name,Email\nAda,Lovelace,ada@x.org\n");
  write("fees.csv", "Name,Kid's $\nAda,12\n");
  write("codes.csv", "Name,#code, Room- \nAda,A1,R2\n");
  // The header composed, the expression decomposed: the same text to the other token warnings too.
  write("cafe.csv", "Name,Caf\xC3\xA9-Nr\nAda,3\n");
  write("blank.csv", "Name,\nAda,x\n");

  const std::string email = R"(--name-column "E-mail")";
  const std::string fee = R"(--name-column 'Kid'\''s $')";
  const std::string code = R"(--name-column "#code")";
  const std::string room = R"(--name-column " Room- ")";
  const std::string cafe = "--name-column \"Caf\xC3\xA9-Nr\"";
  struct Case {
    std::string typed;
    int status;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      // A header with a hyphen stays text; the name column reaches it through {Filename}.
      {R"(roster.csv --folder "{Last Name} {E-mail}")", 0, "Lovelace {E-mail}\nTuring {E-mail}\n",
       nameColumnCure("{E-mail}", email)},
      {R"(roster.csv --folder "{Last Name} {Filename}" )" + email, 0, "Lovelace ada@x_org\nTuring alan@y_org\n", ""},
      // White space at the ends of the text still names the header; the line quotes the text as written.
      {R"(roster.csv --folder "{Last Name} { E-mail }")", 0, "Lovelace { E-mail }\nTuring { E-mail }\n",
       nameColumnCure("{ E-mail }", email)},
      // A text that differs from the header in letter case alone names it too.
      {R"(roster.csv --folder "{Last Name} {e-mail}")", 0, "Lovelace {e-mail}\nTuring {e-mail}\n",
       nameColumnCure("{e-mail}", email)},
      {R"(roster.csv --folder "{Last Name} {student #}")", 0, "Lovelace {student #}\nTuring {student #}\n",
       nameColumnCure("{student #}", R"(--name-column "Student #")")},
      // One column only can be the name column: the first text gets the cure, the others are told so.
      {R"(roster.csv --folder "{E-mail} {Student #} {E-mail} { E-mail}")", 0,
       "{E-mail} {Student #} {E-mail} { E-mail}\n",
       nameColumnCure("{E-mail}", email) +
           line("{Student #} is no token and cannot be used: only one column can be the name column") +
           line("{ E-mail} is no token: write {Filename} in its place too") +
           line("Dropped 1 record whose folder name another record already has")},
      {R"(roster.csv --folder "{Filename} {Filename}" )" + email, 0, "ada@x_org ada@x_org\nalan@y_org alan@y_org\n",
       ""},
      // A {Filename} already there names the present name column, which the cure replaces.
      {R"(roster.csv --folder "{Filename} {E-mail}")", 0, "Ada {E-mail}\nAlan {E-mail}\n",
       line("{E-mail} " + noToken + "give " + email +
            " and write {Filename} in its place, and {First Name} where {Filename} stands now")},
      {R"(roster.csv --folder "{First Name} {Filename}" )" + email, 0, "Ada ada@x_org\nAlan alan@y_org\n", ""},
      {R"(roster.csv --name-column "Student #" --folder "{Filename} {E-mail}")", 0, "7 {E-mail}\n8 {E-mail}\n",
       line("{E-mail} " + noToken + "it cannot be used while {Filename} stands for \"Student #\"")},
      // In a sub-folder {Filename} is the folder's name: only a header that is a token name will do.
      {R"(roster.csv --folder "{Last Name}" --subfolder "{E-mail}" --subfolder "x {E-mail}" --export out --dry-run)",
       0, "out/Lovelace/{E-mail}\nout/Lovelace/x {E-mail}\nout/Turing/{E-mail}\nout/Turing/x {E-mail}\n",
       line("{E-mail} " + noToken +
            "in a sub-folder {Filename} is the folder's name, so rename the header \"E-mail\" to such a name")},
      {R"(renamed.csv --folder "{Last Name}" --subfolder "{Email}" --export out --dry-run)", 0,
       "out/Lovelace/ada@x_org\n", ""},
      {R"(roster.csv --folder "{E-mail}" --subfolder "{E-mail}" --export out --dry-run)", 0,
       "out/{E-mail}/{E-mail}\n",
       nameColumnCure("{E-mail}", email) +
           line("{E-mail} " + noToken +
                "in a sub-folder {Filename} is the folder's name, so rename the header \"E-mail\" to such a name") +
           line("Dropped 1 record whose folder name another record already has")},
      // The header goes to the shell as it is, whatever it holds.
      {R"(fees.csv --folder "{Name} {Kid's $}")", 0, "Ada {Kid's $}\n", nameColumnCure("{Kid's $}", fee)},
      {R"(fees.csv --folder "{Name} {Filename}" )" + fee, 0, "Ada 12\n", ""},
      {R"(codes.csv --folder "{#code}")", 0, "{#code}\n", nameColumnCure("{#code}", code)},
      {R"(codes.csv --folder "{Filename}" )" + code, 0, "A1\n", ""},
      {R"(codes.csv --folder "{Room-}" --no-trim-whitespace)", 0, "{Room-}\n", nameColumnCure("{Room-}", room)},
      {R"(codes.csv --folder "{Filename}" --no-trim-whitespace )" + room, 0, "R2\n", ""},
      {"cafe.csv --folder \"{Name} {Cafe\xCC\x81-Nr}\"", 0, "Ada {Cafe\xCC\x81-Nr}\n",
       nameColumnCure("{Cafe\xCC\x81-Nr}", cafe)},
      {R"(cafe.csv --folder "{Name} {Filename}" )" + cafe, 0, "Ada 3\n", ""},
      // None: no header is called so, no datasource, a brace inside, an empty header.
      {R"(roster.csv --folder "{Last Name} {First-Name} {#code}")", 0,
       "Lovelace {First-Name} {#code}\nTuring {First-Name} {#code}\n", ""},
      {R"(--add Ada --folder "{E-mail}")", 0, "{E-mail}\n", ""},
      {R"(roster.csv --folder "{Last Name}{E-mail{}")", 0, "Lovelace{E-mail{}\nTuring{E-mail{}\n",
       line("{E-mail has no closing }")},
      {R"(blank.csv --folder "{Name}{}")", 0, "Ada{}\n", ""},
  };
  for (const Case& c : cases) {
    const Outcome outcome = runTyped(c.typed);
    EXPECT_EQ(outcome.status, c.status) << c.typed;
    EXPECT_EQ(outcome.out, c.out) << c.typed;
    EXPECT_EQ(outcome.err, c.err) << c.typed;
  }
}

}  // namespace
