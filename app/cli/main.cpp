// pelmora-zava: the main job from a shell. Each option sets what a settings form
// would set or calls what the main window would call, in the order a person at
// the window would: tokens, import, import settings, export settings, hand-made
// names, then the names are printed or the folders exported.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ErrorReport.hpp"
#include "OptionChecks.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Ravelin/Options.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Log.hpp"
#include "platform/text/TextEncoding.hpp"

namespace {

using namespace Pelmora_Zava;
using cli::addChoice;
using cli::atLeast;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr std::int64_t maximumSeriesCount = 1'000'000;

struct Options {
  std::optional<std::string> datasource;
  std::optional<std::string> typeIdentifier;
  std::optional<std::string> exportRoot;
  bool dryRun = false;
  bool verbose = false;

  // Import settings.
  std::optional<Ravelin::Header> header;
  std::optional<std::int64_t> startingRow;
  std::optional<Ravelin::Delimiter> delimiter;
  std::optional<Ravelin::RowDelimiter> rowDelimiter;
  std::optional<std::string> encoding;
  bool noTrimWhitespace = false;
  std::optional<Ravelin::TextQualifier> qualifier;

  // Export settings.
  std::optional<Ravelin::TextReplacement> whitespace;
  std::optional<Ravelin::TextReplacement> illegal;
  std::optional<Ravelin::TextTransformation> letterCase;
  std::optional<float> padDigits;
  std::optional<std::int64_t> trimStart;
  std::optional<std::int64_t> trimEnd;
  std::optional<std::string> nameColumn;

  // Tokens and hand-made names.
  std::string folder = "{Filename}";
  std::vector<std::string> subfolders;
  std::vector<std::string> tokens;
  std::vector<std::string> added;
  std::vector<std::pair<std::string, std::int64_t>> series;
  bool numberFirst = false;

