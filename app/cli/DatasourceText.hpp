#pragma once
// The datasource's text as the reader decodes it under the import settings in force, decoded at
// most once, on first use, for every line number and hint that needs it (a large datasource in
// UTF-16 costs a second of converting each time), and its one diagnosis, made from it on first use.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ImportTrial.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "TextDiagnosis.hpp"
#include "platform/core/Data.hpp"

namespace Pelmora_Zava::cli {

class DatasourceText {
 public:
  /// Decodes the importer's bytes under the import settings in force at the first use; the
  /// importer must outlive it. `names` says which fields the names are made of.
  DatasourceText(const AsyncImporter& importer, NameFields names) : importer_(importer), names_(std::move(names)) {}
  DatasourceText(const DatasourceText&) = delete;
  DatasourceText& operator=(const DatasourceText&) = delete;

  /// The datasource's bytes as the reader was given them; null without a datasource.
  const platform::Data* bytes() const noexcept { return importer_.data().get(); }
  const RecordCSV::CSVReader::Configuration& configuration();
  /// The text, a leading byte-order mark dropped, up to the first place it cannot decode;
  /// nothing without a datasource or when the settings refuse the bytes.
  std::optional<std::string_view> text();
  /// The text's diagnosis under the configuration; null without a text.
  const TextDiagnosis* diagnosis();
  const NameFields& names() const noexcept { return names_; }

 private:
  const AsyncImporter& importer_;
  NameFields names_;
  std::optional<RecordCSV::CSVReader::Configuration> configuration_;
  std::string converted_;
  bool decoded_ = false;
  std::optional<std::string_view> text_;
  std::unique_ptr<TextDiagnosis> diagnosis_;
};

}  // namespace Pelmora_Zava::cli
