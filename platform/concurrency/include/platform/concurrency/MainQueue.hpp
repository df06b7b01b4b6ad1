#pragma once
// The main queue: blocks queued from any thread run in order on the thread that
// drains or runs the queue (the process's main thread, for the command and the tests).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/concurrency/Executor.hpp"

namespace platform {

class MainQueue final : public Executor {
 public:
  static MainQueue& shared();
  /// Whether the caller runs on the process's first thread.
  static bool isMainThread();

  void async(std::function<void()> block) override;
  /// Runs the queued blocks, and those they queue, until none is left; returns how many ran.
  std::size_t drain();
  /// Runs blocks as they arrive until `stop` is called.
  void run();
  void stop();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> blocks_;
  bool stopping_ = false;
};

}  // namespace platform
