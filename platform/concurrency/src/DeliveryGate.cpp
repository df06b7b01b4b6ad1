#include "platform/concurrency/DeliveryGate.hpp"

#include <algorithm>

namespace platform {

bool DeliveryGate::enter() {
  std::lock_guard lock(mutex_);
  if (!open_) return false;
  inside_.push_back(std::this_thread::get_id());
  return true;
}

void DeliveryGate::leave() {
  {
    std::lock_guard lock(mutex_);
    inside_.erase(std::find(inside_.begin(), inside_.end(), std::this_thread::get_id()));
  }
  left_.notify_all();
}

void DeliveryGate::close() {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock lock(mutex_);
  open_ = false;
  left_.wait(lock, [&] { return std::all_of(inside_.begin(), inside_.end(), [&](auto id) { return id == self; }); });
}

}  // namespace platform
