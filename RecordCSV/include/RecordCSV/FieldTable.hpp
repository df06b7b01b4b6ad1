#pragma once
// Every field of a file in one byte arena, with 32-bit end offsets in chunks, so a
// decoded file costs little more than its text and nothing is reallocated by copying.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace RecordCSV {

class FieldTable {
 public:
  FieldTable() = default;
  FieldTable(const FieldTable&) = delete;
  FieldTable& operator=(const FieldTable&) = delete;
  FieldTable(FieldTable&&) noexcept = default;
  FieldTable& operator=(FieldTable&&) noexcept = default;

  /// Room for this many bytes of field text without moving.
  void reserve(std::size_t bytes);

  std::size_t fieldCount() const noexcept { return count_; }
  std::size_t byteSize() const noexcept { return size_; }

  /// Field k (k below `fieldCount()`).
  std::string_view field(std::size_t k) const noexcept {
    const Chunk& chunk = chunks_[k >> chunkBits];
    const std::size_t i = k & (chunkSize - 1);
    const std::size_t start = chunk.base + (i ? chunk.ends[i - 1] : 0);
    return {arena_.get() + start, chunk.base + chunk.ends[i] - start};
  }

  // Building: bytes go to the field in progress until `endField`.
  void append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    if (count > capacity_ - size_) grow(count);
    std::memcpy(arena_.get() + size_, bytes, count);
    size_ += count;
  }
  /// A whole field: `append`, then `endField`. `readable` bytes from `bytes` on (at least
  /// `count`) may be read, which lets a short field be copied in one fixed-size step.
  void appendField(const char* bytes, std::size_t count, std::size_t readable) {
    constexpr std::size_t step = 32;
    if (count <= step && readable >= step && capacity_ - size_ >= step) {
      std::memcpy(arena_.get() + size_, bytes, step);
      size_ += count;
    } else {
      append(bytes, count);
    }
    endField();
  }
  /// The text of the field in progress.
  std::string_view currentField() const noexcept { return {arena_.get() + fieldStart_, size_ - fieldStart_}; }
  /// Drops the last `count` bytes of the field in progress.
  void dropBytes(std::size_t count) noexcept { size_ -= count; }
  void endField() {
    const std::size_t chunk = count_ >> chunkBits;
    if (chunk == chunks_.size()) return endFieldSlowly();
    const std::size_t relative = size_ - chunks_[chunk].base;
    if (relative > 0xFFFFFFFFu) return endFieldSlowly();
    chunks_[chunk].ends.push_back(static_cast<std::uint32_t>(relative));
    ++count_;
    fieldStart_ = size_;
  }
  /// Back to `fields` fields and `bytes` bytes, as they were before a row that is not kept.
  void truncate(std::size_t fields, std::size_t bytes);
  void clear() { truncate(0, 0); }

 private:
  static constexpr std::size_t chunkBits = 14;
  static constexpr std::size_t chunkSize = std::size_t{1} << chunkBits;
  struct Free {
    void operator()(char* p) const noexcept { std::free(p); }
  };
  struct Chunk {
    std::size_t base;  // where the chunk's first field starts
    std::vector<std::uint32_t> ends;  // relative to base; grows to chunkSize, so small tables stay small
  };
  void grow(std::size_t count);
  /// Starts a chunk, or refuses a chunk of more than 4 GiB.
  void endFieldSlowly();

  std::unique_ptr<char, Free> arena_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t fieldStart_ = 0;
  std::size_t count_ = 0;
  std::vector<Chunk> chunks_;
};

}  // namespace RecordCSV
