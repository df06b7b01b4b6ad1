#include "QVExtensions/OscTagWatcher.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/core/Unicode.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

constexpr std::size_t maximumCarriedSequence = 4096;

const platform::Regex& tagPattern() {
  static const platform::Regex pattern("\x1B]\\d;(\\w+)\x07");
  return pattern;
}

// The start of a tag sequence that may still be completed by the next read.
const platform::Regex& unfinishedTagPattern() {
  static const platform::Regex pattern("\x1B(?:\\](?:\\d(?:;\\w*)?)?)?$");
  return pattern;
}

// Whether `tail` (a lead byte and fewer continuation bytes than it needs) can still become a
// character: bytes that begin none (C0, C1, F5-FF) or a second byte out of its lead's range are
// ill-formed already.
bool canBeCompleted(std::string_view tail) {
  const auto lead = static_cast<unsigned char>(tail[0]);
  if (lead < 0xC2 || lead > 0xF4) return false;
  if (tail.size() < 2) return true;
  const auto second = static_cast<unsigned char>(tail[1]);
  const unsigned char lowest = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char highest = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  return second >= lowest && second <= highest;
}

// Where the text's last whole character ends: a character cut short by the read is not
// ill-formed yet, only unfinished.
std::size_t endOfWholeCharacters(std::string_view text) {
  const std::size_t lookBack = std::min<std::size_t>(3, text.size());
  for (std::size_t back = 1; back <= lookBack; ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    const bool unfinished = needed > back && canBeCompleted(text.substr(text.size() - back));
    return unfinished ? text.size() - back : text.size();
  }
  return text.size();
}

}  // namespace

OscChunkResult scanOscChunk(std::string carry, std::string_view chunk) {
  std::string& text = carry;
  text.append(chunk);
  const std::size_t whole = endOfWholeCharacters(text);
  const std::string_view body(text.data(), whole);
  if (!platform::isWellFormedUTF8(body)) return {};

  OscChunkResult result;
  if (const auto match = tagPattern().firstMatch(body)) result.tag = match->string(1, body);
  std::size_t keepFrom = whole;
  if (const auto unfinished = unfinishedTagPattern().firstMatch(body)) {
    const auto start = platform::substringForUTF16Range(body, 0, unfinished->range().location);
    if (start && body.size() - start->size() <= maximumCarriedSequence) keepFrom = start->size();
  }
  result.carry = text.substr(keepFrom);
  return result;
}

OscTagWatcher::OscTagWatcher(int descriptor, Handler handler)
    : descriptor_(descriptor), handler_(std::move(handler)) {
  tagPattern();  // compiled here, once, rather than on the watcher's thread
  unfinishedTagPattern();
  stopDescriptor_ = ::eventfd(0, EFD_CLOEXEC);
  if (stopDescriptor_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  thread_ = std::thread([this] { watch(); });
}

OscTagWatcher::~OscTagWatcher() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(stopDescriptor_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  ::close(stopDescriptor_);
}

void OscTagWatcher::waitUntilFinished() {
  if (thread_.joinable()) thread_.join();
}

void OscTagWatcher::watch() {
  std::string carry;
  char buffer[64 * 1024];
  for (;;) {
    pollfd watched[2] = {{descriptor_, POLLIN, 0}, {stopDescriptor_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[1].revents) return;
    const ssize_t count = ::read(descriptor_, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) return;  // end of file, or a descriptor that cannot be read
    OscChunkResult result = scanOscChunk(std::move(carry), std::string_view(buffer, static_cast<std::size_t>(count)));
    carry = std::move(result.carry);
    if (result.tag) handler_(*result.tag);
  }
}

std::unique_ptr<OscTagWatcher> readOscTaggedOutput(int descriptor, OscTagWatcher::Handler handler) {
  return std::make_unique<OscTagWatcher>(descriptor, std::move(handler));
}

}  // namespace QVExtensions
