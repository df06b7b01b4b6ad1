#include "Ravelin/CSVImporter.hpp"

#include "QVExtensions/NaturalOrder.hpp"
#include "Ravelin/ImportSteps.hpp"
#include "platform/core/Log.hpp"

namespace Ravelin {

std::shared_ptr<CSVImporter> CSVImporter::make(CSVImportConfig importConfig, CSVExportConfig exportConfig) {
  auto importer = std::make_shared<CSVImporter>(Passkey{}, std::move(importConfig), std::move(exportConfig));
  importer->setupObservers();
  return importer;
}

CSVImporter::CSVImporter(Passkey, CSVImportConfig importConfig, CSVExportConfig exportConfig)
    : importConfig_(objectWillChange_, std::move(importConfig)),
      exportConfig_(objectWillChange_, std::move(exportConfig)) {
  exportConfig_.update([](CSVExportConfig& config) { config.replaceIllegalChars = TextReplacement::underscore; });
}

void CSVImporter::setupObservers() {
  platform::log("Watching properties for changes");
  // 1. The decoded file, shared by the next three.
  data_.publisher()
      .sink([this](const std::optional<platform::Data>&) {
        decoded_.dataChanged();
        decode();
      })
      .store(tokens_);
  importConfig_.publisher().sink([this](const CSVImportConfig&) { decode(); }).store(tokens_);
  // 2. Headers.
  decodedChanged_
      .sink([this] { headers_.set(decoded_.view() ? decoded_.view()->headers() : Names{}); })
      .store(tokens_);
  // 3. The name column, when the guess changes.
  decodedChanged_
      .sink([this] {
        if (auto guess = decoded_.changedHeaderGuess())
          exportConfig_.update([&](CSVExportConfig& config) { config.selectedHeader = std::move(*guess); });
      })
      .store(tokens_);
  // 4. The datasource's names, from the export settings and the decoded file.
  decodedChanged_.sink([this] { assignDatasourceFilenames(); }).store(tokens_);
  exportConfig_.publisher().sink([this](const CSVExportConfig&) { assignDatasourceFilenames(); }).store(tokens_);
  // 5. The final list, from both lists and the export settings.
  datasourceFilenames_.publisher().sink([this](const Names&) { computeFinalList(); }).store(tokens_);
  manualFilenames_.publisher().sink([this](const Names&) { computeFinalList(); }).store(tokens_);
  exportConfig_.publisher().sink([this](const CSVExportConfig&) { computeFinalList(); }).store(tokens_);
  computeFinalList();  // the three hold values from the start
}

void CSVImporter::decode() {
  if (!data_.get()) return;
  std::optional<DecodedFile::Outcome> outcome = decoded_.decode(*data_.get(), importConfig_.get());
  if (!outcome) return;  // the same result, already out
  error_.set(outcome->error);
  if (decoded_.giveOut(std::move(outcome->view))) decodedChanged_.send();
}

void CSVImporter::assignDatasourceFilenames() {
  if (!decoded_.givenOut()) return;  // nothing decoded yet
  Names names;
  if (const std::optional<DecodedFile::FileView>& view = decoded_.view()) {
    const std::optional<std::string>& header = exportConfig_.get().selectedHeader;
    platform::log("Parsing filenames with " + header.value_or("no header"));
    if (header) {
      platform::log("Updating filenames with header " + *header);
      if (!view->headers().empty()) names = view->column(*header).value_or(Names{});
    } else {
      platform::log("No header specified, using rows as filenames");
      names.reserve(view->size());
      for (const RecordCSV::CSVReader::Row row : *view) names.push_back(joinedFields(row));
    }
  }
  if (names != datasourceFilenames_.get()) datasourceFilenames_.set(std::move(names));
}

void CSVImporter::computeFinalList() {
  finalList_.request(
      importQueue_, weak_from_this(),
      [](CSVImporter& importer) {
        Names names = importer.datasourceFilenames_.get();
        const Names& manual = importer.manualFilenames_.get();
        names.insert(names.end(), manual.begin(), manual.end());
        return [names = std::move(names), config = importer.exportConfig_.get()] {
          return QVExtensions::naturallySortedUnique(config.cleanedNames(names));
        };
      },
      [](CSVImporter& importer, Names list) { importer.fileNames_.set(std::move(list)); });
}

void CSVImporter::importURL(const std::filesystem::path& file) {
  importFileOnMainQueue(file, weak_from_this(), [](CSVImporter& importer, platform::Data bytes,
                                                   const std::optional<std::string>& typeIdentifier) {
    importer.data_.set(std::move(bytes));
    importer.importConfig_.update([&](CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
  });
}

void CSVImporter::importString(std::string_view text, const std::optional<std::string>& typeIdentifier) {
  importBytes(platform::Data::fromString(text), typeIdentifier, " from string");
}

void CSVImporter::importData(platform::Data data, const std::optional<std::string>& typeIdentifier) {
  importBytes(std::move(data), typeIdentifier, " from data");
}

void CSVImporter::importBytes(platform::Data bytes, const std::optional<std::string>& typeIdentifier,
                              std::string_view source) {
  logImport(typeIdentifier, source);
  data_.set(std::move(bytes));
  importConfig_.update([&](CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
}

void CSVImporter::addFilename(std::string name) {
  const std::string line = "Adding new filename: " + name;
  manualFilenames_.update([&](Names& names) { names.push_back(std::move(name)); });
  platform::log(line);
}

}  // namespace Ravelin
