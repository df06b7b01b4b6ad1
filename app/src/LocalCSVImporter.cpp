#include "Pelmora_Zava/LocalCSVImporter.hpp"

#include <algorithm>

#include "AddedFilenames.hpp"
#include "DatasourceContext.hpp"
#include "QVExtensions/NaturalOrder.hpp"
#include "QVExtensions/ParallelRanges.hpp"
#include "Ravelin/ImportSteps.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileURL.hpp"

namespace Pelmora_Zava {
namespace {

// Equal as the chain gave them, when each processed name was still the source name: the
// processed names written since then must not make a new list look like the old one.
bool sameRecords(const LocalCSVImporter::FilenameList& a, const LocalCSVImporter::FilenameList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const std::shared_ptr<Filename>& x, const std::shared_ptr<Filename>& y) {
                      return platform::canonicallyEqual(x->filename(), y->filename());
                    });
}

struct ProcessedNames {
  LocalCSVImporter::FilenameList records;  // the combined list
  std::vector<std::string> names;          // one per record
  std::vector<std::size_t> kept;           // positions of the records kept, in natural order
};

}  // namespace

std::shared_ptr<LocalCSVImporter> LocalCSVImporter::make(Ravelin::CSVImportConfig importConfig,
                                                         Ravelin::CSVExportConfig exportConfig) {
  auto importer =
      std::make_shared<LocalCSVImporter>(Passkey{}, std::move(importConfig), std::move(exportConfig));
  importer->watchProperties();
  return importer;
}

LocalCSVImporter::LocalCSVImporter(Passkey, Ravelin::CSVImportConfig importConfig,
                                   Ravelin::CSVExportConfig exportConfig)
    : importConfig_(objectWillChange_, std::move(importConfig)),
      exportConfig_(objectWillChange_, std::move(exportConfig)),
      manualFilenames_(objectWillChange_, FilenameList{Filename::make("1 Filename"), Filename::make("1 Filename"),
                                                       Filename::make("1 Filename")}) {
  exportConfig_.update(
      [](Ravelin::CSVExportConfig& config) { config.replaceIllegalChars = Ravelin::TextReplacement::underscore; });
}

void LocalCSVImporter::watchProperties() {
  platform::log("Watching properties for changes");
  // 1. Decoding; a failure yields nothing.
  data_.publisher()
      .sink([this](const std::optional<platform::Data>& data) {
        if (!data) return;
        presentData_ = *data;
        decoded_.dataChanged();
        decode();
      })
      .store(tokens_);
  importConfig_.publisher().sink([this](const Ravelin::CSVImportConfig&) { decode(); }).store(tokens_);
  // 2. Headers.
  decodedChanged_.sink([this] { headers_.set(decoded_.view()->headers()); }).store(tokens_);
  // 3. The header guess, when it changes.
  decodedChanged_
      .sink([this] {
        if (auto guess = decoded_.changedHeaderGuess())
          exportConfig_.update([&](Ravelin::CSVExportConfig& config) { config.selectedHeader = std::move(*guess); });
      })
      .store(tokens_);
  // 4. The datasource's records, from the selected header and the decoded file.
  selectedHeader_ = exportConfig_.get().selectedHeader;
  exportConfig_.publisher().sink([this](const Ravelin::CSVExportConfig&) { selectedHeaderChanged(); }).store(tokens_);
  decodedChanged_.sink([this] { makeDatasourceRecords(); }).store(tokens_);
  // 5 and 6. The combined list, processed with the settings and the token pattern.
  datasourceFilenames_.publisher().sink([this](const FilenameList&) { processNames(); }).store(tokens_);
  manualFilenames_.publisher().sink([this](const FilenameList&) { processNames(); }).store(tokens_);
  importConfig_.publisher().sink([this](const Ravelin::CSVImportConfig&) { processNames(); }).store(tokens_);
  exportConfig_.publisher().sink([this](const Ravelin::CSVExportConfig&) { processNames(); }).store(tokens_);
  tokenProvider_.publisher().sink([this](const TokenValueProvider&) { processNames(); }).store(tokens_);
  processNames();  // every input holds a value from the start
}

void LocalCSVImporter::decode() {
  if (!presentData_) return;
  std::optional<Ravelin::DecodedFile::Outcome> outcome = decoded_.decode(*presentData_, importConfig_.get());
  if (!outcome) return;  // the same result, already out
  error_.set(outcome->error);
  if (outcome->view && decoded_.giveOut(std::move(outcome->view))) decodedChanged_.send();
}

