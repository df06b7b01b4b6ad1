#pragma once
// A series of computations whose latest result is what counts: each runs on a
// background queue from copies of its inputs, and its result is handed over on the
// main queue. A computation that a later one has superseded is skipped, before it
// starts and before it is delivered, and so is one whose owner is gone: the queued
// work holds the owner weakly. Submit on the main thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/MainQueue.hpp"

namespace Ravelin {

class LatestWork {
 public:
  /// Runs `compute()` on `queue`, then `deliver(owner, result)` on the main queue.
  template <typename Owner, typename Compute, typename Deliver>
  void submit(platform::Executor& queue, std::weak_ptr<Owner> owner, Compute compute, Deliver deliver) {
    const std::uint64_t request = latest_->fetch_add(1) + 1;
    queue.async([latest = latest_, request, owner = std::move(owner), compute = std::move(compute),
                 deliver = std::move(deliver)]() mutable {
      if (latest->load() != request || owner.expired()) return;
      auto result = compute();
      platform::MainQueue::shared().async([latest, request, owner = std::move(owner), result = std::move(result),
                                           deliver = std::move(deliver)]() mutable {
        if (latest->load() != request) return;
        if (std::shared_ptr<Owner> strong = owner.lock()) deliver(*strong, std::move(result));
      });
    });
  }

 private:
  std::shared_ptr<std::atomic<std::uint64_t>> latest_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace Ravelin
