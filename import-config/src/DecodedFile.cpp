#include "Ravelin/DecodedFile.hpp"

#include "Ravelin/FilenameHeader.hpp"

namespace Ravelin {

std::optional<DecodedFile::Outcome> DecodedFile::decode(const platform::Data& data, const CSVImportConfig& config) {
  if (decodedVersion_ == dataVersion_ && decodedConfig_ == config) return std::nullopt;
  decodedVersion_ = dataVersion_;
  decodedConfig_ = config;
  Outcome outcome;
  try {
    outcome.view = RecordCSV::CSVReader::decode(data, config.readerConfiguration());
  } catch (...) {
    outcome.error = std::current_exception();
  }
  return outcome;
}

// Views with equal rows are equal; the headers must agree too, or a new file with the same rows
// under other headers would keep the old headers.
bool DecodedFile::giveOut(std::optional<FileView> view) {
  const bool same = view.has_value() == view_.has_value() &&
                    (!view || (*view == *view_ && view->headers() == view_->headers()));
  if (givenOut_ && same) return false;
  givenOut_ = true;
  view_ = std::move(view);
  return true;
}

std::optional<std::optional<std::string>> DecodedFile::changedHeaderGuess() {
  std::optional<std::string> guess = view_ ? chooseFilenameHeader(view_->headers()) : std::nullopt;
  if (lastGuess_ && *lastGuess_ == guess) return std::nullopt;
  lastGuess_ = guess;
  return lastGuess_;
}

std::string joinedFields(const RecordCSV::CSVReader::Row& row) {
  std::string name;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) name.push_back(' ');
    name.append(row[i]);
  }
  return name;
}

}  // namespace Ravelin
