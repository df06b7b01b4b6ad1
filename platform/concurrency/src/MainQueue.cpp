#include "platform/concurrency/MainQueue.hpp"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

MainQueue& MainQueue::shared() {
  static MainQueue queue;
  return queue;
}

bool MainQueue::isMainThread() { return ::syscall(SYS_gettid) == ::getpid(); }

void MainQueue::async(std::function<void()> block) {
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  arrived_.notify_one();
}

std::size_t MainQueue::drain() {
  std::size_t count = 0;
  while (true) {
    std::function<void()> block;
    {
      std::lock_guard lock(mutex_);
      if (blocks_.empty()) return count;
      block = std::move(blocks_.front());
      blocks_.pop_front();
    }
    block();
    ++count;
  }
}

void MainQueue::run() {
  while (true) {
    std::function<void()> block;
    {
      std::unique_lock lock(mutex_);
      arrived_.wait(lock, [&] { return stopping_ || !blocks_.empty(); });
      if (stopping_) {
        stopping_ = false;
        return;
      }
      block = std::move(blocks_.front());
      blocks_.pop_front();
    }
    block();
  }
}

void MainQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  arrived_.notify_all();
}

}  // namespace platform
