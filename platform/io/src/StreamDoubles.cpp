#include "platform/io/StreamDoubles.hpp"

#include <algorithm>

#include "platform/core/Error.hpp"

namespace platform {

std::exception_ptr scriptedStreamError() {
  static const std::exception_ptr error = std::make_exception_ptr(Error("StreamDouble", 1, "Scripted stream failure"));
  return error;
}

void ScriptedInputStream::close() {
  ++closeCalls_;
  InputStream::close();
}

std::exception_ptr ScriptedInputStream::openResources() {
  return script_.failToOpen ? scriptedStreamError() : nullptr;
}

std::ptrdiff_t ScriptedInputStream::readBytes(std::uint8_t* buffer, std::size_t maxLength) {
  requestedLengths_.push_back(maxLength);
  if (requestedLengths_.size() == script_.failOnRead) {
    fail(script_.failureHasError ? scriptedStreamError() : nullptr);
    return -1;
  }
  const std::size_t count = std::min({maxLength, script_.maxBytesPerRead, bytes_.size() - position_});
  std::copy_n(bytes_.data() + position_, count, buffer);
  position_ += count;
  return static_cast<std::ptrdiff_t>(count);
}

void ScriptedOutputStream::close() {
  ++closeCalls_;
  OutputStream::close();
}

std::exception_ptr ScriptedOutputStream::openResources() {
  return script_.failToOpen ? scriptedStreamError() : nullptr;
}

std::exception_ptr ScriptedOutputStream::closeResources() {
  return script_.failOnClose ? scriptedStreamError() : nullptr;
}

std::ptrdiff_t ScriptedOutputStream::writeBytes(const std::uint8_t* bytes, std::size_t length) {
  ++writeCalls_;
  if (writeCalls_ == script_.failOnWrite) {
    fail(scriptedStreamError());
    return -1;
  }
  if (script_.acceptNothingOnWrites.count(writeCalls_)) return 0;
  const std::size_t count = std::min(length, script_.maxBytesPerWrite);
  written_.append(bytes, count);
  return static_cast<std::ptrdiff_t>(count);
}

}  // namespace platform
