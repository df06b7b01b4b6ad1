#include "DatasourceText.hpp"

#include "platform/core/Log.hpp"

namespace Pelmora_Zava::cli {

const RecordCSV::CSVReader::Configuration& DatasourceText::configuration() {
  if (!configuration_) configuration_ = importer_.importConfig().readerConfiguration();
  return *configuration_;
}

std::optional<std::string_view> DatasourceText::text() {
  if (decoded_) return text_;
  decoded_ = true;
  if (!bytes()) return text_;
  // Logged so that --verbose shows what a report costs beside the import's own decode.
  platform::log("Decoding the datasource's text for the command's report");
  text_ = RecordCSV::CSVReader::decodedText(*bytes(), configuration(), converted_);
  return text_;
}

const TextDiagnosis* DatasourceText::diagnosis() {
  if (!diagnosis_) {
    const std::optional<std::string_view> decoded = text();
    if (!decoded) return nullptr;
    diagnosis_ = std::make_unique<TextDiagnosis>(*decoded, configuration());
  }
  return diagnosis_.get();
}

}  // namespace Pelmora_Zava::cli
