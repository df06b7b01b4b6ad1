// Key-value observation of a settings suite.
#include <algorithm>
#include <mutex>

#include "platform/concurrency/DeliveryGate.hpp"
#include "platform/defaults/UserDefaults.hpp"

namespace platform {

struct UserDefaults::Registration {
  std::weak_ptr<KeyValueObserver> observer;
  const KeyValueObserver* identity;
  std::string keyPath;
  std::uint64_t options;
  const void* context;
  // Removal waits for deliveries on other threads; an observer may remove itself, or be destroyed, inside its own call.
  DeliveryGate gate;
};

std::vector<std::shared_ptr<UserDefaults::Registration>> UserDefaults::registrationsFor(std::string_view key) const {
  std::lock_guard guard(observersMutex_);
  std::vector<std::shared_ptr<Registration>> matching;
  for (const auto& registration : registrations_)
    if (registration->keyPath == key) matching.push_back(registration);
  return matching;
}

void UserDefaults::deliver(Registration& registration, const KeyValueChange& change) {
  using namespace KeyValueObservingOptions;
  DeliveryGate::Pass pass(registration.gate);
  if (!pass.admitted()) return;
  std::shared_ptr<KeyValueObserver> observer = registration.observer.lock();
  if (!observer) return;
  KeyValueChange delivered = change;
  if (!(registration.options & newValue)) delivered.newValue.reset();
  if (!(registration.options & oldValue)) delivered.oldValue.reset();
  observer->observeValue(registration.keyPath, this, &delivered, registration.context);
  // Releasing the last reference here destroys the observer on this thread, which may remove the registration.
}

void UserDefaults::notifyPrior(const std::vector<std::shared_ptr<Registration>>& observers, std::string_view key) {
  using KeyValueObservingOptions::prior;
  if (std::none_of(observers.begin(), observers.end(), [](const auto& r) { return (r->options & prior) != 0; }))
    return;
  KeyValueChange before{KeyValueChange::Kind::setting, std::nullopt, true, std::nullopt, objectForKey(key)};
  for (const auto& registration : observers)
    if (registration->options & prior) deliver(*registration, before);
}

void UserDefaults::addObserver(const std::shared_ptr<KeyValueObserver>& observer, std::string keyPath,
                               std::uint64_t options, const void* context) {
  if (!observer) return;
  auto registration = std::make_shared<Registration>();
  registration->observer = observer;
  registration->identity = observer.get();
  registration->keyPath = std::move(keyPath);
  registration->options = options;
  registration->context = context;
  {
    std::lock_guard guard(observersMutex_);
    registrations_.push_back(registration);
  }
  if (options & KeyValueObservingOptions::initial) {
    KeyValueChange current{KeyValueChange::Kind::setting, std::nullopt, false, objectForKey(registration->keyPath),
                           std::nullopt};
    deliver(*registration, current);
  }
}

void UserDefaults::removeObserver(const KeyValueObserver* observer, std::string_view keyPath, const void* context) {
  std::vector<std::shared_ptr<Registration>> removed;
  {
    std::lock_guard guard(observersMutex_);
    auto keep = std::stable_partition(registrations_.begin(), registrations_.end(), [&](const auto& registration) {
      return !(registration->identity == observer && registration->keyPath == keyPath &&
               registration->context == context);
    });
    removed.assign(keep, registrations_.end());
    registrations_.erase(keep, registrations_.end());
  }
  for (const auto& registration : removed) registration->gate.close();
}

}  // namespace platform
