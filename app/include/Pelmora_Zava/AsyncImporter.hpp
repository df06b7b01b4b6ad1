#pragma once
// The importer that the main window observes: it holds the datasource, the
// import and export settings, the token expressions and three name lists, and
// re-derives the lists whenever a setting or a list is written. Main thread only.
//
// Every write of an observed property runs its observer, even when the value is
// unchanged. Observers that a write triggers inside another observer's run are
// folded into that run, so each step (decode, header choice, parse, combine)
// runs once per change, in that order.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Pelmora_Zava/Filename.hpp"
#include "Pelmora_Zava/TokenValueProvider.hpp"
#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/core/Data.hpp"

namespace Pelmora_Zava {

class AsyncImporter {
 public:
  using FilenameList = std::vector<std::shared_ptr<Filename>>;
  using FileView = RecordCSV::CSVReader::FileView;

  AsyncImporter(Ravelin::CSVImportConfig importConfig, Ravelin::CSVExportConfig exportConfig);
  ~AsyncImporter();
  AsyncImporter(const AsyncImporter&) = delete;
  AsyncImporter& operator=(const AsyncImporter&) = delete;

  /// Announced before any published property changes.
  platform::Subject<>& objectWillChange() { return objectWillChange_; }

  // Properties. Writes through setters run the property's observer where it has one.
  const std::optional<std::filesystem::path>& dataFile() const noexcept { return dataFile_; }
  void setDataFile(std::optional<std::filesystem::path> file);
  /// The datasource's bytes, shared with the views decoded from them.
  const std::shared_ptr<const platform::Data>& data() const noexcept { return data_; }
  void setData(std::shared_ptr<const platform::Data> data);
  void setData(std::optional<platform::Data> data);
  const std::optional<FileView>& fileView() const noexcept { return fileView_; }
  void setFileView(std::optional<FileView> view);
  const Ravelin::CSVImportConfig& importConfig() const noexcept { return importConfig_; }
  void setImportConfig(Ravelin::CSVImportConfig config);
  /// Changes a copy and assigns it once, so that the observer runs once.
  void updateImportConfig(const std::function<void(Ravelin::CSVImportConfig&)>& change);
  const Ravelin::CSVExportConfig& exportConfig() const noexcept { return exportConfig_; }
  void setExportConfig(Ravelin::CSVExportConfig config);
  void updateExportConfig(const std::function<void(Ravelin::CSVExportConfig&)>& change);
  const TokenValueProvider& tokenProvider() const noexcept { return tokenProvider_; }
  void setTokenProvider(TokenValueProvider provider);
  const std::vector<std::string>& headers() const noexcept { return headers_; }
  void setHeaders(std::vector<std::string> headers);
  /// A slot for the views; the importer never sets it.
  const std::exception_ptr& error() const noexcept { return error_; }
  void setError(std::exception_ptr error);
  const FilenameList& fileNames() const noexcept { return fileNames_; }
  void setFileNames(FilenameList names);
  const FilenameList& datasourceFilenames() const noexcept { return datasourceFilenames_; }
  void setDatasourceFilenames(FilenameList names);
  const FilenameList& manualFilenames() const noexcept { return manualFilenames_; }
  void setManualFilenames(FilenameList names);
  void updateManualFilenames(const std::function<void(FilenameList&)>& change);

  // Imports. Each throws when the datasource cannot be read, or cannot be decoded under the
  // import settings that the import leaves in force (after the preset for its type).
  void importURL(const std::filesystem::path& file);
  /// A file import of bytes already read from `file`, such as a pipe's, which cannot be read
  /// twice: the type comes from the extension alone, and `dataFile` is `file`.
  void importFile(const std::filesystem::path& file, std::shared_ptr<const platform::Data> bytes);
  void importString(std::string_view text, const std::optional<std::string>& typeIdentifier);
  /// A text import of bytes already read, such as standard input's, shared rather than copied:
  /// it logs as `importString` does and leaves `dataFile` absent, but applies the preset for the
  /// type once, as a file import does, so that the datasource is decoded and named once.
  void importText(std::shared_ptr<const platform::Data> text, const std::optional<std::string>& typeIdentifier);
  void importData(const std::optional<platform::Data>& data, const std::optional<std::string>& typeIdentifier);

  /// Runs `changes`, then once the steps their writes ask for, under the settings they leave:
  /// an import followed by changes of both settings decodes and names once. Throws a decode
  /// failure of that run, as an import does; a batch inside a batch runs nothing of its own.
  void batch(const std::function<void()>& changes);

  /// Decodes `data` into `fileView` and `headers`; throws the reader's error, keeping the last view.
  void decodeData();
  /// Sets the export settings' selected header to the guess for the current headers.
  void selectFilenameHeader();
  /// The first header that looks like a file, image or plain name, else the first; absent for none.
  static std::optional<std::string> chooseFilenameHeader(const std::vector<std::string>& headers);
  /// The plain text of rich-text bytes (other bytes are taken as UTF-8 text).
  static std::string plainTextFromRTF(const platform::Data& data);

