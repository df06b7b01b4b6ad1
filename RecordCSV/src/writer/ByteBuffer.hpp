#pragma once
// A growable run of bytes that, unlike std::string, hands out room at its end
// without filling it first: the writer copies and checks text in one pass.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace RecordCSV {

class ByteBuffer {
 public:
  const char* data() const noexcept { return data_.get(); }
  std::size_t size() const noexcept { return size_; }
  void clear() noexcept { size_ = 0; }
  /// Drops the bytes from `size` on.
  void truncate(std::size_t size) noexcept { size_ = std::min(size, size_); }

  /// Room for `count` more bytes at the end; `commit` then takes in the ones written.
  char* room(std::size_t count) {
    if (size_ + count > capacity_) grow(size_ + count);
    return data_.get() + size_;
  }
  void commit(std::size_t count) noexcept { size_ += count; }

  void append(const char* bytes, std::size_t count) {
    if (count == 0) return;
    std::memcpy(room(count), bytes, count);
    size_ += count;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void push_back(char byte) {
    *room(1) = byte;
    ++size_;
  }
  void insert(std::size_t at, std::string_view text) {
    char* end = room(text.size());
    char* at_ = data_.get() + at;
    std::memmove(at_ + text.size(), at_, static_cast<std::size_t>(end - at_));
    std::memcpy(at_, text.data(), text.size());
    size_ += text.size();
  }

 private:
  void grow(std::size_t needed) {
    const std::size_t capacity = std::max({needed, capacity_ * 2, std::size_t{256}});
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace RecordCSV
