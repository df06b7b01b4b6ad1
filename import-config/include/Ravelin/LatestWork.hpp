#pragma once
// A series of computations whose latest result is what counts. Requests made during
// one turn of the main queue are folded into one: when the turn is over, the inputs
// are copied on the main thread, computed on a background queue, and the result is
// handed over on the main queue. A computation that a later one has superseded is
// skipped, before it starts and before it is delivered, and so is one whose owner is
// gone: the queued work holds the owner weakly. Request on the main thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/MainQueue.hpp"

namespace Ravelin {

class LatestWork {
 public:
  /// Soon, on the main queue: `prepare(owner)` copies the inputs and returns the computation,
  /// which runs on `queue` (a member of the owner); then `deliver(owner, result)` on the main
  /// queue. A request made while another waits for its turn is folded into that one, so
  /// `prepare` and `deliver` must do the same for every request.
  template <typename Owner, typename Prepare, typename Deliver>
  void request(platform::Executor& queue, std::weak_ptr<Owner> owner, Prepare prepare, Deliver deliver) {
    if (state_->waiting) return;
    state_->waiting = true;
    platform::MainQueue::shared().async([state = state_, queue = &queue, owner = std::move(owner),
                                         prepare = std::move(prepare), deliver = std::move(deliver)] {
      state->waiting = false;
      std::shared_ptr<Owner> strong = owner.lock();
      if (!strong) return;  // the queue went with it
      const std::uint64_t request = state->latest.fetch_add(1) + 1;
      queue->async([state, request, owner, compute = prepare(*strong), deliver]() mutable {
        if (state->latest.load() != request || owner.expired()) return;
        auto result = compute();
        platform::MainQueue::shared().async([state, request, owner, result = std::move(result), deliver]() mutable {
          if (state->latest.load() != request) return;
          if (std::shared_ptr<Owner> alive = owner.lock()) deliver(*alive, std::move(result));
        });
      });
    });
  }

 private:
  struct State {
    bool waiting = false;  // main thread only
    std::atomic<std::uint64_t> latest{0};
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace Ravelin
