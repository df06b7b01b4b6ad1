#include "DecodeCache.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Ravelin/FilenameHeader.hpp"
#include "Ravelin/ImportSteps.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/FileType.hpp"
#include "platform/text/RichText.hpp"

#include <utility>

namespace Pelmora_Zava {

void AsyncImporter::importURL(const std::filesystem::path& file) {
  const std::optional<std::string> typeIdentifier = platform::fileTypeIdentifier(file);
  Ravelin::logImport(typeIdentifier, " from url");
  importFileBytes(file, typeIdentifier, std::make_shared<const platform::Data>(platform::readFile(file)));
}

void AsyncImporter::importFile(const std::filesystem::path& file, std::shared_ptr<const platform::Data> bytes) {
  const std::optional<std::string> typeIdentifier = platform::typeIdentifierForExtension(file);
  Ravelin::logImport(typeIdentifier, " from url");
  importFileBytes(file, typeIdentifier, std::move(bytes));
}

void AsyncImporter::importFileBytes(const std::filesystem::path& file, const std::optional<std::string>& typeIdentifier,
                                    std::shared_ptr<const platform::Data> bytes) {
  if (typeIdentifier == "public.rtf")
    bytes = std::make_shared<const platform::Data>(platform::Data::fromString(plainTextFromRTF(*bytes)));
  applyPresetAndImport(typeIdentifier, file, std::move(bytes));
}

void AsyncImporter::importString(std::string_view text, const std::optional<std::string>& typeIdentifier) {
  Ravelin::logImport(typeIdentifier, " from string");
  importData(platform::Data::fromString(text), typeIdentifier);
  setDataFile(std::nullopt);
  updateImportConfig([&](Ravelin::CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
}

void AsyncImporter::importText(std::shared_ptr<const platform::Data> text,
                               const std::optional<std::string>& typeIdentifier) {
  Ravelin::logImport(typeIdentifier, " from string");
  Ravelin::logImport(typeIdentifier, " from data");
  applyPresetAndImport(typeIdentifier, std::nullopt, std::move(text));
}

void AsyncImporter::importData(const std::optional<platform::Data>& data,
                               const std::optional<std::string>& typeIdentifier) {
  if (!data) {
    setFileView(std::nullopt);
    return;
  }
  Ravelin::logImport(typeIdentifier, " from data");
  applyPresetAndImport(typeIdentifier, std::nullopt, std::make_shared<const platform::Data>(*data));
}

// The datasource's location (or none) and bytes are stored, then the preset for its type
// is applied; the steps that these writes ask for run once, together, under the settings
// the import leaves in force, and a decode failure there fails the import.
void AsyncImporter::applyPresetAndImport(const std::optional<std::string>& typeIdentifier,
                                         std::optional<std::filesystem::path> file,
                                         std::shared_ptr<const platform::Data> bytes) {
  batch([&] {
    setDataFile(std::move(file));
    setData(std::move(bytes));
    updateImportConfig([&](Ravelin::CSVImportConfig& config) { config.updateForTypeIdentifier(typeIdentifier); });
  });
}

void AsyncImporter::batch(const std::function<void()>& changes) {
  observerDecodeError_ = nullptr;
  ++batchDepth_;
  try {
    changes();
  } catch (...) {
    --batchDepth_;
    throw;
  }
  --batchDepth_;
  if (batchDepth_ == 0 && !running_) runPendingSteps();
  if (observerDecodeError_) std::rethrow_exception(std::exchange(observerDecodeError_, nullptr));
}

void AsyncImporter::decodeData() {
  if (!data_) {
    platform::log("No data to decode");
    return;
  }
  platform::log("Decoding data and assigning headers");
  if (!decodeCache_ || decodeCache_->dataVersion != dataVersion_ || !(decodeCache_->config == importConfig_)) {
    decodeCache_.reset();
    FileView view = RecordCSV::CSVReader::decode(data_, importConfig_.readerConfiguration());
    decodeCache_ = std::make_unique<DecodeCache>(DecodeCache{dataVersion_, importConfig_, std::move(view)});
  }
  setFileView(decodeCache_->view);
  setHeaders(decodeCache_->view.headers());
}

void AsyncImporter::selectFilenameHeader() {
  if (!fileView_) {
    updateExportConfig([](Ravelin::CSVExportConfig& config) { config.selectedHeader = std::nullopt; });
    platform::log("No datasource set, resetting selected header.");
    return;
  }
  std::optional<std::string> header = chooseFilenameHeader(fileView_->headers());
  updateExportConfig([&](Ravelin::CSVExportConfig& config) { config.selectedHeader = std::move(header); });
}

std::optional<std::string> AsyncImporter::chooseFilenameHeader(const std::vector<std::string>& headers) {
  return Ravelin::chooseFilenameHeader(headers);
}

std::string AsyncImporter::plainTextFromRTF(const platform::Data& data) { return platform::RichText::plainText(data); }

}  // namespace Pelmora_Zava
