#include <string>

#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV {

void detail::throwOutOfRange(const char* what, std::size_t index, std::size_t size) {
  throw std::out_of_range(std::string(what) + " index " + std::to_string(index) + " is outside 0..<" +
                          std::to_string(size));
}

bool operator==(const CSVReader::Row& a, const CSVReader::Row& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool operator==(const CSVReader::Row& a, const std::vector<std::string>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

std::optional<std::string_view> CSVReader::Record::operator[](std::string_view header) const {
  const std::optional<std::size_t> position = lookup_->find(header);
  if (!position) return std::nullopt;
  return row_[*position];
}

std::size_t CSVReader::Record::hash() const noexcept {
  std::size_t seed = std::hash<std::size_t>{}(size());
  for (std::string_view field : row_) seed ^= std::hash<std::string_view>{}(field) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
  return seed;
}

CSVReader::FileView::FileView()
    : rows_(std::make_shared<const RowStore>(FieldTable(), 0)), lookup_(std::make_shared<const HeaderLookup>()) {}

CSVReader::FileView::FileView(std::vector<std::string> headers, std::shared_ptr<const RowStore> rows,
                              std::shared_ptr<const HeaderLookup> lookup)
    : headers_(std::move(headers)), rows_(std::move(rows)), lookup_(std::move(lookup)) {}

std::vector<std::vector<std::string>> CSVReader::FileView::rows() const {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(size());
  for (const Row& row : *this) rows.push_back(row.toVector());
  return rows;
}

CSVReader::FileView::RecordsView CSVReader::FileView::records() const { return RecordsView(*this); }

CSVReader::FileView::ColumnsView CSVReader::FileView::columns() const { return ColumnsView(*this); }

CSVReader::Record CSVReader::FileView::record(std::size_t i) const {
  if (i >= size()) detail::throwOutOfRange("record", i, size());
  return Record(rows_, i, lookup_);
}

std::optional<std::string_view> CSVReader::FileView::field(std::size_t row, std::string_view header) const {
  const Row fields = (*this)[row];
  const std::optional<std::size_t> position = lookup_->find(header);
  if (!position) return std::nullopt;
  return fields[*position];
}

std::vector<std::string> CSVReader::FileView::column(std::size_t i) const {
  if (i >= headers_.size()) detail::throwOutOfRange("column", i, headers_.size());
  std::vector<std::string> column;
  column.reserve(size());
  for (const Row& row : *this) column.emplace_back(row[i]);
  return column;
}

std::optional<std::vector<std::string>> CSVReader::FileView::column(std::string_view header) const {
  const std::optional<std::size_t> position = lookup_->find(header);
  if (!position) return std::nullopt;
  return column(*position);
}

bool operator==(const CSVReader::FileView& a, const CSVReader::FileView& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace RecordCSV
