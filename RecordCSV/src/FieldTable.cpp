#include "RecordCSV/FieldTable.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

namespace RecordCSV {

void FieldTable::reserve(std::size_t bytes) {
  if (bytes <= capacity_) return;
  // realloc can move large blocks by remapping pages, without a second copy in memory.
  char* grown = static_cast<char*>(std::realloc(arena_.get(), bytes));
  if (grown == nullptr) throw std::bad_alloc();
  (void)arena_.release();
  arena_.reset(grown);
  capacity_ = bytes;
}

void FieldTable::grow(std::size_t count) {
  const std::size_t needed = size_ + count;
  reserve(std::max(needed, capacity_ + capacity_ / 2 + 256));
}

void FieldTable::endFieldSlowly() {
  const std::size_t chunk = count_ >> chunkBits;
  if (chunk == chunks_.size()) chunks_.push_back({fieldStart_, {}});
  const std::size_t relative = size_ - chunks_[chunk].base;
  if (relative > std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("More than 4 GiB of text in 16384 consecutive fields");
  chunks_[chunk].ends.push_back(static_cast<std::uint32_t>(relative));
  ++count_;
  fieldStart_ = size_;
}

void FieldTable::truncate(std::size_t fields, std::size_t bytes) {
  count_ = fields;
  size_ = bytes;
  fieldStart_ = bytes;
  const std::size_t chunksNeeded = (fields + chunkSize - 1) >> chunkBits;
  // The chunk that the next field starts keeps its room, so that a table cleared after
  // every row allocates nothing; it starts where the kept text ends.
  const bool keepNext = fields % chunkSize == 0 && chunks_.size() > chunksNeeded;
  while (chunks_.size() > chunksNeeded + (keepNext ? 1 : 0)) chunks_.pop_back();
  if (keepNext) {
    chunks_.back().base = bytes;
    chunks_.back().ends.clear();
  }
  if (chunksNeeded > 0) chunks_[chunksNeeded - 1].ends.resize(fields - ((chunksNeeded - 1) << chunkBits));
}

}  // namespace RecordCSV
