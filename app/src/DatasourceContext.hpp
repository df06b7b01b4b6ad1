#pragma once
// The token values of every record of one decoded datasource, shared by all its
// name records: "Index" (the record number from 1), "Datasource" (the file's
// base name, for file imports) and one entry per header, which wins over both.

#include <optional>
#include <string>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Pelmora_Zava/TokenContext.hpp"

namespace Pelmora_Zava {

class AsyncImporter::DatasourceContext final : public TokenContext::Table {
 public:
  DatasourceContext(FileView view, std::optional<std::string> datasource)
      : view_(std::move(view)), datasource_(std::move(datasource)) {}

  std::optional<std::string_view> find(std::size_t row, std::string_view key, std::string& scratch) const override;
  std::map<std::string, std::string> entries(std::size_t row) const override;

  /// The context of one record on its own, by the same rules.
  static std::map<std::string, std::string> entries(std::size_t position, const RecordCSV::CSVReader::Record& record,
                                                    const std::vector<std::string>& headers,
                                                    const std::optional<std::string>& datasource);

 private:
  FileView view_;
  std::optional<std::string> datasource_;
};

}  // namespace Pelmora_Zava
