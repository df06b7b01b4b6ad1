#pragma once
// The token values of every record of one decoded datasource, shared by all its
// name records: "Index" (the record number from 1), "Datasource" (the file's
// base name, for file imports) and one entry per header, named by the header after
// the importer's prefix, which wins over both. Immutable: any thread may read it.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Pelmora_Zava/Filename.hpp"
#include "Pelmora_Zava/TokenContext.hpp"
#include "RecordCSV/CSVReader.hpp"

namespace Pelmora_Zava {

class DatasourceContext final : public TokenContext::Table {
 public:
  using FileView = RecordCSV::CSVReader::FileView;

  DatasourceContext(FileView view, std::optional<std::string> datasource, std::string headerPrefix = {});

  const FileView& view() const noexcept { return view_; }
  std::optional<std::string_view> find(std::size_t row, std::string_view key, std::string& scratch) const override;
  std::map<std::string, std::string> entries(std::size_t row) const override;

  /// The context of one record on its own, by the same rules.
  static std::map<std::string, std::string> entries(std::size_t position, const RecordCSV::CSVReader::Record& record,
                                                    const std::vector<std::string>& headers,
                                                    const std::optional<std::string>& datasource,
                                                    std::string_view headerPrefix = {});

 private:
  FileView view_;
  std::optional<std::string> datasource_;
  std::string headerPrefix_;
  // The column of each key spelled as a header spells it, prefix included, as the file's header
  // lookup finds it: a token names the same few headers for every record.
  std::vector<std::pair<std::string, std::size_t>> headerColumns_;
};

/// One record per row of the table's datasource, not editable, with that row's context: named by
/// its field under `header`, or by the whole row when there is none or the file lacks that header.
std::vector<std::shared_ptr<Filename>> makeDatasourceFilenames(const std::shared_ptr<const DatasourceContext>& table,
                                                               const std::optional<std::string>& header);

}  // namespace Pelmora_Zava
