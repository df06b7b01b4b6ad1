#pragma once
// Ties the lifetime of one object (the target) to another (the owner): while
// the owner lives it keeps the target alive; when the owner is destroyed a
// handler runs and the target is released. Owners opt in by deriving from (or
// holding) an AssociationHost, which keeps the associated slots.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Defaults {

/// Keeps values associated with its owner and releases them when it is destroyed.
class AssociationHost {
 public:
  struct Slots {
    std::mutex mutex;
    std::map<const void*, std::any> values;
  };

  AssociationHost() = default;
  AssociationHost(const AssociationHost&) = delete;
  AssociationHost& operator=(const AssociationHost&) = delete;
  /// Releases the slots one by one, outside any lock.
  virtual ~AssociationHost();

  /// A weak reference to this owner's slots, expired once the owner is gone.
  std::weak_ptr<Slots> weakSlots() const { return slots_; }

 private:
  template <typename T>
  friend class ObjectAssociation;
  std::shared_ptr<Slots> slots_ = std::make_shared<Slots>();
};

/// A typed slot on any host; each instance is a slot of its own.
template <typename T>
class ObjectAssociation {
 public:
  std::optional<T> get(const std::shared_ptr<AssociationHost::Slots>& slots) const {
    std::lock_guard lock(slots->mutex);
    auto found = slots->values.find(this);
    if (found == slots->values.end()) return std::nullopt;
    return std::any_cast<T>(found->second);
  }
  std::optional<T> get(const AssociationHost& host) const { return get(host.slots_); }

  /// Stores or (with nothing) clears the slot; the old value is released after the lock.
  void set(const std::shared_ptr<AssociationHost::Slots>& slots, std::optional<T> value) const {
    std::any old;
    {
      std::lock_guard lock(slots->mutex);
      auto found = slots->values.find(this);
      if (found != slots->values.end()) {
        old = std::move(found->second);
        slots->values.erase(found);
      }
      if (value) slots->values.emplace(this, std::move(*value));
    }
  }
  void set(AssociationHost& host, std::optional<T> value) const { set(host.slots_, std::move(value)); }
};

class LifetimeAssociation {
 public:
  /// Holds the target and runs its handler when destroyed: with the owner, or when the tie is cancelled.
  class ObjectLifetimeTracker {
   public:
    ObjectLifetimeTracker(std::shared_ptr<void> object, std::function<void()> deinitHandler)
        : object_(std::move(object)), deinitHandler_(std::move(deinitHandler)) {}
    ~ObjectLifetimeTracker();
    void setDeinitHandler(std::function<void()> handler);

   private:
    std::shared_ptr<void> object_;
    std::mutex mutex_;
    std::function<void()> deinitHandler_;
  };

  /// Ties `target` to `owner`; the owner may carry any number of ties, in the order made.
  LifetimeAssociation(std::shared_ptr<void> target, AssociationHost& owner, std::function<void()> deinitHandler);
  /// Unties as `cancel` does.
  ~LifetimeAssociation();
  LifetimeAssociation(const LifetimeAssociation&) = delete;
  LifetimeAssociation& operator=(const LifetimeAssociation&) = delete;

  /// Removes the tracker from the owner, which releases it (running its handler unless replaced).
  void cancel();
  /// The tracker, while it exists.
  std::shared_ptr<ObjectLifetimeTracker> tracker() const { return wrappedObject_.lock(); }

 private:
  std::weak_ptr<ObjectLifetimeTracker> wrappedObject_;
  std::weak_ptr<AssociationHost::Slots> owner_;
};

}  // namespace Defaults
