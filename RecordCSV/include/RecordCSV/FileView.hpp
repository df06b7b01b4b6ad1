#pragma once
// A whole decoded file: the header row, the rows, records that can be asked for a
// field by header name, and columns. Rows and records are views into the file's
// shared, immutable row store; index accessors throw std::out_of_range.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/RowStore.hpp"

namespace RecordCSV {

namespace detail {
[[noreturn]] void throwOutOfRange(const char* what, std::size_t index, std::size_t size);

/// A random-access iterator over `owner[i]` for any owner with an indexing operator.
template <typename Owner, typename Value>
class IndexIterator {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using iterator_concept = std::random_access_iterator_tag;
  using value_type = Value;
  using difference_type = std::ptrdiff_t;
  using reference = Value;
  using pointer = void;

  IndexIterator() = default;
  IndexIterator(const Owner* owner, std::size_t index) : owner_(owner), index_(index) {}

  Value operator*() const { return (*owner_)[index_]; }
  Value operator[](difference_type n) const { return (*owner_)[index_ + n]; }
  IndexIterator& operator++() { ++index_; return *this; }
  IndexIterator operator++(int) { auto copy = *this; ++index_; return copy; }
  IndexIterator& operator--() { --index_; return *this; }
  IndexIterator operator--(int) { auto copy = *this; --index_; return copy; }
  IndexIterator& operator+=(difference_type n) { index_ += n; return *this; }
  IndexIterator& operator-=(difference_type n) { index_ -= n; return *this; }
  friend IndexIterator operator+(IndexIterator it, difference_type n) { return it += n; }
  friend IndexIterator operator+(difference_type n, IndexIterator it) { return it += n; }
  friend IndexIterator operator-(IndexIterator it, difference_type n) { return it -= n; }
  friend difference_type operator-(const IndexIterator& a, const IndexIterator& b) {
    return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
  }
  friend bool operator==(const IndexIterator& a, const IndexIterator& b) { return a.index_ == b.index_; }
  friend auto operator<=>(const IndexIterator& a, const IndexIterator& b) { return a.index_ <=> b.index_; }

 private:
  const Owner* owner_ = nullptr;
  std::size_t index_ = 0;
};
}  // namespace detail

/// One row's fields, a view valid while the file view or record it came from lives.
class CSVReader::Row {
 public:
  using iterator = detail::IndexIterator<Row, std::string_view>;

  Row() = default;
  Row(const FieldTable* table, std::size_t first, std::size_t size) : table_(table), first_(first), size_(size) {}
  /// Row `r` of `store`.
  Row(const RowStore& store, std::size_t r);

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  std::string_view operator[](std::size_t i) const {
    if (i >= size_) detail::throwOutOfRange("field", i, size_);
    if (slice_) return {slice_ + bound(2 * i), static_cast<std::size_t>(bound(2 * i + 1) - bound(2 * i))};
    return table_->field(first_ + i);
  }
  std::string_view at(std::size_t i) const { return (*this)[i]; }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size_}; }

  std::vector<std::string> toVector() const { return {begin(), end()}; }
  explicit operator std::vector<std::string>() const { return toVector(); }

  friend bool operator==(const Row& a, const Row& b);
  friend bool operator==(const Row& a, const std::vector<std::string>& b);

 private:
  /// Finds the fields of a row kept as a slice of the input text.
  void split(std::string_view text, std::size_t readable, RowStore::Dialect dialect) noexcept;

  const FieldTable* table_ = nullptr;
  std::size_t first_ = 0;
  std::size_t size_ = 0;
  std::uint16_t bound(std::size_t k) const noexcept {
    std::uint16_t value;
    std::memcpy(&value, bounds_ + 2 * k, sizeof value);
    return value;
  }
  void setBound(std::size_t k, std::size_t value) noexcept {
    const auto narrow = static_cast<std::uint16_t>(value);
    std::memcpy(bounds_ + 2 * k, &narrow, sizeof narrow);
  }

  const char* slice_ = nullptr;  // a slice's text; `bounds_` then hold each field's start and end in it
  // Bytes, so that the places a row does not use may be left unset (a row is made per access,
  // and clearing them cost more than splitting) and still be copied with the row.
  unsigned char bounds_[4 * RowStore::maximumSliceFields];
};

/// A row that can be asked for a field by header name. It keeps its file's text alive.
class CSVReader::Record {
 public:
  using iterator = detail::IndexIterator<Record, std::string_view>;

