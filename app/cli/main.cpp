// pelmora-zava: the main job from a shell. Each option sets what a settings form
// would set or calls what the main window would call, in the order a person at
// the window would: tokens, import, import settings, export settings, hand-made
// names, then the names are printed or the folders exported.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Ravelin/Options.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileSystem.hpp"
#include "platform/text/TextEncoding.hpp"

namespace {

using namespace Pelmora_Zava;

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

template <typename E>
std::map<std::string, E> choices(std::initializer_list<std::pair<const char*, E>> entries) {
  std::map<std::string, E> map;
  for (const auto& [name, value] : entries) map.emplace(name, value);
  return map;
}

void printError(const std::exception& error) {
  std::cerr << "pelmora-zava: ";
  if (const auto* readerError = dynamic_cast<const RecordCSV::CSVReaderError*>(&error)) {
    std::cerr << readerError->failureReason().value_or(readerError->description()) << '\n';
    if (readerError->helpAnchor()) std::cerr << *readerError->helpAnchor() << '\n';
    return;
  }
  if (const auto* platformError = dynamic_cast<const platform::Error*>(&error)) {
    std::cerr << platformError->description() << '\n';
    if (platformError->failureReason()) std::cerr << *platformError->failureReason() << '\n';
    if (platformError->recoverySuggestion()) std::cerr << *platformError->recoverySuggestion() << '\n';
    if (platformError->helpAnchor()) std::cerr << *platformError->helpAnchor() << '\n';
    return;
  }
  std::cerr << error.what() << '\n';
}

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

/// Imports the datasource; a reader error is kept for later when import options may still fix it.
std::exception_ptr importDatasource(AsyncImporter& importer, const Options& options) {
  if (!options.datasource) return nullptr;
  try {
    if (*options.datasource == "-")
      importer.importString(readStandardInput(), options.typeIdentifier);
    else
      importer.importURL(std::filesystem::path(*options.datasource));
  } catch (const RecordCSV::CSVReaderError&) {
    if (!options.hasImportOptions()) throw;
    return std::current_exception();
  }
  return nullptr;
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

int run(const Options& options, const platform::TextEncoding* encoding,
        const std::map<std::string, std::string>& custom) {
  AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
  applyTokens(importer, options, custom);

  std::exception_ptr pendingReaderError = importDatasource(importer, options);
  applyImportOptions(importer, options, encoding);
  // The import failed under the settings it left; the options given may decode it.
  if (pendingReaderError) {
    importer.decodeData();
    importer.selectFilenameHeader();
  }
  applyExportOptions(importer, options);

  for (const std::string& name : options.added) importer.addFilename(name, 0, false);
  for (const auto& [name, count] : options.series) importer.addFilename(name, count, options.numberFirst);

  if (!options.exportRoot) {
    for (const auto& record : importer.fileNames()) std::cout << record->processedName() << '\n';
    return 0;
  }
  const std::filesystem::path root(*options.exportRoot);
  if (options.dryRun) {
    for (const auto& location : importer.allFolderURLs(root)) std::cout << location.string() << '\n';
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
  importGroup->add_option("--header", options.header, "Header row: none or row")
      ->transform(CLI::CheckedTransformer(choices<Ravelin::Header>({{"none", Ravelin::Header::none},
                                                                     {"row", Ravelin::Header::row}})));
  importGroup->add_option("--starting-row", options.startingRow, "1-based line of the header row")
      ->check(CLI::Range(std::int64_t{1}, INT64_MAX));
  importGroup->add_option("--delimiter", options.delimiter, "Field delimiter")
      ->transform(CLI::CheckedTransformer(choices<Ravelin::Delimiter>({{"tab", Ravelin::Delimiter::tab},
                                                                        {"comma", Ravelin::Delimiter::comma},
                                                                        {"semicolon", Ravelin::Delimiter::semiColon},
                                                                        {"space", Ravelin::Delimiter::space}})));
  importGroup->add_option("--row-delimiter", options.rowDelimiter, "Line endings")
      ->transform(CLI::CheckedTransformer(
          choices<Ravelin::RowDelimiter>({{"standard", Ravelin::RowDelimiter::standard},
                                          {"standard-plus", Ravelin::RowDelimiter::standardPlus},
                                          {"lf", Ravelin::RowDelimiter::newLine},
                                          {"cr", Ravelin::RowDelimiter::carriageReturn},
                                          {"crlf", Ravelin::RowDelimiter::mixed}})));
  importGroup->add_option("--encoding", options.encoding, "Text encoding: utf-8, utf-16le, latin1, …");
  importGroup->add_flag("--no-trim-whitespace", options.noTrimWhitespace, "Keep white space around fields");
  importGroup->add_option("--qualifier", options.qualifier, "Quote character of escaped fields")
      ->transform(CLI::CheckedTransformer(
          choices<Ravelin::TextQualifier>({{"double", Ravelin::TextQualifier::doubleQuote},
                                           {"single", Ravelin::TextQualifier::singleQuote},
                                           {"none", Ravelin::TextQualifier::none}})));

  const auto replacements = choices<Ravelin::TextReplacement>({{"none", Ravelin::TextReplacement::none},
                                                                {"underscore", Ravelin::TextReplacement::underscore},
                                                                {"hyphen", Ravelin::TextReplacement::hyphen},
                                                                {"remove", Ravelin::TextReplacement::remove}});
  auto* exportGroup = app.add_option_group("Export settings");
  exportGroup->add_option("--whitespace", options.whitespace, "What becomes of white space")
      ->transform(CLI::CheckedTransformer(replacements));
  exportGroup->add_option("--illegal", options.illegal, "What becomes of : / \\ and .")
      ->transform(CLI::CheckedTransformer(replacements));
  exportGroup->add_option("--case", options.letterCase, "Letter case")
      ->transform(CLI::CheckedTransformer(
          choices<Ravelin::TextTransformation>({{"none", Ravelin::TextTransformation::none},
                                                {"capitalize", Ravelin::TextTransformation::capitalize},
                                                {"lowercase", Ravelin::TextTransformation::lowercase},
                                                {"uppercase", Ravelin::TextTransformation::uppercase}})));
  exportGroup->add_option("--pad-digits", options.padDigits, "Pad digit runs with 0 to this width");
  exportGroup->add_option("--trim-start", options.trimStart, "Characters cut from the start of each name")
      ->check(CLI::NonNegativeNumber);
  exportGroup->add_option("--trim-end", options.trimEnd, "Characters cut from the end of each name")
      ->check(CLI::NonNegativeNumber);
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
    // Every copy is a record in memory; a mistyped count must not exhaust it.
    if (count > maximumSeriesCount) {
      std::cerr << "pelmora-zava: --add-series takes at most " << maximumSeriesCount << " copies, not " << count
                << "\n";
      return exitUsage;
    }
  }
  if (options.dryRun && !options.exportRoot) {
    std::cerr << "pelmora-zava: --dry-run goes with --export\n";
    return exitUsage;
  }

  if (options.verbose)
    platform::setLogSink([](std::string_view line) { std::cerr << line << '\n'; });
  else
    platform::setLogSink({});

  try {
    return run(options, encoding ? &*encoding : nullptr, custom);
  } catch (const std::exception& error) {
    printError(error);
    return exitFailure;
  }
}
