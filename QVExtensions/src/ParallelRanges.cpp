#include "QVExtensions/ParallelRanges.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace QVExtensions {
namespace {

constexpr std::size_t kMinimumPerRange = 4096;

thread_local bool insideWorker = false;

class WorkerPool {
 public:
  WorkerPool() {
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    for (std::size_t i = 1; i < threads; ++i) workers_.emplace_back([this] { serve(); });
  }

  ~WorkerPool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  std::size_t threads() const { return workers_.size() + 1; }

  // One job at a time; ranges are taken by whoever is free, the caller included. The job
  // ends once every range is done and every worker that joined it has left it.
  void run(std::size_t ranges, const std::function<void(std::size_t)>& range) {
    std::lock_guard job(jobMutex_);
    std::vector<std::exception_ptr> errors(ranges);
    {
      std::lock_guard lock(mutex_);
      range_ = &range;
      errors_ = &errors;
      ranges_ = ranges;
      next_.store(0);
      unfinished_ = ranges;
      ++generation_;
    }
    wake_.notify_all();
    takeRanges(range, errors, ranges, false);
    {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return unfinished_ == 0 && participants_ == 0; });
      range_ = nullptr;
    }
    for (const std::exception_ptr& error : errors)
      if (error) std::rethrow_exception(error);
  }

 private:
  void serve() {
    std::uint64_t seen = 0;
    for (;;) {
      const std::function<void(std::size_t)>* range = nullptr;
      std::vector<std::exception_ptr>* errors = nullptr;
      std::size_t ranges = 0;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        if (!range_) continue;
        range = range_;
        errors = errors_;
        ranges = ranges_;
        ++participants_;
      }
      takeRanges(*range, *errors, ranges, true);
    }
  }

  void takeRanges(const std::function<void(std::size_t)>& range, std::vector<std::exception_ptr>& errors,
                  std::size_t ranges, bool participant) {
    // Work started from inside a range (on a worker or on the caller) runs in place.
    const bool wasInside = std::exchange(insideWorker, true);
    std::size_t finished = 0;
    for (std::size_t r = next_.fetch_add(1); r < ranges; r = next_.fetch_add(1)) {
      try {
        range(r);
      } catch (...) {
        errors[r] = std::current_exception();
      }
      ++finished;
    }
    insideWorker = wasInside;
    std::lock_guard lock(mutex_);
    unfinished_ -= finished;
    if (participant) --participants_;
    if (unfinished_ == 0 && participants_ == 0) done_.notify_all();
  }

  std::mutex jobMutex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<std::thread> workers_;
  bool stopping_ = false;
  std::uint64_t generation_ = 0;
  const std::function<void(std::size_t)>* range_ = nullptr;
  std::vector<std::exception_ptr>* errors_ = nullptr;
  std::size_t ranges_ = 0;
  std::atomic<std::size_t> next_{0};
  std::size_t unfinished_ = 0;
  std::size_t participants_ = 0;  // workers inside the current job
};

WorkerPool& pool() {
  static WorkerPool instance;
  return instance;
}

}  // namespace

void parallelRanges(std::size_t count, const std::function<void(std::size_t, std::size_t)>& work) {
  if (count < 2 * kMinimumPerRange || insideWorker) {
    work(0, count);
    return;
  }
  WorkerPool& workers = pool();
  const std::size_t ranges = std::min(workers.threads() * 4, count / kMinimumPerRange);
  const std::size_t step = (count + ranges - 1) / ranges;
  workers.run(ranges, [&](std::size_t r) { work(r * step, std::min(count, (r + 1) * step)); });
}

}  // namespace QVExtensions
