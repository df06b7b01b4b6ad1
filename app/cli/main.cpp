// pelmora-zava: the main job from a shell. Each option sets what a settings form
// would set or calls what the main window would call, in the order a person at
// the window would: tokens, import, import settings, export settings, hand-made
// names, then the names are printed or the folders exported.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CommandOptions.hpp"
#include "Datasource.hpp"
#include "DatasourceFailure.hpp"
#include "DatasourceText.hpp"
#include "ErrorReport.hpp"
#include "ExportCheck.hpp"
#include "NameCharacters.hpp"
#include "Notices.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "UnmarkedEncoding.hpp"
#include "platform/core/Log.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/text/TextEncoding.hpp"

namespace {

using namespace Pelmora_Zava;
using cli::Options;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr std::int64_t maximumSeriesCount = 1'000'000;

/// Ends a usage error with where to learn the usage, as other commands do.
int usageFailure() {
  std::cerr << "Try 'pelmora-zava --help' for more information.\n";
  return exitUsage;
}

/// "--NAME is given twice" for an option that takes one value and was given more than once.
std::optional<std::string> repeatedOption(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (!option->nonpositional() || option->get_items_expected_max() != 1 || option->count() < 2) continue;
    const std::string times = option->count() == 2 ? "twice" : std::to_string(option->count()) + " times";
    return option->get_name() + " is given " + times;
  }
  return std::nullopt;
}

