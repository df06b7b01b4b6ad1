#pragma once
// Watches a descriptor for terminal escape sequences of the form ESC "]" digit ";" word
// BEL and reports the word of the first such sequence in each chunk read. A chunk is one
// read; a multi-byte character or a sequence cut between two reads is carried over to
// the next one (a sequence up to 4 KiB), and a carried sequence that the next read
// completes is that read's first. Chunks that are not UTF-8 are dropped.
//
// The watcher owns one thread, on which the handler runs; it stops at end of file, and
// destroying it stops and joins that thread. The caller keeps the descriptor open while
// the watcher lives.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace QVExtensions {

class OscTagWatcher {
 public:
  using Handler = std::function<void(const std::string& tag)>;

  OscTagWatcher(int descriptor, Handler handler);
  ~OscTagWatcher();
  OscTagWatcher(const OscTagWatcher&) = delete;
  OscTagWatcher& operator=(const OscTagWatcher&) = delete;

  /// Blocks until the watched descriptor has reached its end; not from the handler.
  void waitUntilFinished();

 private:
  void watch();

  int descriptor_;
  Handler handler_;
  int stopDescriptor_ = -1;  // an eventfd that wakes the thread for destruction
  std::thread thread_;
};

/// Starts watching `descriptor`; see OscTagWatcher.
std::unique_ptr<OscTagWatcher> readOscTaggedOutput(int descriptor, OscTagWatcher::Handler handler);

/// The tags that `chunk` reports after `carry` (what the previous chunk left over), and what
/// this chunk leaves over for the next one. Exposed so the carrying rules can be tested
/// without a descriptor.
struct OscChunkResult {
  std::optional<std::string> tag;
  std::string carry;
};
OscChunkResult scanOscChunk(std::string carry, std::string_view chunk);

}  // namespace QVExtensions
