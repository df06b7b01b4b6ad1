#pragma once
// Handing outcomes to the caller's response queue.

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/concurrency/Executor.hpp"

namespace TimeSeries {

/// Runs `completion(outcome)` later on the queue.
template <typename Outcome>
void deliver(platform::Executor& queue, std::function<void(Outcome)> completion, Outcome outcome) {
  queue.async(
      [completion = std::move(completion), outcome = std::move(outcome)]() mutable { completion(std::move(outcome)); });
}

/// A failure found before anything was sent.
inline TimeSeriesError unsent(std::exception_ptr cause) {
  return TimeSeriesError::error(415, std::nullopt, std::nullopt, std::move(cause));
}

inline void requireQueue(const std::shared_ptr<platform::Executor>& queue) {
  if (!queue) throw std::invalid_argument("A response queue is required.");
}

}  // namespace TimeSeries
