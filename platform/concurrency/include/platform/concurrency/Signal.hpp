#pragma once
// A small publish-subscribe layer: a subject sends values to the subscribers
// that `sink` registered, in the order they subscribed. A subscription lasts as
// long as its `AnyCancellable`.
//
// Thread safety: values may be sent from any thread. Once `cancel()` returns,
// the subscriber is not running on any other thread and is never called again.
// A subscriber may cancel itself or others, subscribe, or send, while it runs;
// one subscriber may run on several threads at once. (Two subscribers that
// cancel each other while both are being delivered to on different threads wait
// for each other; nothing else blocks.)

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/concurrency/DeliveryGate.hpp"

namespace platform {

/// Ends a subscription when cancelled or destroyed. Move-only.
class AnyCancellable {
 public:
  AnyCancellable() = default;
  explicit AnyCancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  AnyCancellable(AnyCancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  AnyCancellable& operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
      cancel();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  AnyCancellable(const AnyCancellable&) = delete;
  AnyCancellable& operator=(const AnyCancellable&) = delete;
  ~AnyCancellable() { cancel(); }

  void cancel() noexcept {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  }
  /// Keeps the subscription alive as long as `bag` holds it.
  void store(std::vector<AnyCancellable>& bag) && { bag.push_back(std::move(*this)); }

 private:
  std::function<void()> cancel_;
};

namespace signal_detail {

template <typename T>
struct ReceiveOf {
  using type = std::function<void(const T&)>;
};
template <>
struct ReceiveOf<void> {
  using type = std::function<void()>;
};

// One subscriber; ending it waits for its deliveries on other threads.
template <typename Receive>
struct Subscription {
  explicit Subscription(Receive r) : receive(std::move(r)) {}
  DeliveryGate gate;
  Receive receive;

  void end() noexcept { gate.close(); }
};

template <typename Receive>
struct SubjectState {
  std::mutex mutex;
  std::vector<std::shared_ptr<Subscription<Receive>>> subscriptions;  // subscription order

  void remove(const Subscription<Receive>* subscription) {
    std::lock_guard lock(mutex);
    std::erase_if(subscriptions, [&](const auto& s) { return s.get() == subscription; });
  }

  std::vector<std::shared_ptr<Subscription<Receive>>> snapshot() {
    std::lock_guard lock(mutex);
    return subscriptions;
  }
};

}  // namespace signal_detail

/// Sends values of type T (or bare signals, for `void`) to its subscribers.
template <typename T = void>
class Subject {
 public:
  using Receive = typename signal_detail::ReceiveOf<T>::type;

  Subject() = default;
  Subject(const Subject&) = delete;
  Subject& operator=(const Subject&) = delete;

  /// Registers a subscriber; it is called for every value sent until the result is cancelled or destroyed.
  [[nodiscard]] AnyCancellable sink(Receive receive) {
    auto subscription = std::make_shared<signal_detail::Subscription<Receive>>(std::move(receive));
    {
      std::lock_guard lock(state_->mutex);
      state_->subscriptions.push_back(subscription);
    }
    std::weak_ptr<State> state = state_;
    std::weak_ptr<signal_detail::Subscription<Receive>> weak = subscription;
    return AnyCancellable([state, weak] {
      auto strong = weak.lock();
      if (!strong) return;
      strong->end();
      if (auto owner = state.lock()) owner->remove(strong.get());
    });
  }

  /// Delivers to every subscriber registered when the call starts, in subscription order.
  template <typename... Value>
  void send(const Value&... value) const {
    static_assert(sizeof...(Value) == (std::is_void_v<T> ? 0 : 1));
    for (const auto& subscription : state_->snapshot()) {
      DeliveryGate::Pass pass(subscription->gate);
      if (pass.admitted()) subscription->receive(value...);
    }
  }

  std::size_t subscriberCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->subscriptions.size();
  }

 private:
  using State = signal_detail::SubjectState<Receive>;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform
