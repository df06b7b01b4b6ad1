#include "encoder/ShadowEncoderBuffer.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace RecordCSV {

std::optional<ShadowEncoderBuffer::Position> ShadowEncoderBuffer::Drained::peek() const {
  const bool hasEntry = entry_ < entries_.size();
  const bool hasSparse = sparseEntry_ < sparse_.size();
  if (hasEntry && (!hasSparse || entries_[entry_].position < sparse_[sparseEntry_].first))
    return entries_[entry_].position;
  if (hasSparse) return sparse_[sparseEntry_].first;
  return std::nullopt;
}

bool ShadowEncoderBuffer::Drained::next(Position& position, std::string_view& text) {
  const bool hasEntry = entry_ < entries_.size();
  const bool hasSparse = sparseEntry_ < sparse_.size();
  if (hasEntry && (!hasSparse || entries_[entry_].position < sparse_[sparseEntry_].first)) {
    const Entry& entry = entries_[entry_++];
    position = entry.position;
    text = textOf(entry);
    return true;
  }
  if (!hasSparse) return false;
  const auto& [where, field] = sparse_[sparseEntry_++];
  position = where;
  text = field;
  return true;
}

ShadowEncoderBuffer::ShadowEncoderBuffer(std::int64_t expectedFields, std::size_t reservedRows)
    : arena_(std::max<std::size_t>(reservedRows * static_cast<std::size_t>(std::max<std::int64_t>(expectedFields, 1)) * 16,
                                   256)),
      expectedFields_(static_cast<std::size_t>(std::max<std::int64_t>(expectedFields, 1))) {}

std::string_view ShadowEncoderBuffer::Arena::textAt(const char* stored) {
  std::size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*stored++);
    length |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) break;
  }
  return {stored, length};
}

const char* ShadowEncoderBuffer::Arena::add(std::string_view text) {
  constexpr std::size_t blockSize = std::size_t{1} << 20;
  constexpr std::size_t maximumPrefix = 10;
  const std::size_t needed = maximumPrefix + text.size();
  if (blocks_.empty() || blocks_.back().size - used_ < needed) {
    const std::size_t size = std::max(needed, blocks_.empty() ? firstBlock_ : blockSize);
    blocks_.push_back({std::make_unique_for_overwrite<char[]>(size), size});
    used_ = 0;
  }
  char* const start = blocks_.back().bytes.get() + used_;
  char* out = start;
  std::size_t length = text.size();
  for (; length >= 0x80; length >>= 7) *out++ = static_cast<char>((length & 0x7F) | 0x80);
  *out++ = static_cast<char>(length);
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  used_ = static_cast<std::size_t>(out - blocks_.back().bytes.get()) + text.size();
  return start;
}

void ShadowEncoderBuffer::Arena::clear() noexcept {
  if (blocks_.size() > 1) blocks_.resize(1);
  used_ = 0;
}

void ShadowEncoderBuffer::store(std::string_view text, Position position) {
  if (!sparse_.empty()) {
    if (const auto found = sparse_.find(position); found != sparse_.end()) {
      found->second.assign(text);
      return;
    }
  }
  if (entries_.empty() || entries_.back().position < position) {
    if (active() == 0 || entries_.back().position.row != position.row) ++activeRows_;
    entries_.push_back(Entry{position, arena_.add(text)});
    dropRemovedFront();
    return;
  }
  const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(begin_);
  const auto found = std::lower_bound(first, entries_.end(), position,
                                      [](const Entry& entry, const Position& p) { return entry.position < p; });
  // A replaced text stays in the arena until the buffer empties.
  if (found != entries_.end() && found->position == position)
    found->text = arena_.add(text);
  else
    sparse_.emplace(position, std::string(text));
}

std::optional<std::string> ShadowEncoderBuffer::take(Position position) {
  std::optional<std::string> text;
  if (const auto found = sparse_.find(position); found != sparse_.end()) {
    text = std::move(found->second);
    sparse_.erase(found);
  } else {
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(begin_);
    const auto entry = std::lower_bound(first, entries_.end(), position,
                                        [](const Entry& e, const Position& p) { return e.position < p; });
    if (entry == entries_.end() || entry->position != position) return std::nullopt;
    text = std::string(textOf(*entry));
    eraseEntry(static_cast<std::size_t>(entry - entries_.begin()));
  }
  resetWhenEmpty();
  return text;
}

bool ShadowEncoderBuffer::remove(Position position) { return take(position).has_value(); }

