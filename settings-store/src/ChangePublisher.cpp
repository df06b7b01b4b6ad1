#include "Defaults/ChangePublisher.hpp"

namespace Defaults {

std::shared_ptr<DefaultsSubscription> DefaultsSubscription::make(std::shared_ptr<Subscriber<BaseChange>> subscriber,
                                                                 const Suite& suite, std::string key,
                                                                 ObservationOptions options) {
  std::shared_ptr<DefaultsSubscription> subscription(new DefaultsSubscription(std::move(subscriber), std::move(options)));
  std::weak_ptr<DefaultsSubscription> weak = subscription;
  subscription->observation_ =
      std::make_shared<UserDefaultsKeyObservation>(suite, std::move(key), [weak](const BaseChange& change) {
        if (auto strong = weak.lock()) strong->update(change);
      });
  return subscription;
}

void DefaultsSubscription::start() {
  std::shared_ptr<UserDefaultsKeyObservation> observation;
  {
    std::lock_guard lock(mutex_);
    observation = observation_;
  }
  if (observation) observation->start(options_);
}

void DefaultsSubscription::cancel() {
  std::shared_ptr<UserDefaultsKeyObservation> observation;
  std::shared_ptr<Subscriber<BaseChange>> subscriber;
  {
    std::lock_guard lock(mutex_);
    observation = std::move(observation_);
    subscriber = std::move(subscriber_);
  }
  // Ended outside the lock, and explicitly: a delivery under way elsewhere may hold the observation too, and
  // ending it waits for that delivery, so that nothing reaches the subscriber once cancel returns.
  if (observation) observation->invalidate();
  observation.reset();
  subscriber.reset();
}

void DefaultsSubscription::update(const BaseChange& change) {
  std::shared_ptr<Subscriber<BaseChange>> subscriber;
  {
    std::lock_guard lock(mutex_);
    subscriber = subscriber_;
  }
  if (subscriber) subscriber->receive(change);
}

void DefaultsPublisher::receive(const std::shared_ptr<Subscriber<BaseChange>>& subscriber) const {
  auto subscription = DefaultsSubscription::make(subscriber, suite, key, options);
  subscriber->receive(subscription);
  subscription->start();
}

AnyPublisher<BaseChange> DefaultsPublisher::eraseToAnyPublisher() const {
  return AnyPublisher<BaseChange>([publisher = *this](const auto& subscriber) { publisher.receive(subscriber); });
}

AnyPublisher<std::monostate> publisherForKeys(const std::vector<std::reference_wrapper<const AnyKey>>& keys,
                                              const ObservationOptions& options) {
  auto merged = AnyPublisher<std::monostate>::empty(false);
  for (const AnyKey& key : keys) {
    auto signals = DefaultsPublisher{key.suite(), key.name(), options}.eraseToAnyPublisher().map(
        [](const BaseChange&) { return std::monostate{}; });
    merged = merged.merge(signals);
  }
  return merged;
}

}  // namespace Defaults
