#include "platform/io/OutputStream.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "FileDescriptor.hpp"

namespace platform {

std::ptrdiff_t OutputStream::write(const std::uint8_t* bytes, std::size_t length) {
  if (!isUsable()) return -1;
  return writeBytes(bytes, length);
}

namespace {

constexpr std::size_t hugePage = 2 << 20;

// Asks for huge pages where the memory is large: a fault per 2 MiB instead of per 4 KiB is most
// of the cost of filling fresh memory of tens of megabytes.
void adviseHugePages(void* memory, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1), last = (start + size) & ~(hugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)memory, (void)size;
#endif
}

// Keeps its bytes in blocks, so that growing never copies what was written;
// the blocks are joined when the bytes are asked for.
class MemoryOutputStream final : public OutputStream {
 public:
  static constexpr std::size_t blockSize = 1 << 20;
  // Blocks grow with the output up to the largest size; large ones are made of huge pages.
  static constexpr std::size_t largestBlock = 8 * hugePage, largeBlock = 2 * hugePage;

  std::string description() const override { return "memory output stream"; }
  std::optional<Data> dataWrittenToMemory() const override {
    const std::size_t size = blocks_.empty() ? 0 : fullSize_ + lastSize();
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    if (size >= largeBlock) adviseHugePages(bytes.data(), size);
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const std::uint8_t* start = blocks_[i].bytes.get();
      bytes.insert(bytes.end(), start, start + (i + 1 == blocks_.size() ? lastSize() : blocks_[i].size));
    }
    return Data(std::move(bytes));
  }

 protected:
  std::exception_ptr openResources() override { return nullptr; }
  std::exception_ptr closeResources() override {
    if (!blocks_.empty()) blocks_.back().size = lastSize();
    setRoom(nullptr, nullptr, nullptr);
    return nullptr;
  }
  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override {
    std::size_t left = length;
    while (left > 0) {
      if (blocks_.empty() || cursor() == blockEnd()) addBlock(left);
      const std::size_t piece = std::min(left, static_cast<std::size_t>(blockEnd() - cursor()));
      std::memcpy(cursor(), bytes, piece);
      setRoom(cursor() + piece, blockEnd(), blockEnd());
      bytes += piece;
      left -= piece;
    }
    return static_cast<std::ptrdiff_t>(length);
  }
  std::span<std::uint8_t> reserveBytes(std::size_t length) override {
    // The end of a block too short for the room stays unused: where blocks end is never seen.
    if (blocks_.empty() || static_cast<std::size_t>(blockEnd() - cursor()) < length) addBlock(length);
    return {cursor(), blockEnd()};
  }
  std::ptrdiff_t commitBytes(std::size_t length) override {
    setRoom(cursor() + length, blockEnd(), blockEnd());
    return static_cast<std::ptrdiff_t>(length);
  }

 private:
  struct Free {
    void operator()(std::uint8_t* memory) const noexcept { std::free(memory); }
  };
  struct Block {
    std::unique_ptr<std::uint8_t[], Free> bytes;
    std::size_t size = 0;  // of a block before the last, or of the last once closed; else see `cursor()`
    std::size_t capacity = 0;
  };

  std::uint8_t* blockEnd() const { return blocks_.back().bytes.get() + blocks_.back().capacity; }
  std::size_t lastSize() const {
    const Block& last = blocks_.back();
    return cursor() ? static_cast<std::size_t>(cursor() - last.bytes.get()) : last.size;
  }
  void addBlock(std::size_t atLeast) {
    if (!blocks_.empty()) {
      blocks_.back().size = lastSize();
      fullSize_ += blocks_.back().size;
    }
    std::size_t capacity = std::max({blockSize, atLeast, std::min(fullSize_, largestBlock)});
    void* memory = nullptr;
    if (capacity >= largeBlock) {
      capacity = (capacity + hugePage - 1) & ~(hugePage - 1);
      memory = std::aligned_alloc(hugePage, capacity);
      if (memory) adviseHugePages(memory, capacity);
    } else {
      memory = std::malloc(capacity);
    }
    if (!memory) throw std::bad_alloc();
    auto* const start = static_cast<std::uint8_t*>(memory);
    blocks_.push_back({std::unique_ptr<std::uint8_t[], Free>(start), 0, capacity});
    setRoom(start, start + capacity, start + capacity);
  }

  std::vector<Block> blocks_;
  std::size_t fullSize_ = 0;  // the bytes in the blocks before the last
};

// Collects bytes and hands them to the descriptor in large blocks: one system
// call per small write would dominate the cost of writing text.
class DescriptorOutputStream final : public OutputStream {
 public:
  static constexpr std::size_t capacity = 64 * 1024;

