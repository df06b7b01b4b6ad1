#pragma once
// A small publish-subscribe layer for settings changes: publishers hand each
// subscriber a subscription first and then deliver values synchronously on the
// thread that made the change. Demand is accepted and ignored, and nothing
// ever completes.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/concurrency/Signal.hpp"

namespace Defaults {

/// How many more values a subscriber asks for; the publishers here deliver regardless.
struct Demand {
  std::optional<std::size_t> max;  // nothing: unlimited
  static Demand unlimited() { return {}; }
  static Demand none() { return {0}; }
};

class Subscription {
 public:
  virtual ~Subscription() = default;
  virtual void request(Demand demand) = 0;
  /// Ends delivery; once it returns, no value is being delivered on another thread, and none will be.
  virtual void cancel() = 0;
};

template <typename Input>
class Subscriber {
 public:
  virtual ~Subscriber() = default;
  virtual void receive(std::shared_ptr<Subscription> subscription) = 0;
  virtual Demand receive(const Input& input) = 0;
};

namespace detail {

class CompositeSubscription final : public Subscription {
 public:
  void add(std::shared_ptr<Subscription> subscription);
  void request(Demand) override {}
  void cancel() override;

 private:
  std::mutex mutex_;
  bool cancelled_ = false;
  std::vector<std::shared_ptr<Subscription>> parts_;
};

}  // namespace detail

/// A type-erased publisher of Output that never fails and never completes.
template <typename Output>
class AnyPublisher {
 public:
  using Receive = std::function<void(const std::shared_ptr<Subscriber<Output>>&)>;

  explicit AnyPublisher(Receive receive) : receive_(std::move(receive)) {}

  void receive(const std::shared_ptr<Subscriber<Output>>& subscriber) const { receive_(subscriber); }

  /// Publishes nothing (and, whatever the flag, never completes: nothing here does).
  static AnyPublisher empty(bool completeImmediately = false) {
    (void)completeImmediately;
    return AnyPublisher([](const std::shared_ptr<Subscriber<Output>>& subscriber) {
      subscriber->receive(std::make_shared<detail::CompositeSubscription>());
    });
  }

  /// Each value transformed.
  template <typename Transform, typename Result = std::invoke_result_t<Transform&, const Output&>>
  AnyPublisher<Result> map(Transform transform) const {
    struct Mapping final : Subscriber<Output> {
      Mapping(std::shared_ptr<Subscriber<Result>> next, Transform function)
          : downstream(std::move(next)), transform(std::move(function)) {}
      void receive(std::shared_ptr<Subscription> subscription) override { downstream->receive(std::move(subscription)); }
      Demand receive(const Output& input) override { return downstream->receive(transform(input)); }
      std::shared_ptr<Subscriber<Result>> downstream;
      Transform transform;
    };
    return AnyPublisher<Result>([upstream = *this, transform](const std::shared_ptr<Subscriber<Result>>& subscriber) {
      upstream.receive(std::make_shared<Mapping>(subscriber, transform));
    });
  }

  /// The values of both, in the order they arrive; one subscription ends both.
  AnyPublisher merge(const AnyPublisher& other) const {
    struct Part final : Subscriber<Output> {
      Part(std::shared_ptr<Subscriber<Output>> next, const std::shared_ptr<detail::CompositeSubscription>& all)
          : downstream(std::move(next)), whole(all) {}
      void receive(std::shared_ptr<Subscription> subscription) override {
        if (auto strong = whole.lock())
          strong->add(std::move(subscription));
        else
          subscription->cancel();
      }
      Demand receive(const Output& input) override { return downstream->receive(input); }
      std::shared_ptr<Subscriber<Output>> downstream;
      std::weak_ptr<detail::CompositeSubscription> whole;
    };
    return AnyPublisher([first = *this, second = other](const std::shared_ptr<Subscriber<Output>>& subscriber) {
      auto whole = std::make_shared<detail::CompositeSubscription>();
      subscriber->receive(whole);
      first.receive(std::make_shared<Part>(subscriber, whole));
      second.receive(std::make_shared<Part>(subscriber, whole));
    });
  }

  /// Subscribes with unlimited demand; the subscription lasts as long as the returned token.
  [[nodiscard]] platform::AnyCancellable sink(std::function<void(const Output&)> receiveValue) const {
    struct Holder {
      std::mutex mutex;
      std::shared_ptr<Subscription> subscription;
    };
    struct Sink final : Subscriber<Output> {
      Sink(const std::shared_ptr<Holder>& owner, std::function<void(const Output&)> body)
          : holder(owner), receiveValue(std::move(body)) {}
      void receive(std::shared_ptr<Subscription> subscription) override {
        subscription->request(Demand::unlimited());
        if (auto strong = holder.lock()) {
          std::lock_guard lock(strong->mutex);
          strong->subscription = std::move(subscription);
        }
      }
      Demand receive(const Output& input) override {
        receiveValue(input);
        return Demand::none();
      }
      std::weak_ptr<Holder> holder;
      std::function<void(const Output&)> receiveValue;
    };
    auto holder = std::make_shared<Holder>();
    receive(std::make_shared<Sink>(holder, std::move(receiveValue)));
    return platform::AnyCancellable([holder] {
      std::shared_ptr<Subscription> subscription;
      {
        std::lock_guard lock(holder->mutex);
        subscription = std::move(holder->subscription);
      }
      if (subscription) subscription->cancel();
    });
  }

 private:
  Receive receive_;
};

}  // namespace Defaults
