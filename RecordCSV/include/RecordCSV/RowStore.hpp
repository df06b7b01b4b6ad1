#pragma once
// Where a file view's rows live. A row whose fields are all plain slices of the input
// text (no doubled escaping scalar, nothing to trim) is kept as its place in that text,
// which the store keeps alive, and split again when asked for: the view then costs
// 8 bytes a row on top of the input. Every other row is copied into a field table.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "RecordCSV/FieldTable.hpp"

namespace RecordCSV {

class RowStore {
 public:
  /// Wider or longer rows are copied, so that a row's field bounds fit in a small fixed array.
  static constexpr std::size_t maximumSliceFields = 32;
  static constexpr std::size_t maximumSliceLength = 0xFFFF;

  /// How the fields of a slice are separated: a one-byte delimiter and, unless -1, the
  /// byte that encloses an escaped field.
  struct Dialect {
    char delimiter = ',';
    int quote = '"';
  };

  /// Every row copied into `copied`, `fieldsPerRow` fields each.
  RowStore(FieldTable copied, std::size_t fieldsPerRow);
  /// Rows added one by one, as slices of the text from `text` to `end` (kept alive by `owner`) or copies.
  RowStore(std::shared_ptr<const void> owner, const char* text, const char* end, Dialect dialect);
  /// Rows added one by one, a slice's text copied into the store (room for `bytes` reserved),
  /// for text that does not stay: one copy a row instead of one a field.
  RowStore(Dialect dialect, std::size_t bytes);

  std::size_t size() const noexcept { return rows_; }
  std::size_t fieldsPerRow() const noexcept { return fieldsPerRow_; }
  const FieldTable& copied() const noexcept { return copied_; }
  FieldTable& copied() noexcept { return copied_; }
  Dialect dialect() const noexcept { return dialect_; }

  /// Where row `r` is: its text when it is a slice, otherwise the index of its first copied field.
  struct Place {
    std::string_view slice;
    std::size_t readable = 0;  // bytes that may be read from the slice's start, past its end too
    std::size_t firstField = 0;
    bool isSlice = false;
  };
  Place place(std::size_t r) const noexcept {
    if (slices_.empty()) return {{}, 0, r * fieldsPerRow_, false};
    const std::uint64_t entry = slices_[r];
    if (entry & copiedFlag) return {{}, 0, static_cast<std::size_t>(entry & ~copiedFlag) * fieldsPerRow_, false};
    const char* const slice = text_ + (entry >> lengthBits);
    return {{slice, static_cast<std::size_t>(entry & lengthMask)}, static_cast<std::size_t>(textEnd_ - slice), 0, true};
  }

  // Building, in row order.
  void setFieldsPerRow(std::size_t fields) noexcept { fieldsPerRow_ = fields; }
  /// A row of `length` bytes at `row`, a pointer into the text (`length` at most `maximumSliceLength`).
  void appendSlice(const char* row, std::size_t length) {
    if (copying_) {
      if (length > copyCapacity_ - copiedBytes_) growCopies(length);
      std::memcpy(copies_.get() + copiedBytes_, row, length);
      slices_.push_back(static_cast<std::uint64_t>(copiedBytes_) << lengthBits | length);
      copiedBytes_ += length;
    } else {
      slices_.push_back(static_cast<std::uint64_t>(row - text_) << lengthBits | length);
    }
    ++rows_;
  }
  /// The row whose fields were just appended to `copied()`.
  void appendCopied() {
    slices_.push_back(copiedFlag | copiedRows_++);
    ++rows_;
  }

 private:
  static constexpr unsigned lengthBits = 16;
  static constexpr std::uint64_t lengthMask = (std::uint64_t{1} << lengthBits) - 1;
  static constexpr std::uint64_t copiedFlag = std::uint64_t{1} << 63;

  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  /// Room for `count` more copied bytes; grown by realloc, which can move large blocks without copying.
  void growCopies(std::size_t count);

  std::shared_ptr<const void> owner_;
  // The text of the slices, when the store keeps its own.
  bool copying_ = false;
  std::unique_ptr<char, Free> copies_;
  std::size_t copiedBytes_ = 0;
  std::size_t copyCapacity_ = 0;
  const char* text_ = nullptr;
  const char* textEnd_ = nullptr;
  Dialect dialect_;
  std::vector<std::uint64_t> slices_;  // empty when every row is copied
  FieldTable copied_;
  std::uint64_t copiedRows_ = 0;
  std::size_t rows_ = 0;
  std::size_t fieldsPerRow_ = 0;
};

}  // namespace RecordCSV
