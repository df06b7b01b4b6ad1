#pragma once
// Something that runs blocks later, on a thread of its own choosing: a dispatch
// queue or the main queue. Callers hold executors by std::shared_ptr; one that
// lives for the whole process (the main queue) is lent with `unowned`.

#include <functional>
#include <memory>

namespace platform {

class Executor {
 public:
  virtual ~Executor() = default;
  /// Queues the block and returns at once; the block never runs inside this call.
  virtual void async(std::function<void()> block) = 0;
};

/// A shared pointer that does not own `executor`; it must outlive every holder.
inline std::shared_ptr<Executor> unowned(Executor& executor) {
  return std::shared_ptr<Executor>(std::shared_ptr<Executor>(), &executor);
}

}  // namespace platform