  DescriptorOutputStream(FileDescriptor descriptor, bool append) : descriptor_(std::move(descriptor)), append_(append) {}
  ~DescriptorOutputStream() override { releaseResources(); }
  std::string description() const override { return descriptor_.description("output stream"); }
  int fileDescriptor() const override { return isUsable() ? descriptor_.get() : -1; }

 protected:
  std::exception_ptr openResources() override {
    if (std::exception_ptr failure = descriptor_.open(O_WRONLY | O_CREAT | (append_ ? O_APPEND : O_TRUNC)))
      return failure;
    allocate(2 * capacity);
    return nullptr;
  }

  std::exception_ptr closeResources() override {
    std::exception_ptr failure = flush();
    std::exception_ptr closeFailure = descriptor_.close();
    setRoom(nullptr, nullptr, nullptr);
    storage_.reset();
    room_ = 0;
    return failure ? failure : closeFailure;
  }

  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override { return take(bytes, length); }

  std::span<std::uint8_t> reserveBytes(std::size_t length) override {
    // A huge piece goes to the descriptor as it is instead of growing the buffer for it.
    if (length > maximumRoom) return {};
    if (buffered() + length > room_) allocate(std::max(buffered() + length, 2 * capacity));
    return {cursor(), storage_.get() + room_};
  }
  std::ptrdiff_t commitBytes(std::size_t length) override { return take(cursor(), length); }

 private:
  static constexpr std::size_t maximumRoom = 16 * capacity;

  // Nothing is buffered once a failure took the room away.
  std::size_t buffered() const { return cursor() ? static_cast<std::size_t>(cursor() - storage_.get()) : 0; }
  // The room ends where the buffer holds `capacity` bytes: a commit that reaches it needs `take`.
  void setBuffered(std::size_t buffered) {
    setRoom(storage_.get() + buffered, storage_.get() + capacity, storage_.get() + room_);
  }

  // The buffer holds at most `capacity` bytes between calls, whichever way they came in, so
  // that the system calls, and the call that meets a failure, do not depend on the way.
  std::ptrdiff_t take(const std::uint8_t* bytes, std::size_t length) {
    if (buffered() + length > capacity) {
      if (std::exception_ptr failure = flush()) return failed(std::move(failure));
    }
    if (length >= capacity) {
      if (std::exception_ptr failure = writeAll(bytes, length)) return failed(std::move(failure));
    } else {
      // Committed bytes are in place unless a flush came first.
      if (bytes != cursor()) std::memmove(cursor(), bytes, length);
      setBuffered(buffered() + length);
    }
    return static_cast<std::ptrdiff_t>(length);
  }

  std::ptrdiff_t failed(std::exception_ptr failure) {
    setRoom(nullptr, nullptr, nullptr);
    fail(std::move(failure));
    return -1;
  }

  void allocate(std::size_t room) {
    const std::size_t kept = storage_ ? buffered() : 0;
    auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    if (kept > 0) std::memcpy(bigger.get(), storage_.get(), kept);
    storage_ = std::move(bigger);
    room_ = room;
    setBuffered(kept);
  }

  std::exception_ptr flush() {
    std::exception_ptr failure = writeAll(storage_.get(), buffered());
    setBuffered(0);
    return failure;
  }

  std::exception_ptr writeAll(const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
      const ssize_t count = ::write(descriptor_.get(), bytes, length);
      if (count < 0) {
        if (errno == EINTR) continue;
        return posixError(errno);
      }
      bytes += count;
      length -= static_cast<std::size_t>(count);
    }
    return nullptr;
  }

  FileDescriptor descriptor_;
  bool append_;
  std::unique_ptr<std::uint8_t[]> storage_;
  std::size_t room_ = 0;  // the storage's size, `capacity` and more for reserved room
};

}  // namespace

std::shared_ptr<OutputStream> OutputStream::toMemory() { return std::make_shared<MemoryOutputStream>(); }

std::shared_ptr<OutputStream> OutputStream::toFile(const std::filesystem::path& location, bool append) {
  if (location.empty()) return nullptr;
  return std::make_shared<DescriptorOutputStream>(FileDescriptor(location, -1, true), append);
}

std::shared_ptr<OutputStream> OutputStream::withFileDescriptor(int descriptor, bool closesDescriptor) {
  return std::make_shared<DescriptorOutputStream>(FileDescriptor({}, descriptor, closesDescriptor), false);
}

std::shared_ptr<OutputStream> OutputStream::standardOutput() { return withFileDescriptor(STDOUT_FILENO, false); }

}  // namespace platform
