#include <atomic>

#include "AddedFilenames.hpp"
#include "DatasourceContext.hpp"
#include "FolderNames.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Pelmora_Zava/ControlCharacters.hpp"
#include "QVExtensions/NaturalOrder.hpp"
#include "QVExtensions/ParallelRanges.hpp"
#include "QVExtensions/URLExtensions.hpp"
#include "Ravelin/DecodedFile.hpp"
#include "Ravelin/ProcessName.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"

namespace Pelmora_Zava {
namespace {

std::optional<std::string> datasourceName(const std::optional<std::filesystem::path>& file) {
  if (!file) return std::nullopt;
  return QVExtensions::baseName(*file);
}

}  // namespace

std::shared_ptr<Filename> AsyncImporter::makeDatasourceFilename(std::size_t position,
                                                                const RecordCSV::CSVReader::Record& record,
                                                                const std::vector<std::string>& headers) const {
  std::optional<std::string_view> field;
  if (exportConfig_.selectedHeader) field = record[*exportConfig_.selectedHeader];
  std::string name = field ? std::string(*field) : Ravelin::joinedFields(record.row());
  return Filename::make(std::move(name), false,
                        TokenContext(DatasourceContext::entries(position, record, headers, datasourceName(dataFile_))));
}

std::shared_ptr<Filename> AsyncImporter::makeRepeatedFilename(std::size_t repetition, std::string_view name,
                                                              bool indexMode) {
  const std::string number = std::to_string(repetition + 1);
  return Filename::make(indexMode ? number + std::string(name) : std::string(name) + number);
}

void AsyncImporter::parseFilenames() {
  if (!fileView_) {
    platform::log("No datasource available, setting empty filenames");
    setDatasourceFilenames({});
    return;
  }
  const std::optional<std::string>& header = exportConfig_.selectedHeader;
  platform::log("Updating filenames with header " + (header ? *header : std::string("no header")));

  // The same records as makeDatasourceFilename gives, sharing one context table.
  FilenameList names =
      makeDatasourceFilenames(std::make_shared<const DatasourceContext>(*fileView_, datasourceName(dataFile_)), header);
  setDatasourceFilenames(std::move(names));
}

void AsyncImporter::combineFilenames() {
  platform::log("Combining " + std::to_string(datasourceFilenames_.size()) + " datasource and " +
                std::to_string(manualFilenames_.size()) + " manual filenames");
  // The two lists are read in place as one: a combined copy would count every record up and down.
  const std::size_t datasourceCount = datasourceFilenames_.size();
  auto record = [&](std::size_t i) -> const std::shared_ptr<Filename>& {
    return i < datasourceCount ? datasourceFilenames_[i] : manualFilenames_[i - datasourceCount];
  };
  const std::size_t count = datasourceCount + manualFilenames_.size();
  // Each record is processed just before its name is keyed, while it is at hand, and measured
  // then for the export's check. The longest only grows, so few records write it.
  std::atomic<std::size_t> longest{0};
  const std::vector<std::size_t> kept = QVExtensions::naturallySortedUniquePositions(
      count, [&](std::size_t i) -> std::string_view { return record(i)->processedName(); },
      [&](std::size_t i) {
        Filename& name = *record(i);
        processFilename(name);
        const std::size_t length = longestFolderNameOf(name);
        for (std::size_t seen = longest.load(std::memory_order_relaxed);
             length > seen && !longest.compare_exchange_weak(seen, length, std::memory_order_relaxed);) {
        }
      });
  FilenameList names(kept.size());
  QVExtensions::parallelRanges(kept.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) names[k] = record(kept[k]);
  });
  setFileNames(std::move(names));
  longestFolderName_ = longest.load(std::memory_order_relaxed);
  platform::log("There are now " + std::to_string(fileNames_.size()) + " total filenames");
}

std::string AsyncImporter::processName(std::string_view name) const {
  return Ravelin::processName(name, importConfig_, exportConfig_);
}

void AsyncImporter::processFilename(Filename& record) const {
  record.setProcessedName(processName(tokenProvider_.processFirstRootFolder(record.filename(), record.context())));
  std::vector<std::string> subfolders = tokenProvider_.processSubfolders(record.processedName(), record.context());
  for (std::string& name : subfolders) name = processName(name);
  record.setProcessedSubDirs(std::move(subfolders));
}

void AsyncImporter::addFilename(std::string_view name, std::int64_t times, bool indexMode) {
  FilenameList added = addedFilenames(name, times, indexMode);
  updateManualFilenames([&](FilenameList& names) { names.insert(names.end(), added.begin(), added.end()); });
}

std::vector<std::shared_ptr<Filename>> addedFilenames(std::string_view name, std::int64_t times, bool indexMode) {
  const std::string visible = platform::toUTF8(visualizingControlCharacters(name, true));
  std::vector<std::shared_ptr<Filename>> added;
  if (times > 0) {
    platform::log("Adding new filename: " + visible + " " + std::to_string(times) + " times");
    added.reserve(static_cast<std::size_t>(times));
    for (std::int64_t j = 0; j < times; ++j)
      added.push_back(AsyncImporter::makeRepeatedFilename(static_cast<std::size_t>(j), name, indexMode));
  } else {
    platform::log("Adding new filename: " + visible);
    added.push_back(Filename::make(std::string(name)));
  }
  return added;
}

}  // namespace Pelmora_Zava
