#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "QVExtensions/ParallelRanges.hpp"

namespace QVExtensions {
namespace {

TEST(ParallelRanges, EveryIndexOnceAndFailuresComeBack) {
  for (std::size_t count : {0u, 1u, 8191u, 8192u, 50000u, 123457u}) {
    std::vector<std::atomic<int>> visits(count);
    parallelRanges(count, [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) visits[i].fetch_add(1);
      // Work started from inside a range runs where it is, without waiting for the pool.
      parallelRanges(20000, [](std::size_t, std::size_t) {});
    });
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(visits[i].load(), 1) << count << " at " << i;
  }
  EXPECT_THROW(parallelRanges(100000,
                              [](std::size_t begin, std::size_t) {
                                if (begin > 0) throw std::runtime_error("range failed");
                              }),
               std::runtime_error);
  // The pool serves the next job after a failure.
  std::atomic<std::size_t> total{0};
  parallelRanges(100000, [&](std::size_t begin, std::size_t end) { total += end - begin; });
  EXPECT_EQ(total.load(), 100000u);
}

}  // namespace
}  // namespace QVExtensions
