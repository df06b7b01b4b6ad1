#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/concurrency/MainQueue.hpp"

namespace platform {
namespace {

// Four threads queue numbered blocks at once: each thread's blocks run in its order,
// never two at a time, all on the queue's worker.
TEST(DispatchQueue, RunsBlocksSeriallyInQueueOrderOnItsWorker) {
  DispatchQueue queue("test.serial");
  EXPECT_EQ(queue.label(), "test.serial");
  EXPECT_FALSE(queue.isCurrent());
  constexpr int threads = 4, perThread = 500;
  std::vector<std::vector<int>> seen(threads);
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false}, elsewhere{false};
  std::vector<std::thread> producers;
  for (int t = 0; t < threads; ++t)
    producers.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i)
        queue.async([&, t, i] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          if (!queue.isCurrent()) elsewhere = true;
          seen[t].push_back(i);
          inside.fetch_sub(1);
        });
    });
  for (auto& producer : producers) producer.join();
  queue.waitUntilIdle();
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(elsewhere);
  for (const auto& numbers : seen) {
    ASSERT_EQ(numbers.size(), std::size_t(perThread));
    for (int i = 0; i < perThread; ++i) EXPECT_EQ(numbers[i], i);
  }
}

TEST(DispatchQueue, WaitUntilIdleCoversBlocksQueuedByBlocks) {
  DispatchQueue queue("test.idle");
  int depth = 0;
  std::function<void()> step = [&] {
    if (++depth < 100) queue.async(step);
  };
  queue.async(step);
  queue.waitUntilIdle();
  EXPECT_EQ(depth, 100);

  std::promise<bool> refused;
  queue.async([&] {
    try {
      queue.waitUntilIdle();
      refused.set_value(false);
    } catch (const std::logic_error&) {
      refused.set_value(true);
    }
  });
  EXPECT_TRUE(refused.get_future().get());
}

TEST(DispatchQueue, DestructionRunsWhatIsQueuedThenJoins) {
  std::vector<int> ran;
  std::promise<void> release;
  {
    DispatchQueue queue("test.drain");
    queue.async([&] { release.get_future().wait(); });
    for (int i = 0; i < 1000; ++i) queue.async([&, i] { ran.push_back(i); });
    release.set_value();
  }
  ASSERT_EQ(ran.size(), 1000u);
  EXPECT_EQ(ran.back(), 999);
}

// The last owner lets go inside a block: the worker must not join itself, and the
// blocks behind it still run.
TEST(DispatchQueue, LastOwnerReleasedOnItsOwnWorker) {
  auto queue = std::make_shared<DispatchQueue>("test.self");
  std::weak_ptr<DispatchQueue> weak = queue;
  std::promise<void> gate, lastRan;
  auto owner = queue;
  queue->async([&gate] { gate.get_future().wait(); });
  queue->async([owner = std::move(owner)]() mutable { owner.reset(); });
  queue->async([&lastRan] { lastRan.set_value(); });
  queue.reset();
  gate.set_value();
  lastRan.get_future().wait();
  EXPECT_TRUE(weak.expired());
}

TEST(DispatchQueue, QueuesAreExecutors) {
  std::vector<std::shared_ptr<Executor>> executors{std::make_shared<DispatchQueue>("test.executor"),
                                                   unowned(MainQueue::shared())};
  std::promise<std::thread::id> ranOn;
  executors[0]->async([&] { ranOn.set_value(std::this_thread::get_id()); });
  EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());

  bool ranOnMain = false;
  executors[1]->async([&] { ranOnMain = MainQueue::isMainThread(); });
  EXPECT_FALSE(ranOnMain);  // not inside the call
  MainQueue::shared().drain();
  EXPECT_TRUE(ranOnMain);
  executors.clear();  // the main queue is only lent
  MainQueue::shared().async([] {});
  EXPECT_EQ(MainQueue::shared().drain(), 1u);
}

}  // namespace
}  // namespace platform
