#pragma once
// Field texts that reached the encoder's sink before the writer could take them, by
// (row, field) position. Built for in-order arrival: positions that come after every
// stored one are appended to a sorted run whose texts share an arena of blocks; the few
// that arrive out of order go to a sorted map. Memory grows with the fields stored, never
// with the index values, and nothing stored is ever copied to make room.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace RecordCSV {

class ShadowEncoderBuffer {
 public:
  struct Position {
    std::int64_t row = 0;
    std::int64_t field = 0;
    friend auto operator<=>(const Position&, const Position&) = default;
  };
  struct Field {
    std::int64_t index = 0;
    std::string text;
  };

  struct Entry {
    Position position;
    const char* text;  // the text's length as a varint, then the text, in the arena
  };

  /// Blocks of texts that never move.
  class Arena {
   public:
    explicit Arena(std::size_t firstBlock) : firstBlock_(firstBlock) {}
    /// A stable copy of `text`, for `textAt`.
    const char* add(std::string_view text);
    /// Forgets every text, keeping the first block for reuse.
    void clear() noexcept;
    static std::string_view textAt(const char* stored);

   private:
    struct Block {
      std::unique_ptr<char[]> bytes;
      std::size_t size;
    };
    std::vector<Block> blocks_;
    std::size_t used_ = 0;
    std::size_t firstBlock_;
  };

  /// Every stored field at once, in row-then-field order; the buffer is empty once made.
  class Drained {
   public:
    /// The next position in order, or nothing at the end.
    std::optional<Position> peek() const;
    /// The next field; false at the end.
    bool next(Position& position, std::string_view& text);

   private:
    friend class ShadowEncoderBuffer;
    std::deque<Entry> entries_;
    std::size_t entry_ = 0;
    Arena arena_{0};
    std::vector<std::pair<Position, std::string>> sparse_;
    std::size_t sparseEntry_ = 0;
  };

  /// `expectedFields` is the room reserved per row, `reservedRows` the rows made room for.
  ShadowEncoderBuffer(std::int64_t expectedFields, std::size_t reservedRows);

  /// Puts a text at a position, replacing any text there.
  void store(std::string_view text, Position position);
  /// Removes the text at a position; whether there was one.
  bool remove(Position position);
  /// Removes and gives the text at a position.
  std::optional<std::string> take(Position position);
  /// Removes one row and gives its fields in ascending order.
  std::vector<Field> takeRow(std::int64_t row);
  /// Removes everything.
  Drained drain();

  bool empty() const noexcept { return active() == 0 && sparse_.empty(); }
  /// The number of rows holding at least one field.
  std::int64_t rowCount() const;
  /// The number of fields stored for a row.
  std::int64_t fieldCount(std::int64_t row) const;
  std::optional<std::int64_t> highestRow() const;
  std::optional<std::int64_t> highestField(std::int64_t row) const;
  /// Whether `position` comes right after the highest position stored: the next field of its
  /// row, or the first of the next row. Such a position needs no padding.
  bool follows(Position position) const noexcept {
    if (active() == 0) return false;
    const Position& last = entries_.back().position;
    return (position.row == last.row && position.field > 0 && position.field - 1 == last.field) ||
           (position.field == 0 && position.row > 0 && position.row - 1 == last.row);
  }

 private:
  std::size_t active() const noexcept { return entries_.size() - begin_; }
  static std::string_view textOf(const Entry& entry) { return Arena::textAt(entry.text); }
  /// The active entries of one row.
  std::pair<std::size_t, std::size_t> rowRange(std::int64_t row) const;
  /// Removes an active entry, keeping the distinct-row count right.
  void eraseEntry(std::size_t i);
  void resetWhenEmpty();
  void dropRemovedFront();

  // The sorted run: entries_[begin_...]. Every position of `sparse_` lies before the last
  // entry, removed ones included, so a position after it is always new.
  std::deque<Entry> entries_;
  std::size_t begin_ = 0;
  Arena arena_;
  std::int64_t activeRows_ = 0;  // distinct rows among the active entries
  std::map<Position, std::string> sparse_;
  std::size_t expectedFields_;
};

}  // namespace RecordCSV
