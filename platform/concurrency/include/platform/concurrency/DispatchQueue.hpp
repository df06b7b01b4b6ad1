#pragma once
// A named serial queue: blocks run one at a time, in the order queued, on the
// queue's one worker thread. Destroying the queue runs every block still queued
// and then joins the worker; when the last owner lets go on the worker itself,
// the worker finishes the queue and ends on its own instead. Blocks must not throw.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/concurrency/Executor.hpp"

namespace platform {

class DispatchQueue final : public Executor {
 public:
  explicit DispatchQueue(std::string label);
  ~DispatchQueue() override;
  DispatchQueue(const DispatchQueue&) = delete;
  DispatchQueue& operator=(const DispatchQueue&) = delete;

  const std::string& label() const noexcept { return label_; }
  void async(std::function<void()> block) override;
  /// Whether the caller runs on this queue's worker.
  bool isCurrent() const noexcept { return std::this_thread::get_id() == worker_.get_id(); }
  /// Returns once nothing is queued or running. Throws std::logic_error on the queue's own worker.
  void waitUntilIdle() const;

 private:
  struct State;
  std::string label_;
  std::shared_ptr<State> state_;
  std::thread worker_;
};

}  // namespace platform
