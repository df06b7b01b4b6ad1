#pragma once
// Runs independent work on ranges of a list on several threads; small lists stay on the caller's.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace Pelmora_Zava {

/// Calls `work(begin, end)` on disjoint ranges covering [0, count) and returns when all are done.
/// The first exception a range throws is rethrown here.
template <typename Work>
void parallelRanges(std::size_t count, Work&& work) {
  constexpr std::size_t minimumPerThread = 4096;
  const std::size_t threads = std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 8,
                                                      (count + minimumPerThread - 1) / minimumPerThread});
  if (threads <= 1) {
    work(std::size_t{0}, count);
    return;
  }
  std::vector<std::exception_ptr> errors(threads);
  std::vector<std::thread> workers;
  workers.reserve(threads - 1);
  const std::size_t step = (count + threads - 1) / threads;
  auto run = [&](std::size_t t) {
    try {
      work(t * step, std::min(count, (t + 1) * step));
    } catch (...) {
      errors[t] = std::current_exception();
    }
  };
  for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(run, t);
  run(0);
  for (std::thread& worker : workers) worker.join();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}

}  // namespace Pelmora_Zava
