#pragma once
// The token values that belong to one name record: its record number, its
// datasource's name and its fields. Records of one datasource share one table,
// so a large datasource does not keep a map per record.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Pelmora_Zava {

class TokenContext {
 public:
  /// Values for many records at once, looked up by row.
  class Table {
   public:
    virtual ~Table() = default;
    /// The value of `key` for `row`; may point into `scratch`.
    virtual std::optional<std::string_view> find(std::size_t row, std::string_view key, std::string& scratch) const = 0;
    virtual std::map<std::string, std::string> entries(std::size_t row) const = 0;
  };

  TokenContext() = default;
  /// A context of its own.
  TokenContext(std::map<std::string, std::string> entries);  // NOLINT: a map is a context
  /// Row `row` of a shared table.
  TokenContext(std::shared_ptr<const Table> table, std::size_t row) : table_(std::move(table)), row_(row) {}

  /// The value of `key`, if any; may point into `scratch`, else into the context.
  std::optional<std::string_view> find(std::string_view key, std::string& scratch) const {
    if (!table_) return std::nullopt;
    return table_->find(row_, key, scratch);
  }
  std::optional<std::string> value(std::string_view key) const;
  /// Every entry, by key.
  std::map<std::string, std::string> entries() const { return table_ ? table_->entries(row_) : std::map<std::string, std::string>{}; }
  bool empty() const { return entries().empty(); }

  friend bool operator==(const TokenContext& a, const TokenContext& b) { return a.entries() == b.entries(); }

 private:
  std::shared_ptr<const Table> table_;
  std::size_t row_ = 0;
};

}  // namespace Pelmora_Zava