  /// Rebuilds `datasourceFilenames` from `fileView`.
  void parseFilenames();
  /// Rebuilds `fileNames`: every record processed, one per processed name, in natural order.
  void combineFilenames();
  /// A name after the clean-up of the current settings.
  std::string processName(std::string_view name) const;
  /// Writes the processed name and sub-folder names of one record, as combining would.
  void processFilename(Filename& record) const;
  /// Adds a hand-made name, or `times` numbered copies of it (the number first with `indexMode`).
  void addFilename(std::string_view name, std::int64_t times, bool indexMode);

  /// Whether the record names a folder: its processed name holds more than slashes.
  static bool hasFolderName(const Filename& record);
  /// The folder locations of one record: root/name, or root/name/sub for every sub-folder level.
  /// Empty, with a log line, for a record whose processed name is empty. Throws for a name
  /// with a "." or ".." component or a NUL character, whose folder would not lie below `root`.
  std::vector<std::filesystem::path> folderURLs(const Filename& record, const std::filesystem::path& root) const;
  /// The locations of every record of `fileNames`, in list order.
  std::vector<std::filesystem::path> allFolderURLs(const std::filesystem::path& root) const;
  /// Calls `visit` with each location of `allFolderURLs`, in order, holding none of them.
  void forEachFolderURL(const std::filesystem::path& root,
                        const std::function<void(const std::filesystem::path&)>& visit) const;
  /// Calls `visit` with each of those locations as the folder names below the root, in order,
  /// without a log line for skipped records; the views last for the call only.
  void forEachFolderLocation(const std::function<void(std::span<const std::string_view>)>& visit) const;
  /// Creates every location, one after the other; returns how many. The locations are checked
  /// first: one that an existing symbolic link leads outside the root fails the export before
  /// anything is made. Folders are then made from a descriptor of the root, so a link that
  /// appears meanwhile is entered only when it leads below the root; any other stops the export
  /// with the same error. The first folder that cannot be created stops the export with its
  /// error; earlier folders stay.
  std::size_t exportFolders(const std::filesystem::path& root);
  /// Throws, without making anything, the error of the first location (in order) that an export
  /// into `root` would stop at below it: a link that leads outside the root or to nowhere, as
  /// `exportFolders` refuses; anything but a folder (or a link to one) in a folder's place
  /// ("Not a directory", naming it and what it is); a name longer than the file system of the
  /// deepest existing folder above it takes ("File name too long"). Looks at each existing
  /// folder from its parent's descriptor and at nothing below a missing one; checks nothing
  /// where `root` cannot be opened as a folder.
  void checkFolderLocations(const std::filesystem::path& root) const;
  /// As `exportFolders`, without its look at every location first, for a caller that has just
  /// checked them (`checkFolderLocations`): the folders are walked once. A link met that leads
  /// out of the root still stops the export, after the folders made before it.
  std::size_t exportCheckedFolders(const std::filesystem::path& root);
  /// At least the longest folder name, in bytes, of the locations of `fileNames`, kept as the
  /// list is combined, so that a check against one limit needs no walk; SIZE_MAX when a name is
  /// one the export refuses. Absent after `setFileNames`, until the list is combined again.
  std::optional<std::size_t> longestFolderName() const noexcept { return longestFolderName_; }

  std::shared_ptr<Filename> makeDatasourceFilename(std::size_t position, const RecordCSV::CSVReader::Record& record,
                                                   const std::vector<std::string>& headers) const;
  static std::shared_ptr<Filename> makeRepeatedFilename(std::size_t repetition, std::string_view name, bool indexMode);

 private:
  enum Step : unsigned { decodeStep = 1, selectStep = 2, parseStep = 4, combineStep = 8 };
  struct DecodeCache;

  /// Marks the steps an observer runs; they run at once unless a run is already under way.
  void observe(unsigned steps);
  void runPendingSteps();
  void decodeInObserver();
  void importFileBytes(const std::filesystem::path& file, const std::optional<std::string>& typeIdentifier,
                       std::shared_ptr<const platform::Data> bytes);
  void applyPresetAndImport(const std::optional<std::string>& typeIdentifier, std::optional<std::filesystem::path> file,
                            std::shared_ptr<const platform::Data> bytes);
  void willChange() { objectWillChange_.send(); }

  platform::Subject<> objectWillChange_;
  std::optional<std::filesystem::path> dataFile_;
  std::shared_ptr<const platform::Data> data_;
  std::uint64_t dataVersion_ = 0;
  std::optional<FileView> fileView_;
  Ravelin::CSVImportConfig importConfig_;
  Ravelin::CSVExportConfig exportConfig_;
  TokenValueProvider tokenProvider_;
  std::vector<std::string> headers_;
  std::exception_ptr error_;
  FilenameList fileNames_;
  FilenameList datasourceFilenames_;
  FilenameList manualFilenames_;
  std::optional<std::size_t> longestFolderName_;

  unsigned pendingSteps_ = 0;
  int batchDepth_ = 0;
  bool running_ = false;
  std::exception_ptr observerDecodeError_;  // of the last decode an observer ran
  std::unique_ptr<DecodeCache> decodeCache_;
};

}  // namespace Pelmora_Zava
