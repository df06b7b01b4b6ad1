#pragma once
// Watching settings keys: observer objects call a handler with a change record,
// synchronously on the thread that wrote the value; they end when invalidated,
// when released, or with the owner they are tied to. A quiet update hides the
// changes a thread makes from every observer.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Defaults/Key.hpp"
#include "Defaults/LifetimeAssociation.hpp"
#include "platform/defaults/KeyValueObserving.hpp"

namespace Defaults {

enum class ObservationOption { initial = 0, prior = 1 };
using ObservationOptions = std::set<ObservationOption>;

/// The option bits to register with: always old and new; `initial` adds 4, else `prior` adds 8.
std::uint64_t keyValueObservingOptions(const ObservationOptions& options);

using ChangeKind = platform::KeyValueChange::Kind;

/// An untyped change record, as the suite delivered it.
struct BaseChange {
  ChangeKind kind = ChangeKind::setting;
  std::optional<std::vector<std::size_t>> indexes;
  bool isPrior = false;
  std::optional<Object> newValue;
  std::optional<Object> oldValue;

  explicit BaseChange(const platform::KeyValueChange& change)
      : kind(change.kind), indexes(change.indexes), isPrior(change.isPrior), newValue(change.newValue),
        oldValue(change.oldValue) {}
};

/// A typed change record; values that are absent or do not convert read as the key's default.
template <Serializable Value>
class KeyChange {
 public:
  KeyChange(const BaseChange& change, const Value& defaultValue)
      : kind_(change.kind), indexes_(change.indexes), isPrior_(change.isPrior),
        newValue_(convertChangeValue(change.newValue).value_or(defaultValue)),
        oldValue_(convertChangeValue(change.oldValue).value_or(defaultValue)) {}

  ChangeKind kind() const noexcept { return kind_; }
  const std::optional<std::vector<std::size_t>>& indexes() const noexcept { return indexes_; }
  bool isPrior() const noexcept { return isPrior_; }
  const Value& newValue() const noexcept { return newValue_; }
  const Value& oldValue() const noexcept { return oldValue_; }

  friend bool operator==(const KeyChange& a, const KeyChange& b)
    requires std::equality_comparable<Value>
  {
    return a.kind_ == b.kind_ && a.indexes_ == b.indexes_ && a.isPrior_ == b.isPrior_ && a.newValue_ == b.newValue_ &&
           a.oldValue_ == b.oldValue_;
  }

 private:
  static std::optional<Value> convertChangeValue(const std::optional<Object>& object) {
    if (!object) return std::nullopt;
    return fromPropertyListObject<Value>(*object);
  }

  ChangeKind kind_;
  std::optional<std::vector<std::size_t>> indexes_;
  bool isPrior_;
  Value newValue_;
  Value oldValue_;
};

/// An observer object. Releasing the last reference ends the observation.
class DefaultsObservation {
 public:
  virtual ~DefaultsObservation() = default;
  /// Ends the observation; later calls do nothing.
  virtual void invalidate() = 0;
  /// Ties the observation to the owner's lifetime (moving any earlier tie); returns the observation.
  virtual std::shared_ptr<DefaultsObservation> bindLifetime(AssociationHost& owner) = 0;
  /// Removes the tie without ending the observation.
  virtual void unbindLifetime() = 0;
};

namespace detail {

/// The lifetime tie that both observer kinds share.
class LifetimeBinding {
 public:
  void bind(const std::shared_ptr<DefaultsObservation>& observation, AssociationHost& owner);
  void unbind();

 private:
  std::mutex mutex_;
  std::unique_ptr<LifetimeAssociation> lifetimeAssociation_;
};

/// Whether the calling thread is inside a quiet update.
bool isUpdatingWithoutNotifying();

/// What both observer kinds share: registration as a key observer, and the lifetime tie.
template <typename Derived>
class KeyObservationBase : public DefaultsObservation,
                           public platform::KeyValueObserver,
                           public std::enable_shared_from_this<Derived> {
 public:
  using Callback = std::function<void(const BaseChange&)>;

  std::shared_ptr<DefaultsObservation> bindLifetime(AssociationHost& owner) override {
    std::shared_ptr<DefaultsObservation> self = this->shared_from_this();
    lifetime_.bind(self, owner);
    return self;
  }
  void unbindLifetime() override { lifetime_.unbind(); }

 private:
  LifetimeBinding lifetime_;
};

}  // namespace detail

/// Observes one key of one suite.
class UserDefaultsKeyObservation final : public detail::KeyObservationBase<UserDefaultsKeyObservation> {
 public:
  UserDefaultsKeyObservation(const Suite& object, std::string key, Callback callback);
  ~UserDefaultsKeyObservation() override;

  /// Registers with the suite, if it still exists; with `initial` the callback runs once before this returns.
  void start(const ObservationOptions& options);
  void invalidate() override;

  void observeValue(std::string_view keyPath, platform::UserDefaults* object, const platform::KeyValueChange* change,
                    const void* context) override;

 private:
  std::mutex mutex_;
  std::weak_ptr<platform::UserDefaults> object_;  // cleared by invalidate
  std::string key_;
  Callback callback_;
};

/// Observes several keys, possibly of several suites, with one handler.
class CompositeUserDefaultsKeyObservation final
    : public detail::KeyObservationBase<CompositeUserDefaultsKeyObservation> {
 public:
  struct SuiteKeyPair {
    std::weak_ptr<platform::UserDefaults> suite;
    std::string key;
  };
  CompositeUserDefaultsKeyObservation(std::vector<SuiteKeyPair> observables, Callback callback);
  ~CompositeUserDefaultsKeyObservation() override;

  void start(const ObservationOptions& options);
  void invalidate() override;

  void observeValue(std::string_view keyPath, platform::UserDefaults* object, const platform::KeyValueChange* change,
                    const void* context) override;

 private:
  std::mutex mutex_;
  std::vector<SuiteKeyPair> observables_;
  Callback callback_;
};

/// Calls the handler with a typed change record for every change of the key.
template <Serializable Value>
std::shared_ptr<DefaultsObservation> observe(const Key<Value>& key, const ObservationOptions& options,
                                             std::type_identity_t<std::function<void(const KeyChange<Value>&)>> handler) {
  auto observation = std::make_shared<UserDefaultsKeyObservation>(
      key.suite(), key.name(), [defaultValue = key.defaultValue(), handler = std::move(handler)](const BaseChange& change) {
        handler(KeyChange<Value>(change, defaultValue));
      });
  observation->start(options);
  return observation;
}

/// Calls the handler (without a record) for every change of any of the keys.
std::shared_ptr<DefaultsObservation> observeKeys(const std::vector<std::reference_wrapper<const AnyKey>>& keys,
                                                 const ObservationOptions& options, std::function<void()> handler);

/// Runs the body with the calling thread's changes hidden from every observer; the previous state comes back
/// afterwards, also when the body throws, so nested quiet updates stay quiet.
void updateWithoutNotifying(const std::function<void()>& body);

}  // namespace Defaults
