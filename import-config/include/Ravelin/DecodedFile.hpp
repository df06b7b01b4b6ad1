#pragma once
// The decoded datasource that an importer's subscriptions share: the last view
// given out, the decode that made it, and the name-column guess made of it. A
// decode is skipped when the same bytes were last decoded under equal settings, and
// a view equal to the one given out (the same rows and headers) is not given again.
// Belongs to one importer and its thread.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "Ravelin/CSVImportConfig.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Data.hpp"

namespace Ravelin {

class DecodedFile {
 public:
  using FileView = RecordCSV::CSVReader::FileView;
  struct Outcome {
    std::optional<FileView> view;  // absent when the decode failed
    std::exception_ptr error;
  };

  /// Marks the importer's bytes as new, so that the next decode reads them.
  void dataChanged() noexcept { ++dataVersion_; }
  /// Decodes `data` under `config`; nothing when these bytes were last decoded under equal settings.
  std::optional<Outcome> decode(const platform::Data& data, const CSVImportConfig& config);
  /// Gives out `view` unless it equals the view given out last; true when it is given out.
  bool giveOut(std::optional<FileView> view);
  /// Whether a view (or its absence) has been given out yet.
  bool givenOut() const noexcept { return givenOut_; }
  const std::optional<FileView>& view() const noexcept { return view_; }
  /// The name-column guess for the view given out (absent without one), when it differs from the last guess.
  std::optional<std::optional<std::string>> changedHeaderGuess();

 private:
  std::uint64_t dataVersion_ = 0;
  std::optional<std::uint64_t> decodedVersion_;
  CSVImportConfig decodedConfig_;
  bool givenOut_ = false;
  std::optional<FileView> view_;
  std::optional<std::optional<std::string>> lastGuess_;
};

/// The name of a record without a name column: its fields in column order joined by single spaces.
std::string joinedFields(const RecordCSV::CSVReader::Row& row);

}  // namespace Ravelin
