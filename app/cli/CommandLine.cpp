// The command's options and its help: enough to use the command without another page.

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>

#include "CommandOptions.hpp"
#include "OptionChecks.hpp"
#include "QVExtensions/StringExtensions.hpp"
#include "Ravelin/CSVImportConfig.hpp"
#include "platform/io/FileType.hpp"

namespace Pelmora_Zava::cli {
namespace {

constexpr std::size_t helpWidth = 80;

const char* const tokenHelp = R"(Tokens, in braces in --folder and --subfolder expressions:
  {Last Name}      any column, by its header: Nguyen
  {Filename}       the name: Nguyen Uma; in a sub-folder, its folder's name
  {Index}          the record's number in the datasource: 7; in a sub-folder,
                   the sub-folder's level from 1: 2
  {Datasource}     the datasource file's name without extension: roster
  {Parent Folder}  in a sub-folder, its folder's name: Nguyen Uma
  {Year}           2026
  {Month}          3 (no leading zeros)
  {Day}            7
  {Hour}           14 (0 to 23)
  {Minute}         5
  {Second}         9
  {Username}       the user's short name: uma
  {Full Username}  the user's full name: Uma Nguyen
  {Computer Name}  the computer's name: studio-1
  {NAME}           your own, from --token NAME=VALUE: {Client} is Acme with
                   --token Client=Acme
A token that has no value stands for nothing. Names that come out the same are
made once; names that come out empty are skipped.
)";

/// Lines no wider than `width` columns, broken at spaces; line breaks already there are kept.
std::string wrapped(const std::string& text, std::size_t width) {
  std::string result;
  std::size_t lineStart = 0;   // in `result`
  std::size_t lastSpace = std::string::npos;
  std::size_t columns = 0;
  for (char c : text) {
    if (c == '\n') {
      result += c;
      lineStart = result.size();
      lastSpace = std::string::npos;
      columns = 0;
      continue;
    }
    if (c == ' ') lastSpace = result.size();
    result += c;
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;  // UTF-8 continuation bytes take no column
    if (columns > width && lastSpace != std::string::npos) {
      result[lastSpace] = '\n';
      lineStart = lastSpace + 1;
      lastSpace = std::string::npos;
      columns = 0;
      for (std::size_t i = lineStart; i < result.size(); ++i)
        columns += (static_cast<unsigned char>(result[i]) & 0xC0) != 0x80;
    }
  }
  return result;
}

class Formatter : public CLI::Formatter {
 public:
  std::string make_option_desc(const CLI::Option* option) const override {
    return wrapped(CLI::Formatter::make_option_desc(option), helpWidth - get_column_width());
  }
};

/// A width for --pad-digits: a finite number from 0 to the widest pad, truncated when used.
CLI::Validator padWidth() {
  return CLI::Validator(
      [](std::string& input) -> std::string {
        double number = 0;
        const auto [end, error] = std::from_chars(input.data(), input.data() + input.size(), number);
        const bool whole = error == std::errc() && end == input.data() + input.size();
        if (whole && std::isfinite(number) && number >= 0 && number <= QVExtensions::maximumPadWidth) return {};
        return "takes a number from 0 to " + std::to_string(QVExtensions::maximumPadWidth) + ", not \"" + input + "\"";
      },
      "");
}

}  // namespace

const std::vector<std::string>& typeIdentifiers() {
  static const std::vector<std::string> identifiers = {"public.comma-separated-values-text",
                                                       "public.tab-separated-values-text", "public.plain-text",
                                                       "public.rtf"};
  return identifiers;
}

const Choices<Ravelin::Delimiter>& delimiterChoices() {
  static const Choices<Ravelin::Delimiter> choices = {{"tab", Ravelin::Delimiter::tab},
                                                      {"comma", Ravelin::Delimiter::comma},
                                                      {"semicolon", Ravelin::Delimiter::semiColon},
                                                      {"space", Ravelin::Delimiter::space}};
  return choices;
}

const Choices<Ravelin::RowDelimiter>& rowDelimiterChoices() {
  static const Choices<Ravelin::RowDelimiter> choices = {{"standard", Ravelin::RowDelimiter::standard},
                                                         {"standard-plus", Ravelin::RowDelimiter::standardPlus},
                                                         {"lf", Ravelin::RowDelimiter::newLine},
                                                         {"cr", Ravelin::RowDelimiter::carriageReturn},
                                                         {"crlf", Ravelin::RowDelimiter::mixed}};
  return choices;
}

