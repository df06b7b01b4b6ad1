#pragma once
// A property that announces its changes: every write first sends the owner's
// "will change" signal, then stores the value, then sends it on the property's own
// publisher, even when it equals the old one. Not locked: only the owner's thread
// (the main thread, for the importers) reads and writes it.

#include <utility>

#include "platform/concurrency/Signal.hpp"

namespace platform {

template <typename T>
class Published {
 public:
  explicit Published(Subject<>& objectWillChange, T value = T())
      : objectWillChange_(objectWillChange), value_(std::move(value)) {}
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

  const T& get() const noexcept { return value_; }
  void set(T value) {
    objectWillChange_.send();
    value_ = std::move(value);
    publisher_.send(value_);
  }
  /// Changes a copy and writes it once, so that subscribers hear of the change once.
  template <typename Change>
  void update(Change&& change) {
    T copy = value_;
    std::forward<Change>(change)(copy);
    set(std::move(copy));
  }

  /// Sends each value written from now on, once it is stored.
  Subject<T>& publisher() const noexcept { return publisher_; }

 private:
  Subject<>& objectWillChange_;
  T value_;
  mutable Subject<T> publisher_;
};

}  // namespace platform