std::vector<ShadowEncoderBuffer::Field> ShadowEncoderBuffer::takeRow(std::int64_t row) {
  std::vector<Field> fields;
  auto [first, last] = rowRange(row);
  auto sparse = sparse_.lower_bound(Position{row, 0});
  while (first < last || (sparse != sparse_.end() && sparse->first.row == row)) {
    const bool fromRun =
        first < last && (sparse == sparse_.end() || sparse->first.row != row || entries_[first].position < sparse->first);
    if (fromRun) {
      fields.push_back({entries_[first].position.field, std::string(textOf(entries_[first]))});
      ++first;
    } else {
      fields.push_back({sparse->first.field, std::move(sparse->second)});
      sparse = sparse_.erase(sparse);
    }
  }
  const auto [start, end] = rowRange(row);
  if (start < end) {
    if (start == begin_) {
      begin_ = end;
      dropRemovedFront();
    } else {
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(start),
                     entries_.begin() + static_cast<std::ptrdiff_t>(end));
    }
    --activeRows_;
  }
  resetWhenEmpty();
  return fields;
}

ShadowEncoderBuffer::Drained ShadowEncoderBuffer::drain() {
  Drained drained;
  drained.entries_ = std::move(entries_);
  drained.entry_ = begin_;
  drained.arena_ = std::move(arena_);
  drained.sparse_.reserve(sparse_.size());
  for (auto& [position, text] : sparse_) drained.sparse_.emplace_back(position, std::move(text));
  entries_.clear();
  arena_.clear();
  sparse_.clear();
  begin_ = 0;
  activeRows_ = 0;
  return drained;
}

std::int64_t ShadowEncoderBuffer::rowCount() const {
  std::int64_t rows = activeRows_;
  std::optional<std::int64_t> previous;
  for (const auto& [position, text] : sparse_) {
    if (position.row == previous) continue;
    previous = position.row;
    const auto [first, last] = rowRange(position.row);
    if (first == last) ++rows;
  }
  return rows;
}

std::int64_t ShadowEncoderBuffer::fieldCount(std::int64_t row) const {
  const auto [first, last] = rowRange(row);
  auto count = static_cast<std::int64_t>(last - first);
  for (auto it = sparse_.lower_bound(Position{row, 0}); it != sparse_.end() && it->first.row == row; ++it) ++count;
  return count;
}

std::optional<std::int64_t> ShadowEncoderBuffer::highestRow() const {
  // Every sparse position lies before the run's last entry.
  if (active() > 0) return entries_.back().position.row;
  if (!sparse_.empty()) return sparse_.rbegin()->first.row;
  return std::nullopt;
}

std::optional<std::int64_t> ShadowEncoderBuffer::highestField(std::int64_t row) const {
  if (active() > 0 && entries_.back().position.row == row) return entries_.back().position.field;
  std::optional<std::int64_t> highest;
  const auto [first, last] = rowRange(row);
  if (first < last) highest = entries_[last - 1].position.field;
  auto it = sparse_.upper_bound(Position{row, std::numeric_limits<std::int64_t>::max()});
  if (it != sparse_.begin() && (--it)->first.row == row) highest = std::max(highest.value_or(0), it->first.field);
  return highest;
}

std::pair<std::size_t, std::size_t> ShadowEncoderBuffer::rowRange(std::int64_t row) const {
  const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(begin_);
  const auto start = std::lower_bound(first, entries_.end(), row,
                                      [](const Entry& entry, std::int64_t r) { return entry.position.row < r; });
  auto end = start;
  while (end != entries_.end() && end->position.row == row) ++end;
  return {static_cast<std::size_t>(start - entries_.begin()), static_cast<std::size_t>(end - entries_.begin())};
}

void ShadowEncoderBuffer::eraseEntry(std::size_t i) {
  const std::int64_t row = entries_[i].position.row;
  const bool sharesRow = (i > begin_ && entries_[i - 1].position.row == row) ||
                         (i + 1 < entries_.size() && entries_[i + 1].position.row == row);
  if (!sharesRow) --activeRows_;
  if (i == begin_) {
    ++begin_;
    dropRemovedFront();
  } else {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void ShadowEncoderBuffer::dropRemovedFront() {
  // Removed entries go, but the last one stays while it is the bound of the sparse positions.
  while (begin_ > 0 && begin_ < entries_.size()) {
    entries_.pop_front();
    --begin_;
  }
}

void ShadowEncoderBuffer::resetWhenEmpty() {
  // The run's last entry bounds the sparse positions, so it goes only with them.
  if (!empty()) return;
  entries_.clear();
  arena_.clear();
  begin_ = 0;
  activeRows_ = 0;
}

}  // namespace RecordCSV
