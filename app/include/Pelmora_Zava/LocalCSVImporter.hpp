#pragma once
// The older importer: the same job as AsyncImporter (datasource in, sorted list of
// processed name records out), driven by subscriptions between its published
// properties. Names are processed by a simpler rule: tokens from each record's own
// context only ("Index" and "$" + header), then the clean-up; no folder-name
// expression, no sub-folders, no export.
//
// Use it on the main thread, and hold it by the std::shared_ptr that `make` gives:
// the datasource's records and the processed list are made on the "CSVImport" queue
// from copies and assigned on the main queue, by work that holds the importer weakly.
// Decoding failures land in `error`.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Pelmora_Zava/Filename.hpp"
#include "Pelmora_Zava/TokenValueProvider.hpp"
#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"
#include "Ravelin/DecodedFile.hpp"
#include "Ravelin/LatestWork.hpp"
#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/concurrency/Published.hpp"
#include "platform/core/Data.hpp"

namespace Pelmora_Zava {

class LocalCSVImporter : public std::enable_shared_from_this<LocalCSVImporter> {
  struct Passkey {};

 public:
  using FilenameList = std::vector<std::shared_ptr<Filename>>;
  using Texts = std::vector<std::string>;

  /// A new importer with three hand-made "1 Filename" records, whose export settings replace
  /// illegal characters with "_", wired up.
  static std::shared_ptr<LocalCSVImporter> make(Ravelin::CSVImportConfig importConfig,
                                                 Ravelin::CSVExportConfig exportConfig);
  LocalCSVImporter(Passkey, Ravelin::CSVImportConfig importConfig, Ravelin::CSVExportConfig exportConfig);
  LocalCSVImporter(const LocalCSVImporter&) = delete;
  LocalCSVImporter& operator=(const LocalCSVImporter&) = delete;

  /// Announced before any published property changes.
  platform::Subject<>& objectWillChange() noexcept { return objectWillChange_; }

  /// The datasource file's name; absent after an import of text or bytes.
  platform::Published<std::optional<std::string>>& dataFilename() noexcept { return dataFilename_; }
  platform::Published<std::optional<platform::Data>>& data() noexcept { return data_; }
  platform::DispatchQueue& importQueue() noexcept { return importQueue_; }
  platform::Published<Ravelin::CSVImportConfig>& importConfig() noexcept { return importConfig_; }
  platform::Published<Ravelin::CSVExportConfig>& exportConfig() noexcept { return exportConfig_; }
  platform::Published<TokenValueProvider>& tokenProvider() noexcept { return tokenProvider_; }
  platform::Published<Texts>& headers() noexcept { return headers_; }
  /// One record per processed name, in natural order.
  platform::Published<FilenameList>& fileNames() noexcept { return fileNames_; }
  /// The last decoding failure; absent after a decode that succeeds.
  platform::Published<std::exception_ptr>& error() noexcept { return error_; }
  platform::Published<FilenameList>& datasourceFilenames() noexcept { return datasourceFilenames_; }
  platform::Published<FilenameList>& manualFilenames() noexcept { return manualFilenames_; }

  /// Names the datasource by the file's name at once; reads the file and its type now, throwing
  /// the platform's error naming the file when either fails; stores the bytes and applies the
  /// type's preset on the main queue. Rich text is taken as it is.
  void importURL(const std::filesystem::path& file);
  void importString(std::string_view text, const std::optional<std::string>& typeIdentifier);
  void importData(platform::Data data, const std::optional<std::string>& typeIdentifier);
  /// Adds a hand-made name, or `times` numbered copies of it (the number first with `indexMode`).
  void addFilename(std::string_view name, std::int64_t times, bool indexMode);

 private:
  void watchProperties();
  void importBytes(platform::Data bytes, const std::optional<std::string>& typeIdentifier, std::string_view source);
  void decode();
  void selectedHeaderChanged();
  void makeDatasourceRecords();
  void processNames();

  platform::Subject<> objectWillChange_;
  platform::Published<std::optional<std::string>> dataFilename_{objectWillChange_};
  platform::Published<std::optional<platform::Data>> data_{objectWillChange_};
  platform::DispatchQueue importQueue_{"CSVImport"};
  platform::Published<Ravelin::CSVImportConfig> importConfig_;
  platform::Published<Ravelin::CSVExportConfig> exportConfig_;
  platform::Published<TokenValueProvider> tokenProvider_{objectWillChange_};
  platform::Published<Texts> headers_{objectWillChange_};
  platform::Published<FilenameList> fileNames_{objectWillChange_};
  platform::Published<std::exception_ptr> error_{objectWillChange_};
  platform::Published<FilenameList> datasourceFilenames_{objectWillChange_};
  platform::Published<FilenameList> manualFilenames_;

  std::optional<platform::Data> presentData_;  // the last bytes `data` held: absent data is skipped
  Ravelin::DecodedFile decoded_;
  platform::Subject<> decodedChanged_;  // the header and header-guess chains hear it
  std::optional<std::optional<std::string>> selectedHeader_;  // as the datasource chain last saw it
  std::optional<FilenameList> lastDatasourceRecords_;       // the last list that chain gave
  Ravelin::LatestWork datasourceRecords_;
  Ravelin::LatestWork processing_;
  std::vector<platform::AnyCancellable> tokens_;  // last, so that subscriptions end first
};

}  // namespace Pelmora_Zava
