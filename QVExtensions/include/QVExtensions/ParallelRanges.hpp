#pragma once
// Runs independent work on ranges of a list on a few long-lived threads; small
// lists stay on the caller's. The threads live as long as the process, so what
// they keep per thread (collators, buffers) is made once.

#include <cstddef>
#include <functional>

namespace QVExtensions {

/// Calls `work(begin, end)` on disjoint ranges covering [0, count) and returns when all are done.
/// The first exception a range throws is rethrown here.
void parallelRanges(std::size_t count, const std::function<void(std::size_t, std::size_t)>& work);

}  // namespace QVExtensions
