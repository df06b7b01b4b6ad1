#include "platform/io/OutputStream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "FileDescriptor.hpp"

namespace platform {

std::ptrdiff_t OutputStream::write(const std::uint8_t* bytes, std::size_t length) {
  if (!isUsable()) return -1;
  return writeBytes(bytes, length);
}

namespace {

// Keeps its bytes in blocks, so that growing never copies what was written;
// the blocks are joined when the bytes are asked for.
class MemoryOutputStream final : public OutputStream {
 public:
  static constexpr std::size_t blockSize = 1 << 20;

  std::string description() const override { return "memory output stream"; }
  std::optional<Data> dataWrittenToMemory() const override {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size_);
    for (const auto& block : blocks_) bytes.insert(bytes.end(), block.begin(), block.end());
    return Data(std::move(bytes));
  }

 protected:
  std::exception_ptr openResources() override { return nullptr; }
  std::exception_ptr closeResources() override { return nullptr; }
  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override {
    std::size_t left = length;
    while (left > 0) {
      if (blocks_.empty() || blocks_.back().size() == blocks_.back().capacity()) {
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(blockSize, left));
      }
      std::vector<std::uint8_t>& block = blocks_.back();
      const std::size_t piece = std::min(left, block.capacity() - block.size());
      block.insert(block.end(), bytes, bytes + piece);
      bytes += piece;
      left -= piece;
    }
    size_ += length;
    return static_cast<std::ptrdiff_t>(length);
  }

 private:
  std::vector<std::vector<std::uint8_t>> blocks_;
  std::size_t size_ = 0;
};

// Collects bytes and hands them to the descriptor in large blocks: one system
// call per small write would dominate the cost of writing text.
class DescriptorOutputStream final : public OutputStream {
 public:
  static constexpr std::size_t capacity = 64 * 1024;

  DescriptorOutputStream(FileDescriptor descriptor, bool append) : descriptor_(std::move(descriptor)), append_(append) {}
  ~DescriptorOutputStream() override { releaseResources(); }
  std::string description() const override { return descriptor_.description("output stream"); }

 protected:
  std::exception_ptr openResources() override {
    if (std::exception_ptr failure = descriptor_.open(O_WRONLY | O_CREAT | (append_ ? O_APPEND : O_TRUNC)))
      return failure;
    buffer_.reserve(capacity);
    return nullptr;
  }

  std::exception_ptr closeResources() override {
    std::exception_ptr failure = flush();
    std::exception_ptr closeFailure = descriptor_.close();
    buffer_ = {};
    return failure ? failure : closeFailure;
  }

  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override {
    if (buffer_.size() + length > capacity) {
      if (std::exception_ptr failure = flush()) {
        fail(std::move(failure));
        return -1;
      }
    }
    if (length >= capacity) {
      if (std::exception_ptr failure = writeAll(bytes, length)) {
        fail(std::move(failure));
        return -1;
      }
    } else {
      buffer_.insert(buffer_.end(), bytes, bytes + length);
    }
    return static_cast<std::ptrdiff_t>(length);
  }

 private:
  std::exception_ptr flush() {
    std::exception_ptr failure = writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
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
  std::vector<std::uint8_t> buffer_;
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
