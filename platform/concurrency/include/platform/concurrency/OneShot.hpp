#pragma once
// A one-shot publisher: `Future` runs its start function when it is made, whether
// or not anything subscribes, and keeps the first outcome the function's promise
// receives. Every subscriber gets that outcome exactly once: one value and then
// `finished`, or the failure. Subscribers registered before the outcome are called
// on the thread that fulfils the promise; later ones at once, inside `sink`, on
// their own thread. Copies share one outcome.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/concurrency/Signal.hpp"
#include "platform/core/Result.hpp"

namespace platform {

/// How a publisher ended: `finished` after its value, or with a failure.
template <typename Failure>
struct Completion {
  std::optional<Failure> failure;

  static Completion finished() { return {}; }
  static Completion failed(Failure error) { return {std::move(error)}; }
  bool isFinished() const noexcept { return !failure; }
};

template <typename Value, typename Failure>
class Future {
 public:
  using Outcome = Result<Value, Failure>;
  using Promise = std::function<void(Outcome)>;
  using OnValue = std::conditional_t<std::is_void_v<Value>, std::function<void()>,
                                     std::function<void(const typename Outcome::Success&)>>;
  using OnCompletion = std::function<void(const Completion<Failure>&)>;

  /// Runs `attemptToFulfill` now with the promise; later calls of the promise are ignored.
  explicit Future(const std::function<void(Promise)>& attemptToFulfill) : state_(std::make_shared<State>()) {
    attemptToFulfill([state = state_](Outcome outcome) { state->fulfil(std::move(outcome)); });
  }

  /// Delivers the outcome to the given functions (either may be empty) unless cancelled first.
  [[nodiscard]] AnyCancellable sink(OnValue onValue, OnCompletion onCompletion = {}) const {
    auto deliver = [onValue = std::move(onValue), onCompletion = std::move(onCompletion)](const Outcome& outcome) {
      if (outcome.isSuccess()) {
        if (onValue) {
          if constexpr (std::is_void_v<Value>)
            onValue();
          else
            onValue(outcome.value());
        }
        if (onCompletion) onCompletion(Completion<Failure>::finished());
      } else if (onCompletion) {
        onCompletion(Completion<Failure>::failed(outcome.error()));
      }
    };
    std::unique_lock lock(state_->mutex);
    if (!state_->outcome) return state_->waiting->sink(std::move(deliver));
    lock.unlock();
    deliver(*state_->outcome);  // the outcome never changes once stored
    return AnyCancellable();
  }

  /// The outcome, once there is one.
  std::optional<Outcome> outcome() const {
    std::lock_guard lock(state_->mutex);
    return state_->outcome;
  }

 private:
  struct State {
    std::mutex mutex;
    std::optional<Outcome> outcome;
    // Dropped once the outcome is sent, with the subscribers' functions and what they capture.
    std::unique_ptr<Subject<Outcome>> waiting = std::make_unique<Subject<Outcome>>();

    void fulfil(Outcome result) {
      std::unique_ptr<Subject<Outcome>> subscribers;
      {
        std::lock_guard lock(mutex);
        if (outcome) return;
        outcome.emplace(std::move(result));
        subscribers = std::move(waiting);
      }
      subscribers->send(*outcome);
    }
  };
  std::shared_ptr<State> state_;
};

}  // namespace platform