void LocalCSVImporter::selectedHeaderChanged() {
  if (selectedHeader_ == exportConfig_.get().selectedHeader) return;
  selectedHeader_ = exportConfig_.get().selectedHeader;
  makeDatasourceRecords();
}

void LocalCSVImporter::makeDatasourceRecords() {
  if (!decoded_.view()) return;  // nothing decoded yet
  const std::optional<std::string>& header = exportConfig_.get().selectedHeader;
  platform::log("Parsing filenames with " + header.value_or("no header"));
  platform::log("Updating filenames with header " + header.value_or("no header"));
  datasourceRecords_.request(
      importQueue_, weak_from_this(),
      [](LocalCSVImporter& importer) {
        return [view = *importer.decoded_.view(), header = importer.exportConfig_.get().selectedHeader] {
          // No "Datasource" entry, and header entries under "$" + header.
          return makeDatasourceFilenames(std::make_shared<const DatasourceContext>(view, std::nullopt, "$"), header);
        };
      },
      [](LocalCSVImporter& importer, FilenameList records) {
        if (importer.lastDatasourceRecords_ && sameRecords(*importer.lastDatasourceRecords_, records)) return;
        importer.lastDatasourceRecords_ = records;
        importer.datasourceFilenames_.set(std::move(records));
      });
}

// The records keep their identity: their processed names are written on the main thread, when
// the result arrives, and the set keeps the first record of each processed name.
void LocalCSVImporter::processNames() {
  processing_.request(
      importQueue_, weak_from_this(),
      [](LocalCSVImporter& importer) {
        // The source names are copied, as the main thread may rename a record; a record's context
        // never changes, and its processed name is written on the main thread only.
        FilenameList records = importer.datasourceFilenames_.get();
        const FilenameList& manual = importer.manualFilenames_.get();
        records.insert(records.end(), manual.begin(), manual.end());
        std::vector<std::string> sources;
        sources.reserve(records.size());
        for (const std::shared_ptr<Filename>& record : records) sources.push_back(record->filename());
        return [records = std::move(records), sources = std::move(sources), exportConfig = importer.exportConfig_.get(),
                importConfig = importer.importConfig_.get(), tokens = importer.tokenProvider_.get()]() mutable {
          ProcessedNames result;
          result.names.resize(sources.size());
          QVExtensions::parallelRanges(sources.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
              result.names[i] =
                  Filename::cleanedName(sources[i], records[i]->context(), exportConfig, importConfig, tokens);
          });
          result.kept = QVExtensions::naturallySortedUniquePositions(
              result.names.size(), [&](std::size_t i) -> std::string_view { return result.names[i]; });
          result.records = std::move(records);
          return result;
        };
      },
      [](LocalCSVImporter& importer, ProcessedNames result) {
        FilenameList kept;
        kept.reserve(result.kept.size());
        for (std::size_t i : result.kept) kept.push_back(result.records[i]);
        for (std::size_t i = 0; i < result.records.size(); ++i)
          result.records[i]->setProcessedName(std::move(result.names[i]));
        importer.fileNames_.set(std::move(kept));
      });
}

void LocalCSVImporter::importURL(const std::filesystem::path& file) {
  dataFilename_.set(platform::lastPathComponent(file));
  Ravelin::importFileOnMainQueue(file, weak_from_this(), [](LocalCSVImporter& importer, platform::Data bytes,
                                                            const std::optional<std::string>& typeIdentifier) {
    importer.data_.set(std::move(bytes));
    importer.importConfig_.update(
        [&](Ravelin::CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
  });
}

void LocalCSVImporter::importString(std::string_view text, const std::optional<std::string>& typeIdentifier) {
  importBytes(platform::Data::fromString(text), typeIdentifier, " from string");
}

void LocalCSVImporter::importData(platform::Data data, const std::optional<std::string>& typeIdentifier) {
  importBytes(std::move(data), typeIdentifier, " from data");
}

void LocalCSVImporter::importBytes(platform::Data bytes, const std::optional<std::string>& typeIdentifier,
                                   std::string_view source) {
  Ravelin::logImport(typeIdentifier, source);
  data_.set(std::move(bytes));
  dataFilename_.set(std::nullopt);
  importConfig_.update([&](Ravelin::CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
}

void LocalCSVImporter::addFilename(std::string_view name, std::int64_t times, bool indexMode) {
  FilenameList added = addedFilenames(name, times, indexMode);
  manualFilenames_.update([&](FilenameList& names) { names.insert(names.end(), added.begin(), added.end()); });
}

}  // namespace Pelmora_Zava
