#include "Ravelin/CSVImporter.hpp"

#include "QVExtensions/NaturalOrder.hpp"
#include "Ravelin/FilenameHeader.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/FileType.hpp"

namespace Ravelin {

struct CSVImporter::Decoded {
  bool published = false;  // whether a result has gone out yet
  std::optional<FileView> view;
  // What the last decode read: the same bytes under equal settings decode alike.
  std::uint64_t dataVersion = 0;
  std::uint64_t decodedVersion = 0;
  CSVImportConfig decodedConfig;
};

namespace {

std::string describeType(const std::optional<std::string>& typeIdentifier) {
  return typeIdentifier.value_or("unknown type");
}

// Equal rows are equal views; the headers must agree too, or a new file with the same rows
// and other headers would keep the old headers.
bool sameResult(const std::optional<RecordCSV::CSVReader::FileView>& a,
                const std::optional<RecordCSV::CSVReader::FileView>& b) {
  if (!a || !b) return !a && !b;
  return *a == *b && a->headers() == b->headers();
}

}  // namespace

std::shared_ptr<CSVImporter> CSVImporter::make(CSVImportConfig importConfig, CSVExportConfig exportConfig) {
  auto importer = std::make_shared<CSVImporter>(Passkey{}, std::move(importConfig), std::move(exportConfig));
  importer->setupObservers();
  return importer;
}

CSVImporter::CSVImporter(Passkey, CSVImportConfig importConfig, CSVExportConfig exportConfig)
    : importConfig_(objectWillChange_, std::move(importConfig)),
      exportConfig_(objectWillChange_, std::move(exportConfig)),
      decoded_(std::make_unique<Decoded>()) {
  exportConfig_.update([](CSVExportConfig& config) { config.replaceIllegalChars = TextReplacement::underscore; });
}

void CSVImporter::setupObservers() {
  platform::log("Watching properties for changes");
  // 1. The decoded file, shared by the next three.
  data_.publisher()
      .sink([this](const std::optional<platform::Data>&) {
        ++decoded_->dataVersion;
        decode();
      })
      .store(tokens_);
  importConfig_.publisher().sink([this](const CSVImportConfig&) { decode(); }).store(tokens_);
  // 2. Headers.
  decodedChanged_
      .sink([this] { headers_.set(decoded_->view ? decoded_->view->headers() : Names{}); })
      .store(tokens_);
  // 3. The name column, when the guess changes.
  decodedChanged_
      .sink([this] {
        std::optional<std::string> guess =
            decoded_->view ? chooseFilenameHeader(decoded_->view->headers()) : std::nullopt;
        if (lastGuess_ && *lastGuess_ == guess) return;
        lastGuess_ = guess;
        exportConfig_.update([&](CSVExportConfig& config) { config.selectedHeader = std::move(guess); });
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
  Decoded& decoded = *decoded_;
  if (decoded.published && decoded.decodedVersion == decoded.dataVersion &&
      decoded.decodedConfig == importConfig_.get())
    return;  // the same result, already out
  decoded.decodedVersion = decoded.dataVersion;
  decoded.decodedConfig = importConfig_.get();
  std::optional<FileView> view;
  try {
    view = RecordCSV::CSVReader::decode(*data_.get(), importConfig_.get().readerConfiguration());
    error_.set(nullptr);
  } catch (...) {
    error_.set(std::current_exception());
  }
  if (decoded.published && sameResult(decoded.view, view)) return;
  decoded.published = true;
  decoded.view = std::move(view);
  decodedChanged_.send();
}

void CSVImporter::assignDatasourceFilenames() {
  if (!decoded_->published) return;  // nothing decoded yet
  Names names;
  if (const std::optional<FileView>& view = decoded_->view) {
    const std::optional<std::string>& header = exportConfig_.get().selectedHeader;
    platform::log("Parsing filenames with " + header.value_or("no header"));
    if (header) {
      platform::log("Updating filenames with header " + *header);
      if (!view->headers().empty()) names = view->column(*header).value_or(Names{});
    } else {
      platform::log("No header specified, using rows as filenames");
      names.reserve(view->size());
      for (const RecordCSV::CSVReader::Row row : *view) {
        std::string name;
        for (std::size_t i = 0; i < row.size(); ++i) name.append(i ? " " : "").append(row[i]);
        names.push_back(std::move(name));
      }
    }
  }
  if (names != datasourceFilenames_.get()) datasourceFilenames_.set(std::move(names));
}

void CSVImporter::computeFinalList() {
  Names names = datasourceFilenames_.get();
  names.insert(names.end(), manualFilenames_.get().begin(), manualFilenames_.get().end());
  finalList_.submit(
      importQueue_, weak_from_this(),
      [names = std::move(names), config = exportConfig_.get()] {
        return QVExtensions::naturallySortedUnique(config.cleanedNames(names));
      },
      [](CSVImporter& importer, Names list) { importer.fileNames_.set(std::move(list)); });
}

void CSVImporter::importURL(const std::filesystem::path& file) {
  platform::Data bytes = platform::readFile(file);
  std::optional<std::string> typeIdentifier = platform::fileTypeIdentifier(file);
  platform::MainQueue::shared().async([weak = weak_from_this(), bytes = std::move(bytes),
                                       typeIdentifier = std::move(typeIdentifier)]() mutable {
    std::shared_ptr<CSVImporter> importer = weak.lock();
    if (!importer) return;
    importer->data_.set(std::move(bytes));
    importer->importConfig_.update([&](CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
    platform::log("Importing " + describeType(typeIdentifier) + " from url");
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
  platform::log("Importing " + describeType(typeIdentifier) + std::string(source));
  data_.set(std::move(bytes));
  importConfig_.update([&](CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
}

void CSVImporter::addFilename(std::string name) {
  const std::string line = "Adding new filename: " + name;
  manualFilenames_.update([&](Names& names) { names.push_back(std::move(name)); });
  platform::log(line);
}

}  // namespace Ravelin
