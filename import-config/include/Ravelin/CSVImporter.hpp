#pragma once
// A self-contained importer: given a datasource and the two settings records, it
// keeps the headers, the datasource's names, the hand-made names and the final
// cleaned, de-duplicated, naturally sorted list up to date by itself, through
// subscriptions between its published properties.
//
// Use it on the main thread, and hold it by the std::shared_ptr that `make` gives:
// the final list is computed on the "CSVImport" queue and assigned on the main
// queue, by work that holds the importer weakly. Decoding failures land in `error`.

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"
#include "Ravelin/DecodedFile.hpp"
#include "Ravelin/LatestWork.hpp"
#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/concurrency/Published.hpp"
#include "platform/core/Data.hpp"

namespace Ravelin {

class CSVImporter : public std::enable_shared_from_this<CSVImporter> {
  struct Passkey {};

 public:
  using Names = std::vector<std::string>;

  /// A new importer whose export settings replace illegal characters with "_", wired up.
  static std::shared_ptr<CSVImporter> make(CSVImportConfig importConfig, CSVExportConfig exportConfig);
  CSVImporter(Passkey, CSVImportConfig importConfig, CSVExportConfig exportConfig);
  CSVImporter(const CSVImporter&) = delete;
  CSVImporter& operator=(const CSVImporter&) = delete;

  /// Announced before any published property changes.
  platform::Subject<>& objectWillChange() noexcept { return objectWillChange_; }

  const platform::Published<std::optional<platform::Data>>& data() const noexcept { return data_; }
  platform::DispatchQueue& importQueue() noexcept { return importQueue_; }
  platform::Published<CSVImportConfig>& importConfig() noexcept { return importConfig_; }
  platform::Published<CSVExportConfig>& exportConfig() noexcept { return exportConfig_; }
  platform::Published<Names>& headers() noexcept { return headers_; }
  /// The final list.
  platform::Published<Names>& fileNames() noexcept { return fileNames_; }
  /// The last decoding failure; absent after a decode that succeeds.
  platform::Published<std::exception_ptr>& error() noexcept { return error_; }
  const platform::Published<Names>& datasourceFilenames() const noexcept { return datasourceFilenames_; }
  const platform::Published<Names>& manualFilenames() const noexcept { return manualFilenames_; }

  /// Reads the file and its type now, throwing the platform's error naming the file when either
  /// fails (nothing changes then); stores the bytes and applies the type's preset on the main queue.
  void importURL(const std::filesystem::path& file);
  void importString(std::string_view text, const std::optional<std::string>& typeIdentifier);
  void importData(platform::Data data, const std::optional<std::string>& typeIdentifier);
  void addFilename(std::string name);

 private:
  void setupObservers();
  void importBytes(platform::Data bytes, const std::optional<std::string>& typeIdentifier, std::string_view source);
  void decode();
  void assignDatasourceFilenames();
  void computeFinalList();

  platform::Subject<> objectWillChange_;
  platform::Published<std::optional<platform::Data>> data_{objectWillChange_};
  platform::DispatchQueue importQueue_{"CSVImport"};
  platform::Published<CSVImportConfig> importConfig_;
  platform::Published<CSVExportConfig> exportConfig_;
  platform::Published<Names> headers_{objectWillChange_};
  platform::Published<Names> fileNames_{objectWillChange_};
  platform::Published<std::exception_ptr> error_{objectWillChange_};
  platform::Published<Names> datasourceFilenames_{objectWillChange_};
  platform::Published<Names> manualFilenames_{objectWillChange_};

  DecodedFile decoded_;
  platform::Subject<> decodedChanged_;  // the header, name-column and datasource-name subscriptions hear it
  LatestWork finalList_;
  std::vector<platform::AnyCancellable> tokens_;  // last, so that subscriptions end first
};

}  // namespace Ravelin
