#include "Defaults/LifetimeAssociation.hpp"

#include <algorithm>
#include <utility>

namespace Defaults {
namespace {

using Trackers = std::vector<std::shared_ptr<LifetimeAssociation::ObjectLifetimeTracker>>;

const ObjectAssociation<Trackers>& lifetimeTrackers() {
  static const ObjectAssociation<Trackers> association;
  return association;
}

}  // namespace

AssociationHost::~AssociationHost() {
  std::map<const void*, std::any> values;
  {
    std::lock_guard lock(slots_->mutex);
    values.swap(slots_->values);
  }
  slots_.reset();  // weak references to this owner expire before any handler runs
  while (!values.empty()) values.erase(values.begin());
}

LifetimeAssociation::ObjectLifetimeTracker::~ObjectLifetimeTracker() {
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = std::move(deinitHandler_);
  }
  if (handler) handler();
}

void LifetimeAssociation::ObjectLifetimeTracker::setDeinitHandler(std::function<void()> handler) {
  std::function<void()> old;
  std::lock_guard lock(mutex_);
  old = std::exchange(deinitHandler_, std::move(handler));
}

LifetimeAssociation::LifetimeAssociation(std::shared_ptr<void> target, AssociationHost& owner,
                                         std::function<void()> deinitHandler) {
  auto tracker = std::make_shared<ObjectLifetimeTracker>(std::move(target), std::move(deinitHandler));
  std::shared_ptr<AssociationHost::Slots> slots = owner.weakSlots().lock();
  Trackers trackers = lifetimeTrackers().get(slots).value_or(Trackers{});
  trackers.push_back(tracker);
  lifetimeTrackers().set(slots, std::move(trackers));
  wrappedObject_ = tracker;
  owner_ = slots;
}

LifetimeAssociation::~LifetimeAssociation() { cancel(); }

void LifetimeAssociation::cancel() {
  std::shared_ptr<AssociationHost::Slots> owner = owner_.lock();
  if (!owner) return;
  std::shared_ptr<ObjectLifetimeTracker> tracker = wrappedObject_.lock();
  if (!tracker) return;
  std::optional<Trackers> trackers = lifetimeTrackers().get(owner);
  if (!trackers) return;
  auto found = std::find(trackers->begin(), trackers->end(), tracker);
  if (found == trackers->end()) return;
  trackers->erase(found);
  lifetimeTrackers().set(owner, std::move(trackers));
  owner_.reset();
  tracker.reset();  // the last reference: the handler runs now, before cancel returns
}

}  // namespace Defaults
