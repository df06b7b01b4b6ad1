#include "platform/io/InputStream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "FileDescriptor.hpp"

namespace platform {

std::ptrdiff_t InputStream::read(std::uint8_t* buffer, std::size_t maxLength) {
  if (status() == StreamStatus::atEnd) return 0;
  if (!isUsable()) return -1;
  const std::ptrdiff_t count = readBytes(buffer, maxLength);
  if (count == 0 && maxLength > 0) setStatus(StreamStatus::atEnd);
  return count;
}

bool InputStream::hasBytesAvailable() const { return isUsable() && mayHaveBytes(); }

namespace {

class MemoryInputStream final : public InputStream {
 public:
  explicit MemoryInputStream(Data data) : data_(std::move(data)) {}
  std::string description() const override { return "memory input stream of " + std::to_string(data_.size()) + " bytes"; }

 protected:
  std::exception_ptr openResources() override { return nullptr; }
  std::exception_ptr closeResources() override { return nullptr; }
  std::ptrdiff_t readBytes(std::uint8_t* buffer, std::size_t maxLength) override {
    const std::size_t count = std::min(maxLength, data_.size() - position_);
    std::copy_n(data_.data() + position_, count, buffer);
    position_ += count;
    return static_cast<std::ptrdiff_t>(count);
  }
  bool mayHaveBytes() const override { return position_ < data_.size(); }

 private:
  Data data_;
  std::size_t position_ = 0;
};

class DescriptorInputStream final : public InputStream {
 public:
  explicit DescriptorInputStream(FileDescriptor descriptor) : descriptor_(std::move(descriptor)) {}
  ~DescriptorInputStream() override { releaseResources(); }
  std::string description() const override { return descriptor_.description("input stream"); }

 protected:
  std::exception_ptr openResources() override { return descriptor_.open(O_RDONLY); }
  std::exception_ptr closeResources() override { return descriptor_.close(); }
  std::ptrdiff_t readBytes(std::uint8_t* buffer, std::size_t maxLength) override {
    ssize_t count;
    do count = ::read(descriptor_.get(), buffer, maxLength);
    while (count < 0 && errno == EINTR);
    if (count < 0) {
      fail(posixError(errno));
      return -1;
    }
    return count;
  }

 private:
  FileDescriptor descriptor_;
};

}  // namespace

std::shared_ptr<InputStream> InputStream::withData(Data data) {
  return std::make_shared<MemoryInputStream>(std::move(data));
}

std::shared_ptr<InputStream> InputStream::withFile(const std::filesystem::path& location) {
  if (location.empty()) return nullptr;
  return std::make_shared<DescriptorInputStream>(FileDescriptor(location, -1, true));
}

std::shared_ptr<InputStream> InputStream::withFileDescriptor(int descriptor, bool closesDescriptor) {
  return std::make_shared<DescriptorInputStream>(FileDescriptor({}, descriptor, closesDescriptor));
}

std::shared_ptr<InputStream> InputStream::standardInput() { return withFileDescriptor(STDIN_FILENO, false); }

}  // namespace platform
