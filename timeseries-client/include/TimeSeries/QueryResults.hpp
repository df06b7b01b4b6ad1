#pragma once
// What a query answer is read into: tables described by their columns, and records that
// map column names to typed values. A record holds no reference to its table.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"

namespace TimeSeries {

class ResultColumn {
 public:
  ResultColumn(std::int64_t index, std::string dataType) : index_(index), dataType_(std::move(dataType)) {}

  std::int64_t index() const noexcept { return index_; }
  const std::string& dataType() const noexcept { return dataType_; }

  std::string name;
  /// Whether the column belongs to the table's group key.
  bool group = false;
  /// What an empty cell stands for.
  std::string defaultValue;

 private:
  std::int64_t index_;
  std::string dataType_;
};

class ResultTable {
 public:
  std::vector<ResultColumn> columns;
};

class ResultRecord {
 public:
  using Value = std::variant<bool, std::uint64_t, std::int64_t, double, std::string, platform::Date, platform::Data>;
  /// Column name and value, in column order; each name once.
  using Values = std::vector<std::pair<std::string, Value>>;
  /// Column names that the records of one table share.
  using Names = std::vector<std::string>;

  explicit ResultRecord(Values values) : values_(std::move(values)), paired_(true) {}
  /// The value under each of `names`, in order (each name once, one value each). The names
  /// are shared, not copied, until `values()` first pairs them up.
  ResultRecord(std::shared_ptr<const Names> names, std::vector<Value> values)
      : names_(std::move(names)), unpaired_(std::move(values)) {}

  /// A column whose cell has no value has no entry. A record of shared names makes the
  /// pairs at the first call: like its parser, it is used by one thread at a time.
  const Values& values() const;
  /// The value under `name`, or null.
  const Value* value(std::string_view name) const noexcept;

  /// Numbers equal by value across the three number kinds, exactly; a boolean equals only a
  /// boolean; texts, dates and bytes by content.
  static bool equal(const Value& a, const Value& b) noexcept;
  /// The same names with equal values, in any order.
  friend bool operator==(const ResultRecord& a, const ResultRecord& b) noexcept;

 private:
  std::shared_ptr<const Names> names_;
  std::vector<Value> unpaired_;  // with `names_`
  mutable Values values_;
  mutable bool paired_ = false;
};

}  // namespace TimeSeries
