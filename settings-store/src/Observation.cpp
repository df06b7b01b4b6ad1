#include "Defaults/Observation.hpp"

#include <utility>

namespace Defaults {
namespace {

thread_local bool updatingWithoutNotifying = false;

// Its address marks the composite observer's registrations.
const char compositeObservationContext = 0;

}  // namespace

std::uint64_t keyValueObservingOptions(const ObservationOptions& options) {
  namespace Bits = platform::KeyValueObservingOptions;
  std::uint64_t bits = Bits::oldValue | Bits::newValue;
  if (options.contains(ObservationOption::initial))
    bits |= Bits::initial;
  else if (options.contains(ObservationOption::prior))
    bits |= Bits::prior;
  return bits;
}

namespace detail {

bool isUpdatingWithoutNotifying() { return updatingWithoutNotifying; }

void LifetimeBinding::bind(const std::shared_ptr<DefaultsObservation>& observation, AssociationHost& owner) {
  std::weak_ptr<DefaultsObservation> weak = observation;
  auto association = std::make_unique<LifetimeAssociation>(observation, owner, [weak] {
    if (auto strong = weak.lock()) strong->invalidate();
  });
  std::unique_ptr<LifetimeAssociation> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(lifetimeAssociation_, std::move(association));
  }
  // The tie moves: the earlier owner lets go without ending the observation.
  if (previous) {
    if (auto tracker = previous->tracker()) tracker->setDeinitHandler([] {});
    previous->cancel();
  }
}

void LifetimeBinding::unbind() {
  std::unique_ptr<LifetimeAssociation> association;
  {
    std::lock_guard lock(mutex_);
    association = std::move(lifetimeAssociation_);
  }
  if (!association) return;
  if (auto tracker = association->tracker()) tracker->setDeinitHandler([] {});
  association->cancel();
}

}  // namespace detail

// ---- one key ----

UserDefaultsKeyObservation::UserDefaultsKeyObservation(const Suite& object, std::string key, Callback callback)
    : object_(object), key_(std::move(key)), callback_(std::move(callback)) {}

UserDefaultsKeyObservation::~UserDefaultsKeyObservation() { invalidate(); }

void UserDefaultsKeyObservation::start(const ObservationOptions& options) {
  Suite suite;
  {
    std::lock_guard lock(mutex_);
    suite = object_.lock();
  }
  if (suite) suite->addObserver(shared_from_this(), key_, keyValueObservingOptions(options), nullptr);
}

void UserDefaultsKeyObservation::invalidate() {
  Suite suite;
  {
    std::lock_guard lock(mutex_);
    suite = object_.lock();
    object_.reset();
  }
  if (suite) suite->removeObserver(this, key_, nullptr);
  unbindLifetime();
}

void UserDefaultsKeyObservation::observeValue(std::string_view, platform::UserDefaults* object,
                                              const platform::KeyValueChange* change, const void*) {
  Suite suite;
  {
    std::lock_guard lock(mutex_);
    suite = object_.lock();
  }
  if (!suite) {
    invalidate();
    return;
  }
  if (!object || object != suite.get()) return;
  if (!change) return;
  if (detail::isUpdatingWithoutNotifying()) return;
  callback_(BaseChange(*change));
}

// ---- several keys ----

CompositeUserDefaultsKeyObservation::CompositeUserDefaultsKeyObservation(std::vector<SuiteKeyPair> observables,
                                                                         Callback callback)
    : observables_(std::move(observables)), callback_(std::move(callback)) {}

CompositeUserDefaultsKeyObservation::~CompositeUserDefaultsKeyObservation() { invalidate(); }

void CompositeUserDefaultsKeyObservation::start(const ObservationOptions& options) {
  std::vector<std::pair<Suite, std::string>> live;
  {
    std::lock_guard lock(mutex_);
    for (const SuiteKeyPair& pair : observables_)
      if (Suite suite = pair.suite.lock()) live.emplace_back(std::move(suite), pair.key);
  }
  for (const auto& [suite, key] : live)
    suite->addObserver(shared_from_this(), key, keyValueObservingOptions(options), &compositeObservationContext);
}

void CompositeUserDefaultsKeyObservation::invalidate() {
  std::vector<std::pair<Suite, std::string>> live;
  {
    std::lock_guard lock(mutex_);
    for (SuiteKeyPair& pair : observables_) {
      if (Suite suite = pair.suite.lock()) live.emplace_back(std::move(suite), pair.key);
      pair.suite.reset();
    }
  }
  for (const auto& [suite, key] : live) suite->removeObserver(this, key, &compositeObservationContext);
  unbindLifetime();
}

void CompositeUserDefaultsKeyObservation::observeValue(std::string_view, platform::UserDefaults* object,
                                                       const platform::KeyValueChange* change, const void* context) {
  if (context != &compositeObservationContext) return;
  if (!object || !change) return;
  if (detail::isUpdatingWithoutNotifying()) return;
  callback_(BaseChange(*change));
}

std::shared_ptr<DefaultsObservation> observeKeys(const std::vector<std::reference_wrapper<const AnyKey>>& keys,
                                                 const ObservationOptions& options, std::function<void()> handler) {
  std::vector<CompositeUserDefaultsKeyObservation::SuiteKeyPair> pairs;
  for (const AnyKey& key : keys) pairs.push_back({key.suite(), key.name()});
  auto observation = std::make_shared<CompositeUserDefaultsKeyObservation>(
      std::move(pairs), [handler = std::move(handler)](const BaseChange&) { handler(); });
  observation->start(options);
  return observation;
}

void updateWithoutNotifying(const std::function<void()>& body) {
  struct Restore {
    bool previous = std::exchange(updatingWithoutNotifying, true);
    ~Restore() { updatingWithoutNotifying = previous; }
  } restore;
  body();
}

}  // namespace Defaults
