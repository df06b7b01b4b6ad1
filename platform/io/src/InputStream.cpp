#include "platform/io/InputStream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/ioctl.h>
#include <sys/stat.h>

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

/// Reads a descriptor. A descriptor the stream owns is read ahead in large blocks, so that
/// the small reads of a parser cost a copy rather than a system call; one the caller keeps
/// is read no further than asked, since the caller may go on reading it after the stream.
class DescriptorInputStream final : public InputStream {
 public:
  DescriptorInputStream(FileDescriptor descriptor, bool readsAhead)
      : descriptor_(std::move(descriptor)), readsAhead_(readsAhead) {}
  ~DescriptorInputStream() override { releaseResources(); }
  std::string description() const override { return descriptor_.description("input stream"); }

 protected:
  std::exception_ptr openResources() override { return descriptor_.open(O_RDONLY); }
  std::exception_ptr closeResources() override {
    ahead_.reset();
    aheadIndex_ = aheadEnd_ = 0;
    return descriptor_.close();
  }
  std::ptrdiff_t readBytes(std::uint8_t* buffer, std::size_t maxLength) override {
    if (aheadIndex_ == aheadEnd_) {
      // A read that meets the end or a failure is the one that reports it, as without read-ahead.
      if (!readsAhead_ || maxLength == 0 || maxLength >= readAheadCapacity) return readDescriptor(buffer, maxLength, true);
      const std::ptrdiff_t count = fillAhead(true);
      if (count <= 0) return count;
    }
    // A read gets what is buffered and, only when the descriptor has more waiting, more of that:
    // it never waits, and it is as long as it would be without read-ahead. A failure met while
    // topping up is left to the next read, which meets it again.
    std::size_t count = takeAhead(buffer, maxLength);
    while (count < maxLength && hasBytesWaiting()) {
      const std::size_t rest = maxLength - count;
      const std::ptrdiff_t more =
          rest >= readAheadCapacity ? readDescriptor(buffer + count, rest, false) : fillAhead(false);
      if (more <= 0) break;
      count += rest >= readAheadCapacity ? static_cast<std::size_t>(more) : takeAhead(buffer + count, rest);
    }
    return static_cast<std::ptrdiff_t>(count);
  }

 private:
  static constexpr std::size_t readAheadCapacity = std::size_t{1} << 16;

  std::ptrdiff_t readDescriptor(std::uint8_t* buffer, std::size_t maxLength, bool reportsFailure) {
    ssize_t count;
    do count = ::read(descriptor_.get(), buffer, maxLength);
    while (count < 0 && errno == EINTR);
    if (count < 0) {
      if (reportsFailure) fail(posixError(errno));
      return -1;
    }
    return count;
  }
  bool hasBytesWaiting() const {
    // FIONREAD counts a regular file's bytes left in an int, which gigabytes overflow.
    struct stat info {};
    if (::fstat(descriptor_.get(), &info) == 0 && S_ISREG(info.st_mode)) {
      const off_t offset = ::lseek(descriptor_.get(), 0, SEEK_CUR);
      return offset >= 0 && info.st_size > offset;
    }
    int waiting = 0;
    return ::ioctl(descriptor_.get(), FIONREAD, &waiting) == 0 && waiting > 0;
  }
  std::ptrdiff_t fillAhead(bool reportsFailure) {
    if (!ahead_) ahead_ = std::make_unique_for_overwrite<std::uint8_t[]>(readAheadCapacity);
    const std::ptrdiff_t count = readDescriptor(ahead_.get(), readAheadCapacity, reportsFailure);
    aheadIndex_ = 0;
    aheadEnd_ = count > 0 ? static_cast<std::size_t>(count) : 0;
    return count;
  }
  std::size_t takeAhead(std::uint8_t* buffer, std::size_t maxLength) {
    const std::size_t count = std::min(maxLength, aheadEnd_ - aheadIndex_);
    std::memcpy(buffer, ahead_.get() + aheadIndex_, count);
    aheadIndex_ += count;
    return count;
  }

  FileDescriptor descriptor_;
  bool readsAhead_;
  std::unique_ptr<std::uint8_t[]> ahead_;  // allocated by the first read that uses it
  std::size_t aheadIndex_ = 0;
  std::size_t aheadEnd_ = 0;
};

}  // namespace

std::shared_ptr<InputStream> InputStream::withData(Data data) {
  return std::make_shared<MemoryInputStream>(std::move(data));
}

std::shared_ptr<InputStream> InputStream::withFile(const std::filesystem::path& location) {
  if (location.empty()) return nullptr;
  return std::make_shared<DescriptorInputStream>(FileDescriptor(location, -1, true), true);
}

std::shared_ptr<InputStream> InputStream::withFileDescriptor(int descriptor, bool closesDescriptor) {
  return std::make_shared<DescriptorInputStream>(FileDescriptor({}, descriptor, closesDescriptor), closesDescriptor);
}

std::shared_ptr<InputStream> InputStream::standardInput() { return withFileDescriptor(STDIN_FILENO, false); }

}  // namespace platform
