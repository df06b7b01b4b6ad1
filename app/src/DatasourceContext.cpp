#include "DatasourceContext.hpp"

#include <cstddef>

#include "QVExtensions/ParallelRanges.hpp"
#include "Ravelin/DecodedFile.hpp"

namespace Pelmora_Zava {

// Beyond a few headers a scan of them costs more than the lookup it saves.
constexpr std::size_t maximumHeaderColumns = 32;

DatasourceContext::DatasourceContext(FileView view, std::optional<std::string> datasource, std::string headerPrefix)
    : view_(std::move(view)), datasource_(std::move(datasource)), headerPrefix_(std::move(headerPrefix)) {
  if (view_.headers().size() > maximumHeaderColumns) return;
  for (const std::string& header : view_.headers())
    if (auto column = view_.lookup().find(header)) headerColumns_.emplace_back(headerPrefix_ + header, *column);
}

std::optional<std::string_view> DatasourceContext::find(std::size_t row, std::string_view key,
                                                        std::string& scratch) const {
  std::optional<std::size_t> column;
  for (const auto& [spelling, index] : headerColumns_)
    if (spelling == key) {
      column = index;
      break;
    }
  if (!column && !view_.headers().empty() && key.starts_with(headerPrefix_))
    column = view_.lookup().find(key.substr(headerPrefix_.size()));
  if (column) {
    RecordCSV::CSVReader::Row fields = view_[row];
    if (*column < fields.size()) return fields[*column];
    return std::nullopt;  // a short row has no field here: the header's entry is removed
  }
  if (key == "Datasource") return datasource_ ? std::optional<std::string_view>(*datasource_) : std::nullopt;
  if (key == "Index") {
    scratch = std::to_string(row + 1);
    return std::string_view(scratch);
  }
  return std::nullopt;
}

std::map<std::string, std::string> DatasourceContext::entries(std::size_t row) const {
  return entries(row, view_.record(row), view_.headers(), datasource_, headerPrefix_);
}

std::map<std::string, std::string> DatasourceContext::entries(std::size_t position,
                                                              const RecordCSV::CSVReader::Record& record,
                                                              const std::vector<std::string>& headers,
                                                              const std::optional<std::string>& datasource,
                                                              std::string_view headerPrefix) {
  std::map<std::string, std::string> context;
  context["Index"] = std::to_string(position + 1);
  if (datasource) context["Datasource"] = *datasource;
  for (const std::string& header : headers) {
    std::string key = std::string(headerPrefix) + header;
    if (auto field = record[header])
      context[key] = std::string(*field);
    else
      context.erase(key);
  }
  return context;
}

std::vector<std::shared_ptr<Filename>> makeDatasourceFilenames(const std::shared_ptr<const DatasourceContext>& table,
                                                               const std::optional<std::string>& header) {
  const DatasourceContext::FileView& view = table->view();
  std::optional<std::size_t> column;
  if (header && !view.headers().empty()) column = view.lookup().find(*header);
  std::vector<std::shared_ptr<Filename>> names(view.size());
  QVExtensions::parallelRanges(view.size(), [&](std::size_t begin, std::size_t end) {
    // The records of one range share a reference count of their own, so that threads do not
    // contend for the table's.
    auto holder = std::make_shared<std::shared_ptr<const DatasourceContext>>(table);
    std::shared_ptr<const TokenContext::Table> local(holder, holder->get());
    // The records of one range live in one block that their pointers share: a million heap
    // blocks and reference counts of their own would be faulted in, counted and freed one by one.
    auto block = std::make_shared<std::vector<Filename>>();
    block->reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      RecordCSV::CSVReader::Row row = view[i];
      std::string name = column && *column < row.size() ? std::string(row[*column]) : Ravelin::joinedFields(row);
      names[i] = std::shared_ptr<Filename>(block, &block->emplace_back(std::move(name), false, TokenContext(local, i)));
    }
  });
  return names;
}

}  // namespace Pelmora_Zava
