#include "RecordCSV/FieldTable.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace RecordCSV {

FieldTable& FieldTable::operator=(FieldTable&& other) noexcept {
  if (this == &other) return *this;
  std::free(at_.arena);
  at_ = std::exchange(other.at_, {});
  chunks_ = std::move(other.chunks_);
  other.chunks_.clear();
  return *this;
}

void FieldTable::reserve(std::size_t bytes) {
  if (bytes <= at_.capacity) return;
  // realloc can move large blocks by remapping pages, without a second copy in memory.
  char* grown = static_cast<char*>(std::realloc(at_.arena, bytes));
  if (grown == nullptr) throw std::bad_alloc();
  at_.arena = grown;
  at_.capacity = bytes;
}

void FieldTable::grow(std::size_t count) {
  const std::size_t needed = at_.size + count;
  reserve(std::max(needed, at_.capacity + at_.capacity / 2 + 256));
}

void FieldTable::endFieldSlowly() {
  if (at_.ends == at_.endsLimit) {
    if (!chunks_.empty() && chunks_.back().capacity < chunkSize) {
      Chunk& chunk = chunks_.back();
      const auto used = static_cast<std::size_t>(at_.ends - chunk.ends.get());
      const std::size_t capacity = std::min(chunkSize, chunk.capacity * 2);
      auto grown = std::make_unique_for_overwrite<std::uint32_t[]>(capacity);
      std::copy_n(chunk.ends.get(), used, grown.get());
      chunk.ends = std::move(grown);
      chunk.capacity = capacity;
    } else {
      constexpr std::size_t firstCapacity = 16;
      chunks_.push_back({at_.fieldStart, std::make_unique_for_overwrite<std::uint32_t[]>(firstCapacity), firstCapacity});
    }
    placeEnds();
  }
  const std::size_t relative = at_.size - at_.chunkBase;
  if (relative > std::numeric_limits<std::uint32_t>::max())
    throw std::length_error("More than 4 GiB of text in 16384 consecutive fields");
  *at_.ends++ = static_cast<std::uint32_t>(relative);
  ++at_.count;
  at_.fieldStart = at_.size;
}

void FieldTable::placeEnds() noexcept {
  if (chunks_.empty()) {
    at_.chunkBase = 0;
    at_.ends = at_.endsLimit = nullptr;
    return;
  }
  Chunk& last = chunks_.back();
  at_.chunkBase = last.base;
  at_.ends = last.ends.get() + (at_.count - ((chunks_.size() - 1) << chunkBits));
  at_.endsLimit = last.ends.get() + last.capacity;
}

void FieldTable::truncate(std::size_t fields, std::size_t bytes) {
  at_.count = fields;
  at_.size = bytes;
  at_.fieldStart = bytes;
  const std::size_t chunksNeeded = (fields + chunkSize - 1) >> chunkBits;
  // The chunk that the next field starts keeps its room, so that a table cleared after
  // every row allocates nothing; it starts where the kept text ends.
  const bool keepNext = fields % chunkSize == 0 && chunks_.size() > chunksNeeded;
  chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunksNeeded + (keepNext ? 1 : 0)), chunks_.end());
  if (keepNext) chunks_.back().base = bytes;
  placeEnds();
}

}  // namespace RecordCSV
