#include "Pelmora_Zava/AsyncImporter.hpp"

#include "DecodeCache.hpp"
#include "QVExtensions/ParallelRanges.hpp"
#include "platform/core/Log.hpp"

namespace Pelmora_Zava {

AsyncImporter::AsyncImporter(Ravelin::CSVImportConfig importConfig, Ravelin::CSVExportConfig exportConfig)
    : importConfig_(std::move(importConfig)), exportConfig_(std::move(exportConfig)) {
  updateExportConfig([](Ravelin::CSVExportConfig& config) { config.replaceIllegalChars = Ravelin::TextReplacement::underscore; });
}

// A large import's records are let go on several threads: one by one on this thread, a million
// of them take about as long as making them did.
AsyncImporter::~AsyncImporter() {
  for (FilenameList* list : {&fileNames_, &manualFilenames_, &datasourceFilenames_}) {
    QVExtensions::parallelRanges(list->size(), [list](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) (*list)[i].reset();
    });
    *list = FilenameList();
  }
}

void AsyncImporter::observe(unsigned steps) {
  pendingSteps_ |= steps;
  if (!running_ && batchDepth_ == 0) runPendingSteps();
}

// Steps run in the order decode, header choice, parse, combine; a step that an
// earlier one asks for again (through a nested write) runs once, later in the same run.
void AsyncImporter::runPendingSteps() {
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(running_);
  while (pendingSteps_ != 0) {
    const unsigned step = pendingSteps_ & (~pendingSteps_ + 1);  // the lowest pending one
    pendingSteps_ &= ~step;
    switch (step) {
      case decodeStep:
        decodeInObserver();
        break;
      case selectStep:
        selectFilenameHeader();
        break;
      case parseStep:
        parseFilenames();
        break;
      default:
        combineFilenames();
        break;
    }
  }
}

void AsyncImporter::decodeInObserver() {
  observerDecodeError_ = nullptr;
  try {
    decodeData();
  } catch (...) {
    observerDecodeError_ = std::current_exception();  // observers report nothing; imports look here
  }
}

void AsyncImporter::setDataFile(std::optional<std::filesystem::path> file) {
  willChange();
  dataFile_ = std::move(file);
}

void AsyncImporter::setData(std::optional<platform::Data> data) {
  setData(data ? std::make_shared<const platform::Data>(std::move(*data)) : nullptr);
}

void AsyncImporter::setData(std::shared_ptr<const platform::Data> data) {
  willChange();
  data_ = std::move(data);
  ++dataVersion_;
  observe(decodeStep | selectStep | parseStep | combineStep);
}

void AsyncImporter::setFileView(std::optional<FileView> view) {
  willChange();
  fileView_ = std::move(view);
}

void AsyncImporter::setImportConfig(Ravelin::CSVImportConfig config) {
  willChange();
  importConfig_ = std::move(config);
  platform::log("Did Set ImportConfig");
  observe(decodeStep | selectStep | parseStep | combineStep);
}

void AsyncImporter::updateImportConfig(const std::function<void(Ravelin::CSVImportConfig&)>& change) {
  Ravelin::CSVImportConfig config = importConfig_;
  change(config);
  setImportConfig(std::move(config));
}

void AsyncImporter::setExportConfig(Ravelin::CSVExportConfig config) {
  willChange();
  exportConfig_ = std::move(config);
  platform::log("Did Set ExportConfig");
  observe(parseStep | combineStep);
}

void AsyncImporter::updateExportConfig(const std::function<void(Ravelin::CSVExportConfig&)>& change) {
  Ravelin::CSVExportConfig config = exportConfig_;
  change(config);
  setExportConfig(std::move(config));
}

void AsyncImporter::setTokenProvider(TokenValueProvider provider) {
  tokenProvider_ = std::move(provider);
  platform::log("Did Set TokenProvider");
  observe(parseStep | combineStep);
}

void AsyncImporter::setHeaders(std::vector<std::string> headers) {
  willChange();
  headers_ = std::move(headers);
}

void AsyncImporter::setError(std::exception_ptr error) {
  willChange();
  error_ = std::move(error);
}

void AsyncImporter::setFileNames(FilenameList names) {
  willChange();
  fileNames_ = std::move(names);
  longestFolderName_.reset();
}

void AsyncImporter::setDatasourceFilenames(FilenameList names) {
  willChange();
  datasourceFilenames_ = std::move(names);
  platform::log("Did Set Datasource Filenames");
  observe(combineStep);
}

void AsyncImporter::setManualFilenames(FilenameList names) {
  willChange();
  manualFilenames_ = std::move(names);
  platform::log("Did Set Manual Filenames");
  observe(combineStep);
}

void AsyncImporter::updateManualFilenames(const std::function<void(FilenameList&)>& change) {
  FilenameList names = manualFilenames_;
  change(names);
  setManualFilenames(std::move(names));
}

}  // namespace Pelmora_Zava
