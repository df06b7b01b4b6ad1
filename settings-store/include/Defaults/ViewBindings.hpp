#pragma once
// What views bind settings keys with, without a view toolkit: an observable
// object per key that announces coming changes on the main thread, the view
// property a view declares for a key, a switch bound to a Boolean key, and a
// reference box that keeps a value across renders. A view re-renders after
// `objectWillChange` fires; tests count those announcements.

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "Defaults/ChangePublisher.hpp"
#include "Defaults/Key.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/Signal.hpp"

namespace Defaults {

/// A two-way binding: reading reads the source, writing writes it.
template <typename Value>
struct Binding {
  std::function<Value()> get;
  std::function<void(const Value&)> set;
};

/// One key as an observable object; announces each coming change on the main thread.
template <Serializable Value>
class Observable : public std::enable_shared_from_this<Observable<Value>> {
 public:
  static std::shared_ptr<Observable> make(const Key<Value>& key) {
    std::shared_ptr<Observable> observable(new Observable(key));
    std::weak_ptr<Observable> weak = observable;
    observable->cancellable_ = publisher(key, {ObservationOption::prior}).sink([weak](const KeyChange<Value>& change) {
      notifyOnMain(weak, change);
    });
    return observable;
  }

  /// Fires before the value changes.
  platform::Subject<>& objectWillChange() const { return objectWillChange_; }

  Value value() const { return get(key_); }
  /// Announces on the calling thread, then writes.
  void setValue(const Value& value) {
    objectWillChange_.send();
    set(key_, value);
  }

 private:
  explicit Observable(const Key<Value>& key) : key_(key) {}

  // Only the notice before a change is used, so views hear of it before the value changes.
  static void notifyOnMain(const std::weak_ptr<Observable>& weak, const KeyChange<Value>& change) {
    if (!change.isPrior()) return;
    if (platform::MainQueue::isMainThread()) {
      if (auto strong = weak.lock()) strong->objectWillChange_.send();
      return;
    }
    platform::MainQueue::shared().async([weak] {
      if (auto strong = weak.lock()) strong->objectWillChange_.send();
    });
  }

  platform::AnyCancellable cancellable_;
  Key<Value> key_;
  mutable platform::Subject<> objectWillChange_;
};

/// The view property a view declares for a key.
template <Serializable Value>
class Default {
 public:
  explicit Default(const Key<Value>& key) : key_(key), observable_(Observable<Value>::make(key)) {}

  Value wrappedValue() const { return get(key_); }
  void setWrappedValue(const Value& value) const { observable_->setValue(value); }
  Binding<Value> projectedValue() const {
    return {[observable = observable_] { return observable->value(); },
            [observable = observable_](const Value& value) { observable->setValue(value); }};
  }
  /// The key's changes, starting with its current value at once.
  AnyPublisher<KeyChange<Value>> publisher() const { return Defaults::publisher(key_, {ObservationOption::initial}); }
  const Value& defaultValue() const { return key_.defaultValue(); }
  bool isDefaultValue() const
    requires std::equality_comparable<Value>
  {
    return get(key_) == key_.defaultValue();
  }
  void reset() const { key_.reset(); }
  /// The per-render hook; the observable needs no refresh.
  void update() {}

  /// The observed object whose announcements re-render the view.
  Observable<Value>& observable() const { return *observable_; }

 private:
  Key<Value> key_;
  std::shared_ptr<Observable<Value>> observable_;
};

/// A value kept in view state behind a shared box; copies share it, and writing it re-renders nothing.
template <typename Value>
class ViewStorage {
 public:
  struct ValueBox {
    Value value;
  };

  explicit ViewStorage(Value value) : valueBox_(std::make_shared<ValueBox>(ValueBox{std::move(value)})) {}
  const Value& wrappedValue() const { return valueBox_->value; }
  void setWrappedValue(Value value) const { valueBox_->value = std::move(value); }
  void update() {}

 private:
  std::shared_ptr<ValueBox> valueBox_;
};

/// A switch bound to a Boolean key, with an optional action on each change of the stored value.
template <typename Label = std::string>
class Toggle {
 public:
  Toggle(const Key<bool>& key, const std::function<Label()>& label)
      : key_(key), label_(label()), observable_(Observable<bool>::make(key)) {}
  Toggle(std::string title, const Key<bool>& key)
    requires std::same_as<Label, std::string>
      : key_(key), label_(std::move(title)), observable_(Observable<bool>::make(key)) {}

  /// The toggle with its action replaced; the action box is shared with the toggle it came from.
  Toggle onChange(std::function<void(bool)> action) const {
    Toggle copy = *this;
    copy.onChange_.setWrappedValue(std::move(action));
    return copy;
  }

  const Label& label() const { return label_; }
  /// The switch's on-state.
  Binding<bool> isOn() const {
    return {[observable = observable_] { return observable->value(); },
            [observable = observable_](const bool& value) { observable->setValue(value); }};
  }
  Observable<bool>& observable() const { return *observable_; }

  /// One render: when the stored value differs from the last render's, the action gets the new value.
  void render() const {
    bool watched = false;
    if (auto object = key_.suite()->objectForKey(key_.name()))
      watched = fromPropertyListObject<bool>(*object).value_or(key_.defaultValue());
    else
      watched = key_.defaultValue();
    std::optional<bool> previous = lastRendered_.wrappedValue();
    lastRendered_.setWrappedValue(watched);
    if (previous && *previous != watched)
      if (const auto& action = onChange_.wrappedValue()) action(watched);
  }

 private:
  Key<bool> key_;
  Label label_;
  std::shared_ptr<Observable<bool>> observable_;
  ViewStorage<std::function<void(bool)>> onChange_{nullptr};
  ViewStorage<std::optional<bool>> lastRendered_{std::nullopt};
};

}  // namespace Defaults