std::optional<std::string> startingRowConflict(const Options& options) {
  if (!options.startingRow || options.header == Ravelin::Header::row) return std::nullopt;
  const std::string needs = "--starting-row goes with --header row";
  if (options.header == Ravelin::Header::none) return needs + ", not --header none";
  if (!options.datasource) return std::nullopt;
  const bool standardInput = options.readsStandardInput();
  const std::optional<std::string> type =
      standardInput ? options.typeIdentifier : platform::typeIdentifierForExtension(*options.datasource);
  // The type's own preset decides, as the import will apply it.
  Ravelin::CSVImportConfig config;
  config.updateForTypeIdentifier(type);
  if (config.headerStrategy == Ravelin::Header::row) return std::nullopt;
  if (standardInput) return needs + "; --type " + *type + " is read without a header row";
  return needs + "; a " + std::filesystem::path(*options.datasource).extension().string() +
         " file is read without a header row";
}

void defineOptions(CLI::App& app, Options& options) {
  app.formatter(std::make_shared<Formatter>());
  app.footer(tokenHelp);

  app.add_option("DATASOURCE", options.datasource,
                 "A delimited text (.csv, .tsv), plain text (.txt) or rich text (.rtf) file, whose extension sets "
                 "the header row and delimiter; - reads standard input. Without one, only the names of --add and "
                 "--add-series are made.")
      ->option_text("FILE");
  Choices<std::string> types;
  for (const std::string& identifier : typeIdentifiers()) types.emplace_back(identifier, identifier);
  addChoice(app, "--type", options.typeIdentifier, types,
            "With -: the type of standard input, one of " + choiceNames(types, ", ", " or ") +
                ". Comma- and tab-separated text has a header row on line 1; plain and rich text has none and is "
                "read with commas; rich text is reduced to its plain text (default: none, the import settings as "
                "given)")
      ->option_text("TYPE");
  app.add_option("--export", options.exportRoot,
                 "Create the folders below ROOT (default: none; the folder names are printed, one per line)")
      ->option_text("ROOT");
  app.add_flag("--dry-run", options.dryRun,
               "With --export: print the folder locations, create nothing; a name too long or a file where a "
               "folder must be fails as the export would");
  app.add_flag("--verbose", options.verbose, "Write the importer's log lines to standard error");

  const std::string importGroup = "Import settings";
  addChoice<Ravelin::Header>(app, "--header", options.header,
                             {{"none", Ravelin::Header::none}, {"row", Ravelin::Header::row}},
                             "row: the row --starting-row names holds the headers, which name the columns for "
                             "tokens and --name-column, and the records follow it; none: every line is a record "
                             "(default: row; none for .txt and .rtf)")
      ->group(importGroup);
  app.add_option("--starting-row", options.startingRow,
                 "With --header row: the header row, counted from 1 as the rows are read: a line ended by "
                 "--row-delimiter is a row, a blank one too, and a quoted field may hold line breaks; the rows above "
                 "it are skipped (default: 1)")
      ->check(atLeast(1))
      ->option_text("ROW")
      ->group(importGroup);
  addChoice(app, "--delimiter", options.delimiter, delimiterChoices(), "Field delimiter (default: comma; tab for .tsv)")
      ->group(importGroup);
  addChoice(app, "--row-delimiter", options.rowDelimiter, rowDelimiterChoices(),
            "Line endings: LF and CR LF, also CR, or only the one named (default: standard)")
      ->group(importGroup);
  app.add_option("--encoding", options.encoding,
                 "Text encoding: utf-8, utf-16, utf-16le, utf-32, ascii, or any other such as windows-1252 or "
                 "iso-8859-2 (default: the one the byte-order mark names, else utf-8)")
      ->option_text("NAME")
      ->group(importGroup);
  app.add_flag("--no-trim-whitespace", options.noTrimWhitespace,
               "Keep spaces and tabs around names, and around fields with comma or semicolon delimiters "
               "(default: they are trimmed)")
      ->group(importGroup);
  addChoice<Ravelin::TextQualifier>(app, "--qualifier", options.qualifier,
                                    {{"double", Ravelin::TextQualifier::doubleQuote},
                                     {"single", Ravelin::TextQualifier::singleQuote},
                                     {"none", Ravelin::TextQualifier::none}},
                                    "Quote character of escaped fields (default: double)")
      ->group(importGroup);

  const std::string exportGroup = "Export settings";
  const Choices<Ravelin::TextReplacement> replacements = {{"none", Ravelin::TextReplacement::none},
                                                          {"underscore", Ravelin::TextReplacement::underscore},
                                                          {"hyphen", Ravelin::TextReplacement::hyphen},
                                                          {"remove", Ravelin::TextReplacement::remove}};
  app.add_option("--trim-start", options.trimStart, "Characters cut from the start of each name (default: 0)")
      ->check(atLeast(0))
      ->option_text("COUNT")
      ->group(exportGroup);
  app.add_option("--trim-end", options.trimEnd, "Characters cut from the end of each name (default: 0)")
      ->check(atLeast(0))
      ->option_text("COUNT")
      ->group(exportGroup);
  addChoice<Ravelin::TextTransformation>(app, "--case", options.letterCase,
                                         {{"none", Ravelin::TextTransformation::none},
                                          {"capitalize", Ravelin::TextTransformation::capitalize},
                                          {"lowercase", Ravelin::TextTransformation::lowercase},
                                          {"uppercase", Ravelin::TextTransformation::uppercase}},
                                         "Letter case (default: none)")
      ->group(exportGroup);
  addChoice(app, "--whitespace", options.whitespace, replacements,
            "What becomes of each space, tab or line break (default: none, they stay)")
      ->group(exportGroup);
  addChoice(app, "--illegal", options.illegal, replacements,
            "What becomes of each : / \\ and . (default: underscore, so \"Mr. Brown\" becomes \"Mr_ Brown\"; with "
            "none, a / makes nested folders)")
      ->group(exportGroup);
  app.add_option_function<std::string>(
         "--pad-digits",
         [&options](const std::string& input) {
           float width = 0;
           std::from_chars(input.data(), input.data() + input.size(), width);
           options.padDigits = width;
         },
         "Pad each run of digits with 0 in front to this width, 0 to " +
             std::to_string(QVExtensions::maximumPadWidth) + ", truncated: 2.9 pads to 2 (default: 0, digits stay)")
      ->check(padWidth())
      ->option_text("WIDTH")
      ->group(exportGroup);
  app.add_option("--name-column", options.nameColumn,
                 "The header whose column supplies the names (default: the first header that is Name, or ends in "
                 "File Name, Filename or Image Name, else the first; without a header row, the fields of the record "
                 "joined by spaces)")
      ->option_text("HEADER")
      ->group(exportGroup);

  const std::string tokenGroup = "Token expressions";
  app.add_option("--folder", options.folder, "Folder-name expression (default: {Filename}, the name itself)")
      ->option_text("EXPR")
      ->group(tokenGroup);
  app.add_option("--subfolder", options.subfolders,
                 "Sub-folder expression; each one given makes one more sub-folder inside every folder (default: "
                 "none)")
      ->option_text("EXPR")
      ->take_all()
      ->allow_extra_args(false)
      ->group(tokenGroup);
  app.add_option("--token", options.tokens, "A token of your own, {NAME} in an expression (default: none)")
      ->option_text("NAME=VALUE")
      ->take_all()
      ->allow_extra_args(false)
      ->group(tokenGroup);

  const std::string namesGroup = "Hand-made names, which have no columns";
  app.add_option("--add", options.added, "Add a name; give it again for more (default: none)")
      ->option_text("NAME")
      ->take_all()
      ->allow_extra_args(false)
      ->group(namesGroup);
  app.add_option("--add-series", options.series, "Add COUNT numbered copies of a name: Take1, Take2, … (default: none)")
      ->option_text("NAME COUNT")
      ->take_all()
      ->allow_extra_args(false)
      ->group(namesGroup);
  app.add_flag("--number-first", options.numberFirst,
               "Put the number of a series before the name: 1Take, 2Take, … (default: after it)")
      ->group(namesGroup);
}

}  // namespace Pelmora_Zava::cli
