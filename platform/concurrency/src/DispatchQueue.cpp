#include "platform/concurrency/DispatchQueue.hpp"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>

namespace platform {

// Shared with the worker, which may outlive the queue object when that is destroyed on the worker.
struct DispatchQueue::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<void()>> blocks;
  bool running = false;
  bool stopping = false;

  void work() {
    std::unique_lock lock(mutex);
    while (true) {
      changed.wait(lock, [&] { return stopping || !blocks.empty(); });
      if (blocks.empty()) return;  // stopping, and everything has run
      std::function<void()> block = std::move(blocks.front());
      blocks.pop_front();
      running = true;
      lock.unlock();
      block();
      block = nullptr;  // whatever the block captured goes before the queue reports idle
      lock.lock();
      running = false;
      if (blocks.empty()) changed.notify_all();
    }
  }
};

DispatchQueue::DispatchQueue(std::string label) : label_(std::move(label)), state_(std::make_shared<State>()) {
  worker_ = std::thread([state = state_] { state->work(); });
  // Thread names are limited to 15 bytes; the label is for debuggers only.
  ::pthread_setname_np(worker_.native_handle(), label_.substr(0, 15).c_str());
}

DispatchQueue::~DispatchQueue() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  if (isCurrent())
    worker_.detach();
  else
    worker_.join();
}

void DispatchQueue::async(std::function<void()> block) {
  // Once the block is queued it may run, and drop the last owner of this queue, before the
  // notification: only the shared state may be touched after that.
  const std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    state->blocks.push_back(std::move(block));
  }
  state->changed.notify_all();
}

void DispatchQueue::waitUntilIdle() const {
  if (isCurrent()) throw std::logic_error("DispatchQueue \"" + label_ + "\" cannot wait for itself");
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return state_->blocks.empty() && !state_->running; });
}

}  // namespace platform