  Record(std::shared_ptr<const FieldTable> table, std::size_t first, std::size_t size,
         std::shared_ptr<const HeaderLookup> lookup)
      : row_(table.get(), first, size), keeper_(std::move(table)), lookup_(std::move(lookup)) {}
  /// Row `r` of `store`.
  Record(std::shared_ptr<const RowStore> store, std::size_t r, std::shared_ptr<const HeaderLookup> lookup)
      : row_(*store, r), keeper_(std::move(store)), lookup_(std::move(lookup)) {}

  const Row& row() const noexcept { return row_; }
  std::size_t size() const noexcept { return row_.size(); }
  bool empty() const noexcept { return row_.empty(); }
  std::string_view operator[](std::size_t i) const { return row_[i]; }
  /// The field in the column named `header`; nothing when no header has that text.
  std::optional<std::string_view> operator[](std::string_view header) const;
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }
  std::vector<std::string> toVector() const { return row_.toVector(); }

  /// Records are equal when their rows are; the lookup takes no part.
  friend bool operator==(const Record& a, const Record& b) { return a.row_ == b.row_; }
  /// Combines the field count, then each field's text.
  std::size_t hash() const noexcept;

 private:
  Row row_;
  std::shared_ptr<const void> keeper_;  // what the row's text lives in
  std::shared_ptr<const HeaderLookup> lookup_;
};

class CSVReader::FileView {
 public:
  using iterator = detail::IndexIterator<FileView, Row>;
  class RecordsView;
  class ColumnsView;

  /// No headers and no rows.
  FileView();
  FileView(std::vector<std::string> headers, std::shared_ptr<const RowStore> rows,
           std::shared_ptr<const HeaderLookup> lookup);

  const std::vector<std::string>& headers() const noexcept { return headers_; }
  const HeaderLookup& lookup() const noexcept { return *lookup_; }

  std::size_t size() const noexcept { return rows_->size(); }
  bool empty() const noexcept { return size() == 0; }
  Row operator[](std::size_t i) const {
    if (i >= size()) detail::throwOutOfRange("row", i, size());
    return Row(*rows_, i);
  }
  Row at(std::size_t i) const { return (*this)[i]; }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }
  /// The rows as owned texts.
  std::vector<std::vector<std::string>> rows() const;

  RecordsView records() const;
  ColumnsView columns() const;
  Record record(std::size_t i) const;
  std::string_view field(std::size_t row, std::size_t index) const { return (*this)[row][index]; }
  /// The text at `row` in the column named `header`; nothing when no header has that text.
  std::optional<std::string_view> field(std::size_t row, std::string_view header) const;
  /// Field i of every row; i must be below the number of headers.
  std::vector<std::string> column(std::size_t i) const;
  /// The column named `header`; nothing when no header has that text.
  std::optional<std::vector<std::string>> column(std::string_view header) const;

  /// File views are equal when their rows are; headers and lookups are not compared.
  friend bool operator==(const FileView& a, const FileView& b);

 private:
  std::vector<std::string> headers_;
  std::shared_ptr<const RowStore> rows_;
  std::shared_ptr<const HeaderLookup> lookup_;
};

class CSVReader::FileView::RecordsView {
 public:
  using iterator = detail::IndexIterator<RecordsView, Record>;
  explicit RecordsView(const FileView& file) : file_(file) {}
  std::size_t size() const noexcept { return file_.size(); }
  bool empty() const noexcept { return file_.empty(); }
  Record operator[](std::size_t i) const { return file_.record(i); }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }

 private:
  FileView file_;
};

class CSVReader::FileView::ColumnsView {
 public:
  using iterator = detail::IndexIterator<ColumnsView, std::vector<std::string>>;
  explicit ColumnsView(const FileView& file) : file_(file) {}
  std::size_t size() const noexcept { return file_.headers().size(); }
  bool empty() const noexcept { return size() == 0; }
  std::vector<std::string> operator[](std::size_t i) const { return file_.column(i); }
  iterator begin() const { return {this, 0}; }
  iterator end() const { return {this, size()}; }

 private:
  FileView file_;
};

}  // namespace RecordCSV

template <>
struct std::hash<RecordCSV::CSVReader::Record> {
  std::size_t operator()(const RecordCSV::CSVReader::Record& record) const noexcept { return record.hash(); }
};
