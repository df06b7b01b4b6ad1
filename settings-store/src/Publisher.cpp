#include "Defaults/Publisher.hpp"

namespace Defaults::detail {

void CompositeSubscription::add(std::shared_ptr<Subscription> subscription) {
  {
    std::lock_guard lock(mutex_);
    if (!cancelled_) {
      parts_.push_back(std::move(subscription));
      return;
    }
  }
  subscription->cancel();
}

void CompositeSubscription::cancel() {
  std::vector<std::shared_ptr<Subscription>> parts;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    parts.swap(parts_);
  }
  for (const auto& part : parts) part->cancel();
}

}  // namespace Defaults::detail
