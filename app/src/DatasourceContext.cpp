#include "DatasourceContext.hpp"

namespace Pelmora_Zava {

std::optional<std::string_view> AsyncImporter::DatasourceContext::find(std::size_t row, std::string_view key,
                                                                       std::string& scratch) const {
  if (!view_.headers().empty()) {
    if (auto column = view_.lookup().find(key)) {
      RecordCSV::CSVReader::Row fields = view_[row];
      if (*column < fields.size()) return fields[*column];
      return std::nullopt;  // a short row has no field here: the header's entry is removed
    }
  }
  if (key == "Datasource") return datasource_ ? std::optional<std::string_view>(*datasource_) : std::nullopt;
  if (key == "Index") {
    scratch = std::to_string(row + 1);
    return std::string_view(scratch);
  }
  return std::nullopt;
}

std::map<std::string, std::string> AsyncImporter::DatasourceContext::entries(std::size_t row) const {
  return entries(row, view_.record(row), view_.headers(), datasource_);
}

std::map<std::string, std::string> AsyncImporter::DatasourceContext::entries(
    std::size_t position, const RecordCSV::CSVReader::Record& record, const std::vector<std::string>& headers,
    const std::optional<std::string>& datasource) {
  std::map<std::string, std::string> context;
  context["Index"] = std::to_string(position + 1);
  if (datasource) context["Datasource"] = *datasource;
  for (const std::string& header : headers) {
    if (auto field = record[header])
      context[header] = std::string(*field);
    else
      context.erase(header);
  }
  return context;
}

}  // namespace Pelmora_Zava
