#pragma once
// Every field of a file in one byte arena, with 32-bit end offsets in chunks, so a
// decoded file costs little more than its text and nothing is reallocated by copying.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace RecordCSV {

class FieldTable {
  /// Everything that building a field reads or moves.
  struct Position {
    char* arena = nullptr;  // malloc'ed, so that reserve can realloc it
    std::size_t size = 0;
    std::size_t capacity = 0;
    std::size_t fieldStart = 0;
    std::size_t count = 0;
    std::size_t chunkBase = 0;  // the last chunk's base
    std::uint32_t* ends = nullptr;  // where the last chunk's next end goes
    std::uint32_t* endsLimit = nullptr;  // `ends` is here when that chunk is full
  };

 public:
  FieldTable() = default;
  ~FieldTable() { std::free(at_.arena); }
  FieldTable(const FieldTable&) = delete;
  FieldTable& operator=(const FieldTable&) = delete;
  FieldTable(FieldTable&& other) noexcept { *this = std::move(other); }
  FieldTable& operator=(FieldTable&& other) noexcept;

  /// Room for this many bytes of field text without moving.
  void reserve(std::size_t bytes);

  std::size_t fieldCount() const noexcept { return at_.count; }
  std::size_t byteSize() const noexcept { return at_.size; }

  /// Field k (k below `fieldCount()`).
  std::string_view field(std::size_t k) const noexcept {
    const Chunk& chunk = chunks_[k >> chunkBits];
    const std::size_t i = k & (chunkSize - 1);
    const std::size_t start = chunk.base + (i ? chunk.ends[i - 1] : 0);
    return {at_.arena + start, chunk.base + chunk.ends[i] - start};
  }

  // Building: bytes go to the field in progress until `endField`.
  void append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (count > at_.capacity - at_.size) grow(count);
    std::memcpy(at_.arena + at_.size, bytes, count);
    at_.size += count;
  }
  /// A whole field: `append`, then `endField`. `readable` bytes from `bytes` on (at least
  /// `count`) may be read, which lets a short field be copied in one fixed-size step.
  void appendField(const char* bytes, std::size_t count, std::size_t readable) {
    constexpr std::size_t step = 32;
    if (count <= step && readable >= step && at_.capacity - at_.size >= step) {
      std::memcpy(at_.arena + at_.size, bytes, step);
      at_.size += count;
    } else {
      append(bytes, count);
    }
    endField();
  }
  void endField() {
    const std::size_t relative = at_.size - at_.chunkBase;
    if (at_.ends == at_.endsLimit || relative > 0xFFFFFFFFu) return endFieldSlowly();
    *at_.ends++ = static_cast<std::uint32_t>(relative);
    ++at_.count;
    at_.fieldStart = at_.size;
  }
  /// The text of the field in progress.
  std::string_view currentField() const noexcept { return {at_.arena + at_.fieldStart, at_.size - at_.fieldStart}; }
  /// Drops the last `count` bytes of the field in progress.
  void dropBytes(std::size_t count) noexcept { at_.size -= count; }
  /// Back to `fields` fields and `bytes` bytes, as they were before a row that is not kept.
  void truncate(std::size_t fields, std::size_t bytes);
  void clear() {
    // A table cleared after every row keeps its one chunk and its room.
    if (chunks_.size() != 1) return truncate(0, 0);
    Chunk& chunk = chunks_.front();
    chunk.base = 0;
    at_.size = at_.fieldStart = at_.count = at_.chunkBase = 0;
    at_.ends = chunk.ends.get();
    at_.endsLimit = at_.ends + chunk.capacity;
  }

 private:
  static constexpr std::size_t chunkBits = 14;
  static constexpr std::size_t chunkSize = std::size_t{1} << chunkBits;
  struct Chunk {
    std::size_t base;  // where the chunk's first field starts
    std::unique_ptr<std::uint32_t[]> ends;  // relative to base; grows to chunkSize, so small tables stay small
    std::size_t capacity;
  };
  void grow(std::size_t count);
  /// Makes room for the next end, in the chunk or in a new one, or refuses a chunk of more than 4 GiB.
  void endFieldSlowly();
  /// Points `ends` after the last field, in the last chunk.
  void placeEnds() noexcept;

  Position at_;
  std::vector<Chunk> chunks_;
};

}  // namespace RecordCSV