  bool hasImportOptions() const {
    return header || startingRow || delimiter || rowDelimiter || encoding || noTrimWhitespace || qualifier;
  }
};

std::string readStandardInput() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

void applyTokens(AsyncImporter& importer, const Options& options, const std::map<std::string, std::string>& custom) {
  TokenValueProvider provider = importer.tokenProvider();
  provider.rootFolder = {options.folder};
  provider.subfolders = options.subfolders;
  for (const auto& [name, value] : custom) provider.customTokens[name] = value;
  importer.setTokenProvider(std::move(provider));
}

/// Imports the datasource. A reader error waits when import options follow, which may decode it.
void importDatasource(AsyncImporter& importer, const Options& options) {
  if (!options.datasource) return;
  try {
    if (*options.datasource == "-")
      importer.importString(readStandardInput(), options.typeIdentifier);
    else
      importer.importURL(std::filesystem::path(*options.datasource));
  } catch (const RecordCSV::CSVReaderError&) {
    if (!options.hasImportOptions()) throw;
  }
}

void applyImportOptions(AsyncImporter& importer, const Options& options, const platform::TextEncoding* encoding) {
  if (!options.hasImportOptions()) return;
  importer.updateImportConfig([&](Ravelin::CSVImportConfig& config) {
    if (options.header) config.headerStrategy = *options.header;
    if (options.startingRow) config.startingRow = *options.startingRow;
    if (options.delimiter) config.fieldDelimiter = *options.delimiter;
    if (options.rowDelimiter) config.rowDelimiter = *options.rowDelimiter;
    if (encoding) config.encoding = *encoding;
    if (options.noTrimWhitespace) config.trimWhitespace = false;
    if (options.qualifier) config.textQualifier = *options.qualifier;
  });
}

void applyExportOptions(AsyncImporter& importer, const Options& options) {
  const bool any = options.whitespace || options.illegal || options.letterCase || options.padDigits ||
                   options.trimStart || options.trimEnd || options.nameColumn;
  if (!any) return;
  importer.updateExportConfig([&](Ravelin::CSVExportConfig& config) {
    if (options.whitespace) config.replaceWhiteSpace = *options.whitespace;
    if (options.illegal) config.replaceIllegalChars = *options.illegal;
    if (options.letterCase) config.filenameTransformation = *options.letterCase;
    if (options.padDigits) config.padDigits = *options.padDigits;
    if (options.trimStart) config.trimStart = *options.trimStart;
    if (options.trimEnd) config.trimEnd = *options.trimEnd;
    if (options.nameColumn) config.selectedHeader = *options.nameColumn;
  });
}

void warnOfMissingNameColumn(const AsyncImporter& importer, const Options& options) {
  if (!options.nameColumn || !options.datasource || !importer.fileView()) return;
  if (importer.fileView()->lookup().find(*options.nameColumn)) return;
  std::cerr << "pelmora-zava: the datasource has no header \"" << *options.nameColumn
            << "\"; each name is its whole record\n";
}

// Records whose names clean to nothing all share the one empty name in the combined list,
// so they are counted in the lists they came from.
void reportSkippedRecords(const AsyncImporter& importer) {
  std::size_t skipped = 0;
  for (const auto* list : {&importer.datasourceFilenames(), &importer.manualFilenames()})
    for (const auto& record : *list) skipped += !AsyncImporter::hasFolderName(*record);
  if (skipped == 0) return;
  std::cerr << "pelmora-zava: Skipped " << skipped << (skipped == 1 ? " record" : " records")
            << " whose folder name is empty\n";
}

// The names go to the stream in large blocks: a stream call per name costs more than its bytes.
void printNames(const AsyncImporter::FilenameList& records) {
  constexpr std::size_t blockSize = std::size_t{1} << 16;
  std::string block;
  block.reserve(blockSize);
  for (const auto& record : records) {
    block += record->processedName();
    block += '\n';
    if (block.size() >= blockSize) {
      std::cout.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  std::cout.write(block.data(), static_cast<std::streamsize>(block.size()));
}

int run(const Options& options, const platform::TextEncoding* encoding,
        const std::map<std::string, std::string>& custom) {
  AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
  applyTokens(importer, options, custom);

  importDatasource(importer, options);
  applyImportOptions(importer, options, encoding);
  // The settings' observer keeps the last view that decoded; the names must come from a
  // decode under the settings as given, or the command fails with the reader's error.
  if (options.datasource && options.hasImportOptions()) importer.decodeData();
  applyExportOptions(importer, options);
  warnOfMissingNameColumn(importer, options);

  for (const std::string& name : options.added) importer.addFilename(name, 0, false);
  for (const auto& [name, count] : options.series) importer.addFilename(name, count, options.numberFirst);

  if (!options.exportRoot) {
    printNames(importer.fileNames());
    return 0;
  }
  const std::filesystem::path root(*options.exportRoot);
  reportSkippedRecords(importer);
  if (options.dryRun) {
    importer.forEachFolderURL(root, [](const auto& location) { std::cout << location.string() << '\n'; });
    return 0;
  }
  const std::size_t created = importer.exportFolders(root);
  std::cout << "Exported " << created << " directories\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app{"Makes capture folders: one folder per name of a datasource, with optional sub-folders.",
               "pelmora-zava"};
  app.set_version_flag("--version", std::string("pelmora-zava ") + PELMORA_ZAVA_VERSION);

  app.add_option("DATASOURCE", options.datasource,
                 "A delimited text, plain text or rich text file; - reads text from standard input");
  app.add_option("--type", options.typeIdentifier, "Type identifier of standard input (public.comma-separated-values-text, …)");
  app.add_option("--export", options.exportRoot, "Create the folders below ROOT")->option_text("ROOT");
  app.add_flag("--dry-run", options.dryRun, "With --export: print the folder locations, create nothing");
  app.add_flag("--verbose", options.verbose, "Write the importer's log lines to standard error");

  auto* importGroup = app.add_option_group("Import settings");
  addChoice<Ravelin::Header>(*importGroup, "--header", options.header,
                             {{"none", Ravelin::Header::none}, {"row", Ravelin::Header::row}}, "Header row");
  importGroup->add_option("--starting-row", options.startingRow, "1-based line of the header row")->check(atLeast(1));
  addChoice<Ravelin::Delimiter>(*importGroup, "--delimiter", options.delimiter,
                                {{"tab", Ravelin::Delimiter::tab},
                                 {"comma", Ravelin::Delimiter::comma},
                                 {"semicolon", Ravelin::Delimiter::semiColon},
                                 {"space", Ravelin::Delimiter::space}},
                                "Field delimiter");
  addChoice<Ravelin::RowDelimiter>(*importGroup, "--row-delimiter", options.rowDelimiter,
                                   {{"standard", Ravelin::RowDelimiter::standard},
                                    {"standard-plus", Ravelin::RowDelimiter::standardPlus},
                                    {"lf", Ravelin::RowDelimiter::newLine},
                                    {"cr", Ravelin::RowDelimiter::carriageReturn},
                                    {"crlf", Ravelin::RowDelimiter::mixed}},
                                   "Line endings: LF and CR LF, also CR, or only the one named");
  importGroup->add_option("--encoding", options.encoding,
                          "Text encoding: utf-8, utf-16, utf-16le, utf-32, ascii, or any other such as "
                          "windows-1252 or iso-8859-2");
  importGroup->add_flag("--no-trim-whitespace", options.noTrimWhitespace, "Keep white space around fields");
  addChoice<Ravelin::TextQualifier>(*importGroup, "--qualifier", options.qualifier,
                                    {{"double", Ravelin::TextQualifier::doubleQuote},
                                     {"single", Ravelin::TextQualifier::singleQuote},
                                     {"none", Ravelin::TextQualifier::none}},
                                    "Quote character of escaped fields");

  const cli::Choices<Ravelin::TextReplacement> replacements = {{"none", Ravelin::TextReplacement::none},
                                                               {"underscore", Ravelin::TextReplacement::underscore},
                                                               {"hyphen", Ravelin::TextReplacement::hyphen},
                                                               {"remove", Ravelin::TextReplacement::remove}};
  auto* exportGroup = app.add_option_group("Export settings");
  addChoice(*exportGroup, "--whitespace", options.whitespace, replacements, "What becomes of white space");
  addChoice(*exportGroup, "--illegal", options.illegal, replacements, "What becomes of : / \\ and .");
  addChoice<Ravelin::TextTransformation>(*exportGroup, "--case", options.letterCase,
                                         {{"none", Ravelin::TextTransformation::none},
                                          {"capitalize", Ravelin::TextTransformation::capitalize},
                                          {"lowercase", Ravelin::TextTransformation::lowercase},
                                          {"uppercase", Ravelin::TextTransformation::uppercase}},
                                         "Letter case");
  exportGroup->add_option("--pad-digits", options.padDigits, "Pad digit runs with 0 to this width");
  exportGroup->add_option("--trim-start", options.trimStart, "Characters cut from the start of each name")
      ->check(atLeast(0));
  exportGroup->add_option("--trim-end", options.trimEnd, "Characters cut from the end of each name")
      ->check(atLeast(0));
  exportGroup->add_option("--name-column", options.nameColumn, "The header whose column supplies the names")
      ->option_text("HEADER");

  auto* tokens = app.add_option_group("Tokens");
  tokens->add_option("--folder", options.folder, "Folder-name expression")->option_text("EXPR");
  tokens->add_option("--subfolder", options.subfolders, "Sub-folder expression, one per level")
      ->option_text("EXPR")
      ->take_all()
      ->allow_extra_args(false);
  tokens->add_option("--token", options.tokens, "A custom token")
      ->option_text("NAME=VALUE")
      ->take_all()
      ->allow_extra_args(false);

  auto* names = app.add_option_group("Hand-made names");
  names->add_option("--add", options.added, "Add a name")
      ->option_text("NAME")
      ->take_all()
      ->allow_extra_args(false);
  names->add_option("--add-series", options.series, "Add COUNT numbered copies of a name")
      ->option_text("NAME COUNT")
      ->take_all()
      ->allow_extra_args(false);
  names->add_flag("--number-first", options.numberFirst, "Put the number of a series before the name");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : exitUsage;
  }

  std::map<std::string, std::string> custom;
  for (const std::string& token : options.tokens) {
    const auto equals = token.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::cerr << "pelmora-zava: --token takes NAME=VALUE, not \"" << token << "\"\n";
      return exitUsage;
    }
    custom[token.substr(0, equals)] = token.substr(equals + 1);
  }
  std::optional<platform::TextEncoding> encoding;
  if (options.encoding) {
    encoding = platform::TextEncoding::named(*options.encoding);
    if (!encoding) {
      std::cerr << "pelmora-zava: unknown encoding \"" << *options.encoding << "\"\n";
      return exitUsage;
    }
  }
  for (const auto& [name, count] : options.series) {
    if (count < 1) {
      std::cerr << "pelmora-zava: --add-series takes a COUNT of 1 or more, not " << count << "\n";
      return exitUsage;
    }
    // Every copy is a record in memory; a mistyped count must not exhaust it.
    if (count > maximumSeriesCount) {
      std::cerr << "pelmora-zava: --add-series takes at most " << maximumSeriesCount << " copies, not " << count
                << "\n";
      return exitUsage;
    }
  }
  if (options.exportRoot && options.exportRoot->empty()) {
    std::cerr << "pelmora-zava: --export takes a folder, not an empty text\n";
    return exitUsage;
  }
  if (options.dryRun && !options.exportRoot) {
    std::cerr << "pelmora-zava: --dry-run goes with --export\n";
    return exitUsage;
  }

  if (options.verbose)
    platform::setLogSink([](std::string_view line) { std::cerr << line << '\n'; });
  else
    platform::setLogSink({});

  int status = 0;
  try {
    status = run(options, encoding ? &*encoding : nullptr, custom);
  } catch (const std::exception& error) {
    cli::reportError(std::cerr, error, options.datasource);
    return exitFailure;
  }
  // Names that never reach their reader (a full disk, a closed descriptor) are no success.
  errno = 0;
  if (status == 0 && !std::cout.flush()) {
    const int cause = errno;
    std::cerr << "pelmora-zava: standard output could not be written"
              << (cause != 0 ? std::string(": ") + std::strerror(cause) : std::string()) << '\n';
    return exitFailure;
  }
  return status;
}
