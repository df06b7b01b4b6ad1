#pragma once
// Settings changes as publishers: one stored key of one suite, a typed key's
// change records, and bare signals for several keys. A subscription owns its
// key observation; the observation only refers back to it weakly.

#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "Defaults/Observation.hpp"
#include "Defaults/Publisher.hpp"

namespace Defaults {

/// Hands a subscriber the subscription, then starts observing (so an initial change comes after it).
class DefaultsSubscription final : public Subscription, public std::enable_shared_from_this<DefaultsSubscription> {
 public:
  static std::shared_ptr<DefaultsSubscription> make(std::shared_ptr<Subscriber<BaseChange>> subscriber,
                                                    const Suite& suite, std::string key, ObservationOptions options);

  void start();
  /// Has no effect: every change is delivered, whatever the demand.
  void request(Demand) override {}
  void cancel() override;
  /// The observation's callback: passes the change to the subscriber, while there is one.
  void update(const BaseChange& change);

 private:
  DefaultsSubscription(std::shared_ptr<Subscriber<BaseChange>> subscriber, ObservationOptions options)
      : subscriber_(std::move(subscriber)), options_(std::move(options)) {}

  std::mutex mutex_;  // guards the two fields below; never held while the subscriber runs
  std::shared_ptr<Subscriber<BaseChange>> subscriber_;
  std::shared_ptr<UserDefaultsKeyObservation> observation_;
  ObservationOptions options_;
};

struct DefaultsPublisher {
  Suite suite;
  std::string key;
  ObservationOptions options;

  void receive(const std::shared_ptr<Subscriber<BaseChange>>& subscriber) const;
  AnyPublisher<BaseChange> eraseToAnyPublisher() const;
};

/// The key's changes as typed records.
template <Serializable Value>
AnyPublisher<KeyChange<Value>> publisher(const Key<Value>& key, const ObservationOptions& options = {}) {
  return DefaultsPublisher{key.suite(), key.name(), options}.eraseToAnyPublisher().map(
      [defaultValue = key.defaultValue()](const BaseChange& change) { return KeyChange<Value>(change, defaultValue); });
}

/// One empty value per change of any of the keys.
AnyPublisher<std::monostate> publisherForKeys(const std::vector<std::reference_wrapper<const AnyKey>>& keys,
                                              const ObservationOptions& options = {});

}  // namespace Defaults