void applyTokens(AsyncImporter& importer, const Options& options, const std::map<std::string, std::string>& custom) {
  TokenValueProvider provider = importer.tokenProvider();
  provider.rootFolder = {options.folder};
  provider.subfolders = options.subfolders;
  for (const auto& [name, value] : custom) provider.customTokens[name] = value;
  importer.setTokenProvider(std::move(provider));
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

// The header guess of the decode is replaced by --name-column afterwards, as a person would.
void applyExportOptions(AsyncImporter& importer, const Options& options) {
  const bool any = options.whitespace || options.illegal || options.letterCase || options.padDigits ||
                   options.trimStart || options.trimEnd;
  if (!any) return;
  importer.updateExportConfig([&](Ravelin::CSVExportConfig& config) {
    if (options.whitespace) config.replaceWhiteSpace = *options.whitespace;
    if (options.illegal) config.replaceIllegalChars = *options.illegal;
    if (options.letterCase) config.filenameTransformation = *options.letterCase;
    if (options.padDigits) config.padDigits = *options.padDigits;
    if (options.trimStart) config.trimStart = *options.trimStart;
    if (options.trimEnd) config.trimEnd = *options.trimEnd;
  });
}

void applyNameColumn(AsyncImporter& importer, const Options& options) {
  if (!options.nameColumn) return;
  importer.updateExportConfig([&](Ravelin::CSVExportConfig& config) { config.selectedHeader = *options.nameColumn; });
}

void warnOfMissingNameColumn(const AsyncImporter& importer, const Options& options) {
  if (!options.nameColumn || !options.datasource || !importer.fileView()) return;
  if (importer.fileView()->lookup().find(*options.nameColumn)) return;
  std::cerr << "pelmora-zava: the datasource has no header \"" << *options.nameColumn
            << "\"; each name is its whole record\n";
}

// The names go to the stream in large blocks: a stream call per name costs more than its bytes.
// A name that makes no folder is left out, as an export leaves it out.
void printNames(const AsyncImporter::FilenameList& records) {
  constexpr std::size_t blockSize = std::size_t{1} << 16;
  std::string block;
  block.reserve(blockSize);
  for (const auto& record : records) {
    if (!AsyncImporter::hasFolderName(*record)) continue;
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
  const cli::Datasource datasource = cli::readDatasource(options, encoding);
  Ravelin::CSVImportConfig importConfig;
  if (datasource.markedEncoding) importConfig.encoding = *datasource.markedEncoding;
  AsyncImporter importer{importConfig, Ravelin::CSVExportConfig()};
  std::vector<const std::string*> expressions = {&options.folder};
  for (const std::string& expression : options.subfolders) expressions.push_back(&expression);
  // Decoded once, after the import, for every line number and hint that needs it.
  cli::DatasourceText text(importer, cli::NameFields(options.nameColumn, expressions));

  try {
    // Every setting is in force before the one decode and naming: the defaults, the mark's
    // encoding, the type's preset, then the options given.
    importer.batch([&] {
      applyTokens(importer, options, custom);
      cli::importDatasource(importer, options, datasource);
      applyImportOptions(importer, options, encoding);
      applyExportOptions(importer, options);
      for (const std::string& name : options.added) importer.addFilename(name, 0, false);
      for (const auto& [name, count] : options.series) importer.addFilename(name, count, options.numberFirst);
    });
  } catch (const RecordCSV::CSVReaderError& error) {
    if (cli::reportReaderFailure(std::cerr, error, text, options)) return exitFailure;
  }
  applyNameColumn(importer, options);
  // Every value read in the wrong width or byte order is garbled, whatever else makes a folder.
  if (const std::optional<std::string> misreadWidth = cli::misreadWideText(text)) {
    std::cerr << "pelmora-zava: " << *misreadWidth << '\n';
    return exitFailure;
  }
  if (cli::refuseUnholdableNames(std::cerr, importer, text)) return exitFailure;
  warnOfMissingNameColumn(importer, options);
  cli::warnOfLikelyDelimiter(std::cerr, importer, options);
  cli::warnOfTitleAboveHeader(std::cerr, importer, text);
  const cli::MissingRecords missing = cli::reportMissingRecords(std::cerr, importer, options, text);
  if (missing == cli::MissingRecords::misread) return exitFailure;
  cli::warnOfUnknownTokens(std::cerr, importer, options, custom);

  if (cli::reportLeftOutRecords(std::cerr, importer)) {
    // Records that all come to nothing are a mistake (a misspelled token, a wrong delimiter),
    // not a run with nothing to do.
    std::cerr << "pelmora-zava: no folder to make: every record's folder name is empty\n";
    return exitFailure;
  }
  // Rows that --starting-row passed are a mistake too, when nothing else makes a folder.
  if (missing == cli::MissingRecords::settingsMistake &&
      std::ranges::none_of(importer.fileNames(), [](const auto& record) { return AsyncImporter::hasFolderName(*record); }))
    return exitFailure;
  if (!options.exportRoot) {
    printNames(importer.fileNames());
    return 0;
  }
  const std::filesystem::path root(*options.exportRoot);
  // A name too long, a file in a folder's place or a link out of the root stops the export only
  // after the folders before it: found first, it leaves none, and the dry run answers as the
  // export would. The export then walks the folders once more, to make them, not twice.
  cli::checkExportLocations(importer, root);
  if (options.dryRun) {
    importer.forEachFolderURL(root, [](const auto& location) { std::cout << location.string() << '\n'; });
    return 0;
  }
  const std::size_t created = importer.exportCheckedFolders(root);
  std::cout << "Exported " << created << " directories\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  platform::UserDefaults::setApplicationIdentifier("pelmora-zava");  // whatever the binary is called
  Options options;
  CLI::App app{"Makes capture folders: one per name of a datasource, with optional sub-folders.",
               "pelmora-zava"};
  app.set_version_flag("--version", std::string("pelmora-zava ") + PELMORA_ZAVA_VERSION);
  cli::defineOptions(app, options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    return app.exit(success);  // --help and --version
  } catch (const CLI::ArgumentMismatch& error) {
    // As a person appends a cure to the line they recalled: say which option, not how many values.
    if (const std::optional<std::string> repeated = repeatedOption(app)) {
      std::cerr << "pelmora-zava: " << *repeated << "; give it once\n";
      return usageFailure();
    }
    std::cerr << "pelmora-zava: " << error.what() << '\n';
    return usageFailure();
  } catch (const CLI::ParseError& error) {
    std::cerr << "pelmora-zava: " << error.what() << '\n';
    return usageFailure();
  }

  if (options.datasource && options.datasource->empty()) {
    std::cerr << "pelmora-zava: DATASOURCE is an empty text; name a file, or - for standard input\n";
    return usageFailure();
  }
  if (options.typeIdentifier && !options.readsStandardInput()) {
    std::cerr << "pelmora-zava: --type goes with standard input (-); a file's type comes from its extension\n";
    return usageFailure();
  }
  if (const std::optional<std::string> conflict = cli::startingRowConflict(options)) {
    std::cerr << "pelmora-zava: " << *conflict << '\n';
    return usageFailure();
  }
  std::map<std::string, std::string> custom;
  for (const std::string& token : options.tokens) {
    const auto equals = token.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::cerr << "pelmora-zava: --token takes NAME=VALUE, not \"" << token << "\"\n";
      return usageFailure();
    }
    custom[token.substr(0, equals)] = token.substr(equals + 1);
  }
  std::optional<platform::TextEncoding> encoding;
  if (options.encoding) {
    encoding = platform::TextEncoding::named(*options.encoding);
    if (!encoding) {
      std::cerr << "pelmora-zava: unknown encoding \"" << *options.encoding << "\"\n";
      return usageFailure();
    }
  }
  for (const auto& [name, count] : options.series) {
    if (count < 1) {
      std::cerr << "pelmora-zava: --add-series takes a COUNT of 1 or more, not " << count << "\n";
      return usageFailure();
    }
    // Every copy is a record in memory; a mistyped count must not exhaust it.
    if (count > maximumSeriesCount) {
      std::cerr << "pelmora-zava: --add-series takes at most " << maximumSeriesCount << " copies, not " << count
                << "\n";
      return usageFailure();
    }
  }
  if (options.exportRoot && options.exportRoot->empty()) {
    std::cerr << "pelmora-zava: --export takes a folder, not an empty text\n";
    return usageFailure();
  }
  if (options.dryRun && !options.exportRoot) {
    std::cerr << "pelmora-zava: --dry-run goes with --export\n";
    return usageFailure();
  }

  if (options.verbose)
    platform::setLogSink([](std::string_view line) { std::cerr << line << '\n'; });
  else
    platform::setLogSink({});

  int status = 0;
  try {
    status = run(options, encoding ? &*encoding : nullptr, custom);
  } catch (const std::bad_alloc&) {
    // A datasource within the bound can still need more memory than there is to name it.
    std::cerr << "pelmora-zava: not enough memory to read and name the datasource\n";
    return exitFailure;
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
