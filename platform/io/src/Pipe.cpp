#include "platform/io/Pipe.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform {
namespace {

void closeDescriptor(int& descriptor) noexcept {
  if (descriptor >= 0) ::close(descriptor);  // never retried: Linux frees it even on EINTR
  descriptor = -1;
}

constexpr std::size_t chunkSize = 64 * 1024;

}  // namespace

Pipe::Pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  read_ = ends[0];
  write_ = ends[1];
}

Pipe::~Pipe() {
  closeRead();
  closeWrite();
}

void Pipe::closeRead() noexcept { closeDescriptor(read_); }
void Pipe::closeWrite() noexcept { closeDescriptor(write_); }

Data Pipe::readToEnd() {
  Data bytes;
  std::uint8_t buffer[chunkSize];
  for (;;) {
    const ssize_t count = ::read(read_, buffer, sizeof buffer);
    if (count > 0) {
      bytes.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0) {
      return bytes;
    } else if (errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "read");
    }
  }
}

bool readAvailable(int descriptor, Data& bytes) {
  for (;;) {
    const std::size_t start = bytes.size();
    bytes.bytes().resize(start + chunkSize);
    const ssize_t count = ::read(descriptor, bytes.bytes().data() + start, chunkSize);
    bytes.bytes().resize(start + (count > 0 ? static_cast<std::size_t>(count) : 0));
    if (count == 0) return false;
    if (count < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      throw std::system_error(errno, std::generic_category(), "read");
    }
  }
}

}  // namespace platform
