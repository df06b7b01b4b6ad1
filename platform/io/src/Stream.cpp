#include "platform/io/Stream.hpp"

#include <cstring>

#include "platform/core/Error.hpp"

namespace platform {

std::string describe(StreamStatus status) {
  switch (status) {
    case StreamStatus::notOpen: return "notOpen";
    case StreamStatus::opening: return "opening";
    case StreamStatus::open: return "open";
    case StreamStatus::reading: return "reading";
    case StreamStatus::writing: return "writing";
    case StreamStatus::atEnd: return "atEnd";
    case StreamStatus::closed: return "closed";
    case StreamStatus::error: return "error";
  }
  return "unknown";
}

std::exception_ptr posixError(int code) {
  return std::make_exception_ptr(Error("POSIX", code, std::strerror(code)));
}

void Stream::open() {
  if (status_ != StreamStatus::notOpen) return;
  status_ = StreamStatus::opening;
  if (std::exception_ptr failure = openResources()) {
    fail(std::move(failure));
    return;
  }
  resourcesHeld_ = true;
  status_ = StreamStatus::open;
}

void Stream::close() {
  std::exception_ptr failure;
  if (resourcesHeld_) {
    resourcesHeld_ = false;
    failure = closeResources();
  }
  if (failure)
    fail(std::move(failure));
  else
    status_ = StreamStatus::closed;
}

}  // namespace platform
